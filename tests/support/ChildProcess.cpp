#include "tests/support/ChildProcess.h"

#include "utils/TextConversion.h"
#include "utils/UniqueHandle.h"

namespace {

std::vector<wchar_t> EnvironmentBlock(const std::vector<std::wstring>& extra) {
    std::vector<wchar_t> block;
    wchar_t* current = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = current; entry && *entry; entry += wcslen(entry) + 1) {
        block.insert(block.end(), entry, entry + wcslen(entry) + 1);
    }
    ::FreeEnvironmentStringsW(current);
    for (const std::wstring& entry : extra) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const size_t units = info.nDebugStringLength;
    if (units == 0)
        return {};
    if (info.fUnicode) {
        std::wstring text(units, L'\0');
        SIZE_T read = 0;
        ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), units * sizeof(wchar_t), &read);
        text.resize(read / sizeof(wchar_t));
        return text.substr(0, text.find(L'\0'));
    }
    std::string text(units, '\0');
    SIZE_T read = 0;
    ::ReadProcessMemory(process, info.lpDebugStringData, text.data(), units, &read);
    text.resize(read);
    return Utils::ToWide(text);
}

constexpr DWORD kSetThreadNameException = 0x406D1388;

std::string ReadNarrowString(HANDLE process, ULONG_PTR address) {
    char buffer[256] = {};
    SIZE_T read = 0;
    ::ReadProcessMemory(process, reinterpret_cast<const void*>(address), buffer, sizeof buffer - 1, &read);
    return std::string(buffer, strnlen(buffer, read));
}

// Pumps debug events until the child exits; lines it writes to the debug channel are kept.
void DebugUntilExit(const PROCESS_INFORMATION& process, DWORD timeoutMs, ChildResult& result) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    bool initialBreakpointSeen = false;
    while (true) {
        DEBUG_EVENT event{};
        const ULONGLONG now = ::GetTickCount64();
        if (!result.timedOut && now >= deadline) {
            result.timedOut = true;
            ::TerminateProcess(process.hProcess, 0xDEAD);
        }
        if (!::WaitForDebugEvent(&event, result.timedOut ? 1000 : static_cast<DWORD>(deadline - now))) {
            if (result.timedOut)
                return;
            continue;
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                Utils::HandleCloser{}(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                Utils::HandleCloser{}(event.u.LoadDll.hFile);
                break;
            case OUTPUT_DEBUG_STRING_EVENT:
                result.debugLines.push_back(ReadDebugString(process.hProcess, event.u.DebugString));
                break;
            case EXCEPTION_DEBUG_EVENT:
                // The loader's breakpoint is ours to swallow; every other exception is the
                // child's own business (for example the thread-naming exception).
                if (!initialBreakpointSeen &&
                    event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
                    initialBreakpointSeen = true;
                } else if (event.u.Exception.ExceptionRecord.ExceptionCode == kSetThreadNameException &&
                           event.u.Exception.ExceptionRecord.NumberParameters >= 3) {
                    const ULONG_PTR* info = event.u.Exception.ExceptionRecord.ExceptionInformation;
                    result.threadNames.emplace_back(static_cast<DWORD>(info[2] & 0xFFFFFFFF),
                                                    ReadNarrowString(process.hProcess, info[1]));
                    continueStatus = DBG_EXCEPTION_NOT_HANDLED;
                } else {
                    continueStatus = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            default:
                break;
        }
        const bool exited =
            event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && event.dwProcessId == process.dwProcessId;
        if (exited)
            result.exitCode = event.u.ExitProcess.dwExitCode;
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
        if (exited)
            return;
    }
}

}  // namespace

std::wstring ChildResult::LineWith(const std::wstring& text) const {
    for (const auto& line : debugLines) {
        if (line.find(text) != std::wstring::npos)
            return line;
    }
    return {};
}

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

ChildResult RunChild(const std::wstring& application, const std::wstring& commandLine,
                     const ChildOptions& options) {
    ChildResult result;
    std::vector<wchar_t> environment = EnvironmentBlock(options.extraEnvironment);
    std::vector<wchar_t> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const DWORD flags =
        CREATE_UNICODE_ENVIRONMENT | (options.captureDebugOutput ? DEBUG_ONLY_THIS_PROCESS : 0);
    if (!::CreateProcessW(application.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, flags,
                          environment.data(), nullptr, &startup, &process)) {
        return result;
    }
    result.started = true;
    Utils::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    if (options.captureDebugOutput) {
        DebugUntilExit(process, options.timeoutMs, result);
    } else if (::WaitForSingleObject(process.hProcess, options.timeoutMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        ::TerminateProcess(process.hProcess, 0xDEAD);
        ::WaitForSingleObject(process.hProcess, INFINITE);
    }
    if (!options.captureDebugOutput || result.timedOut) {
        ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    }
    return result;
}
