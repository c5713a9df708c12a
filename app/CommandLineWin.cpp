#include <windows.h>
#include <shellapi.h>

#include "app/CommandLine.h"
#include "utils/UniqueHandle.h"

void ParseCommandLine() {
    int count = 0;
    Utils::UniqueLocal<LPWSTR> argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!argv) {
        return;
    }
    std::vector<std::wstring> arguments(argv.get(), argv.get() + count);
    argv.reset();
    ApplyCommandLine(BuildCommandLineArgs(arguments), g_installerSettings, ResolveRoute);
}
