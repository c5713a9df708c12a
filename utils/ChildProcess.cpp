#include "utils/ChildProcess.h"

#include "utils/Exception.h"

namespace Utils {

void ChildProcess::CreatePipes() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    errorSink.reset(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                  OPEN_EXISTING, 0, nullptr));
    if (errorSink.get() == INVALID_HANDLE_VALUE) {
        errorSink.release();
        throw Exception(L"cannot open the null device");
    }
    outputPipe.Create();
    inputPipe.Create();
}

void ChildProcess::Launch(const std::wstring& commandLine) {
    if (commandLine.size() >= kCommandLineCapacity) {
        throw Exception(L"command line too long");
    }
    commandLine.copy(commandLineBuffer_, commandLine.size());
    commandLineBuffer_[commandLine.size()] = L'\0';

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    // Our own ends stay with us.
    ::SetHandleInformation(outputPipe.read, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(inputPipe.write, HANDLE_FLAG_INHERIT, 0);
    startup.hStdInput = inputPipe.read;
    startup.hStdOutput = outputPipe.write;
    startup.hStdError = errorSink.get();

    if (!::CreateProcessW(nullptr, commandLineBuffer_, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &processInfo)) {
        processInfo = PROCESS_INFORMATION{};
        throw Exception(L"cannot create the process");
    }
    // Without our copies of the child's ends, reads fail once the child is gone, and a
    // child reading standard input sees its end.
    outputPipe.CloseWrite();
    inputPipe.CloseRead();
    inputPipe.CloseWrite();
    errorSink.reset();
}

size_t ChildProcess::ReadAvailable(char* buffer, size_t capacity, bool& pipeClosed) {
    DWORD available = 0;
    if (!outputPipe.read || !::PeekNamedPipe(outputPipe.read, nullptr, 0, nullptr, &available, nullptr)) {
        pipeClosed = true;
        return 0;
    }
    if (available == 0) {
        return 0;
    }
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(capacity < available ? capacity : available);
    if (!::ReadFile(outputPipe.read, buffer, wanted, &got, nullptr)) {
        pipeClosed = true;
        return 0;
    }
    return got;
}

bool ChildProcess::HasEnded() const {
    return !processInfo.hProcess || ::WaitForSingleObject(processInfo.hProcess, 0) == WAIT_OBJECT_0;
}

void ChildProcess::WaitForEnd() const {
    if (processInfo.hProcess)
        ::WaitForSingleObject(processInfo.hProcess, INFINITE);
}

void ChildProcess::Release() {
    if (processInfo.hThread)
        ::CloseHandle(processInfo.hThread);
    if (processInfo.hProcess)
        ::CloseHandle(processInfo.hProcess);
    processInfo = PROCESS_INFORMATION{};
    inputPipe.CloseWrite();
    inputPipe.CloseRead();
    outputPipe.CloseRead();
    outputPipe.CloseWrite();
    errorSink.reset();
}

}  // namespace Utils
