#pragma once
// A hidden child process whose standard output comes to us through a pipe.
//
// Only standard output is a pipe we read. Standard error goes to the null device and our
// end of standard input is closed right after the launch, so that a child which writes
// much to standard error, or reads standard input, can never block on us.

#include <windows.h>

#include <cstddef>
#include <string>

#include "utils/AnonymousPipe.h"
#include "utils/UniqueHandle.h"

namespace Utils {

class ChildProcess {
public:
    // The command line must fit the system's writable copy of it, terminator included.
    static constexpr size_t kCommandLineCapacity = 1024;

    ChildProcess() = default;
    ~ChildProcess() { Release(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Makes the pipes; throws Utils::Exception on failure.
    void CreatePipes();

    // Starts the command line hidden, with inherited handles and our environment and
    // folder. Throws Utils::Exception when the command line does not fit or the process
    // cannot be created.
    void Launch(const std::wstring& commandLine);

    // Reads what the child has written so far, up to capacity bytes, without waiting: 0
    // when nothing is there yet. pipeClosed turns true once every writer is gone.
    size_t ReadAvailable(char* buffer, size_t capacity, bool& pipeClosed);

    // True once the process has ended.
    bool HasEnded() const;
    void WaitForEnd() const;

    // Closes the process and thread handles and every pipe end.
    void Release();

    AnonymousPipe outputPipe;
    AnonymousPipe inputPipe;
    UniqueHandle errorSink;  // the null device, as the child's standard error
    PROCESS_INFORMATION processInfo{};

private:
    wchar_t commandLineBuffer_[kCommandLineCapacity] = {};
};

}  // namespace Utils
