#include "utils/AnonymousPipe.h"

#include "utils/Exception.h"

namespace Utils {

AnonymousPipe::~AnonymousPipe() {
    CloseWrite();
    CloseRead();
}

void AnonymousPipe::Create() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!::CreatePipe(&read, &write, &inheritable, 0)) {
        CloseWrite();
        CloseRead();
        throw Exception();
    }
}

void AnonymousPipe::CloseWrite() {
    if (write)
        ::CloseHandle(write);
    write = nullptr;
}

void AnonymousPipe::CloseRead() {
    if (read)
        ::CloseHandle(read);
    read = nullptr;
}

}  // namespace Utils
