// A DLL that must never be loaded: tests copy it beside the installer under the names of
// system DLLs. When it is loaded anyway it leaves "<its own path>.loaded" behind.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 8] = {};
        const DWORD length = ::GetModuleFileNameW(instance, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(path, L".loaded");
            HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (marker != INVALID_HANDLE_VALUE)
                ::CloseHandle(marker);
        }
    }
    return TRUE;
}

// Lets a program that imports winhttp.dll at load time start with this DLL in its place,
// instead of stopping at a missing import.
extern "C" __declspec(dllexport) BOOL WINAPI WinHttpCheckPlatform() {
    return FALSE;
}
