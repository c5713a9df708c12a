// gtest's main for windows_tests, plus helper roles that tests start as child processes:
//   --hold-mutex NAME EVENT   create the named mutex, signal EVENT (when not empty), then
//                             wait to be killed
//   --log-line TEXT           write TEXT through the log writer, then exit 0
//   --name-threads            run a worker named "UnInstaller", then one without a name
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "utils/Log.h"
#include "utils/Thread.h"

namespace {

int HoldMutex(const wchar_t* mutexName, const wchar_t* eventName) {
    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, mutexName);
    if (!mutex)
        return 2;
    if (*eventName) {
        HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName);
        if (!ready)
            return 2;
        ::SetEvent(ready);
    }
    ::Sleep(INFINITE);
    return 0;
}

int LogLine(const wchar_t* text) {
    UTILS_LOG_LINE(L"%s", text);
    return 0;
}

int NameThreads() {
    for (const wchar_t* name : {L"UnInstaller", L""}) {
        std::unique_ptr<Utils::Thread> worker;
        Utils::StartThread(worker, nullptr, name, [](void*) { return 0u; });
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[1]) == L"--hold-mutex")
        return HoldMutex(argv[2], argv[3]);
    if (argc == 2 && std::wstring(argv[1]) == L"--name-threads") return NameThreads();
    if (argc == 3 && std::wstring(argv[1]) == L"--log-line")
        return LogLine(argv[2]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
