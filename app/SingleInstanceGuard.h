#pragma once
// Keeps a second installer from running: the first process to create the named mutex
// owns it for its whole run.

#include <string>

#include "utils/UniqueHandle.h"

class SingleInstanceGuard {
public:
    explicit SingleInstanceGuard(std::wstring instanceName) : name(std::move(instanceName)) {}
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // Afterwards handle is set exactly when this process created the mutex.
    void Acquire();

    // The kernel object name: a fixed prefix and the instance name, no namespace.
    std::wstring MutexName() const { return L"D1A547DB89C0BC61_" + name; }

    std::wstring name;
    Utils::UniqueHandle handle;
};
