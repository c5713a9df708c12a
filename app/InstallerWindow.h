#pragma once
// The installer window: created and run modally on the main thread once start-up is
// done. Everything the installer does for the user happens inside this call.

#include <windows.h>

void RunInstallerWindow(HINSTANCE instance);
