#include "app/DllSearchPolicy.h"

#include <windows.h>

bool RestrictDllSearchToSystem32() {
    // Looked up at run time: a static import would keep the installer from starting on
    // systems that lack the function.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel32 ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                     ::GetProcAddress(kernel32, "SetDefaultDllDirectories")))
                               : nullptr;
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return true;
    }
    ::SetDllDirectoryW(L"");
    return false;
}

namespace {

// Static initialisation reads the settings file and may ask the system for its version
// before the entry point runs: the policy must already hold then, so it is set up ahead
// of every other initialiser.
struct EarlyDllSearchPolicy {
    EarlyDllSearchPolicy() { RestrictDllSearchToSystem32(); }
};
EarlyDllSearchPolicy earlyDllSearchPolicy __attribute__((init_priority(101)));

}  // namespace
