// Applies the installer's DLL search policy, then calls into every delay-loaded system DLL
// the installer uses. Exit code 0 when each call worked and each DLL came from the system
// folder; otherwise the number of DLLs that did not.
#include <windows.h>
#include <bcrypt.h>
#include <lm.h>
#include <winhttp.h>
#include <wtsapi32.h>
#define SECURITY_WIN32
#include <security.h>
#include <wincrypt.h>

#include <cwchar>
#include <initializer_list>

#include "app/DllSearchPolicy.h"

namespace {

bool FromSystemFolder(const wchar_t* dll) {
    HMODULE module = ::GetModuleHandleW(dll);
    wchar_t path[MAX_PATH] = {}, system[MAX_PATH] = {};
    if (!module || !::GetModuleFileNameW(module, path, MAX_PATH) ||
        !::GetSystemDirectoryW(system, MAX_PATH)) {
        std::fwprintf(stderr, L"%ls: not loaded\n", dll);
        return false;
    }
    const bool ok = _wcsnicmp(path, system, wcslen(system)) == 0;
    if (!ok)
        std::fwprintf(stderr, L"%ls: loaded from %ls\n", dll, path);
    return ok;
}

}  // namespace

int wmain() {
    RestrictDllSearchToSystem32();
    int failures = 0;

    // Any answer of these proves the call reached the DLL.
    ::WinHttpCheckPlatform();
    UCHAR random[8];
    failures +=
        BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))
            ? 0
            : 1;
    ::NetApiBufferFree(nullptr);
    ::WTSFreeMemory(nullptr);
    ULONG size = 0;
    ::GetUserNameExW(NameSamCompatible, nullptr, &size);
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    failures += store ? 0 : 1;
    if (store)
        ::CertCloseStore(store, 0);

    for (const wchar_t* dll :
         {L"winhttp.dll", L"bcrypt.dll", L"netapi32.dll", L"wtsapi32.dll", L"secur32.dll", L"crypt32.dll"}) {
        failures += FromSystemFolder(dll) ? 0 : 1;
    }
    return failures;
}
