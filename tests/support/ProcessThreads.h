#pragma once
// How many threads this process has, to prove that a torn-down object left none behind.

#include <windows.h>
#include <tlhelp32.h>

#include "utils/UniqueHandle.h"

// -1 when the system's thread list cannot be read.
inline int ThreadsOfThisProcess() {
    Utils::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry))
        count += entry.th32OwnerProcessID == self ? 1 : 0;
    return count;
}
