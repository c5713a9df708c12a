#include <windows.h>

#include "utils/WindowsVersion.h"

namespace Utils {

void GetWindowsVersion(std::wstring& family, std::wstring& label) {
    family = L"Windows";
    label.clear();
    HMODULE ntdll = ::LoadLibraryW(L"ntdll.dll");
    if (!ntdll) {
        label = L"XP-";
        return;
    }
    using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    DWORD major = 0, minor = 0, build = 0;
    if (auto query = reinterpret_cast<RtlGetNtVersionNumbersFn>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetNtVersionNumbers")))) {
        query(&major, &minor, &build);
    }
    ::FreeLibrary(ntdll);
    label = WindowsVersionLabel(major, minor, build & 0xFFFF, ::GetSystemMetrics(SM_SERVERR2) != 0);
}

}  // namespace Utils
