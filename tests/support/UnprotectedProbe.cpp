// A control for the DLL search tests: imports winhttp.dll the ordinary way, at load time,
// without the installer's search policy, so a DLL planted beside it is taken.
#include <windows.h>
#include <winhttp.h>

int wmain() {
    return ::WinHttpCheckPlatform() ? 0 : 0;
}
