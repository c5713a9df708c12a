#pragma once
// One anonymous pipe with inheritable ends, for a child's standard stream.

#include <windows.h>

namespace Utils {

class AnonymousPipe {
public:
    AnonymousPipe() = default;
    ~AnonymousPipe();
    AnonymousPipe(const AnonymousPipe&) = delete;
    AnonymousPipe& operator=(const AnonymousPipe&) = delete;

    // Throws Utils::Exception when the system cannot make the pipe.
    void Create();
    void CloseWrite();
    void CloseRead();

    HANDLE write = nullptr;
    HANDLE read = nullptr;
};

}  // namespace Utils
