#include "app/SingleInstanceGuard.h"

SingleInstanceGuard::~SingleInstanceGuard() {
    if (handle) {
        ::ReleaseMutex(handle.get());
    }
}

void SingleInstanceGuard::Acquire() {
    if (handle) {
        return;
    }
    const std::wstring mutexName = MutexName();
    Utils::UniqueHandle created(::CreateMutexW(nullptr, TRUE, mutexName.c_str()));
    const DWORD error = ::GetLastError();
    if (created && error != ERROR_ALREADY_EXISTS) {
        handle = std::move(created);
    }
}
