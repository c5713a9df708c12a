// Process entry: restrict DLL loading, take the single-instance guard, apply the command
// line over the settings loaded during static initialisation, run the window.
#include <windows.h>

#include "app/CommandLine.h"
#include "app/DllSearchPolicy.h"
#include "app/InstallerSettings.h"
#include "app/InstallerWindow.h"
#include "app/SingleInstanceGuard.h"
#include "utils/Log.h"

namespace {

// Lets a crash reach the system's own error reporting.
LONG WINAPI ContinueSearch(EXCEPTION_POINTERS* /*exception*/) {
    return EXCEPTION_CONTINUE_SEARCH;
}

// One line with the effective settings, so that a distributor can check what a settings
// file and a command line add up to (any debug-output viewer shows it).
void LogSettings(const InstallerSettings& s) {
    UTILS_LOG_LINE(
        L"settings DownloadUrl=[%s] DownloadType=[%d] DownloadScale=[%f] IsCheckNet=[%d] "
        L"IsEnableAppSensors=[%d] InstCmd=[%s] DlAppNameSuffix=[%s] m_DlAppVersion=[%s] "
        L"languageIndex=[%d] installNew=[%d]",
        s.DownloadUrl.c_str(), s.DownloadType, s.DownloadScale, s.IsCheckNet ? 1 : 0,
        s.IsEnableAppSensors ? 1 : 0, s.InstCmd.c_str(), s.DlAppNameSuffix.c_str(), s.m_DlAppVersion.c_str(),
        s.languageIndex, s.installNew ? 1 : 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem32();
    ::SetUnhandledExceptionFilter(ContinueSearch);

    SingleInstanceGuard guard(L"Installer_Lumivane");
    guard.Acquire();
    if (!guard.handle) {
        return -1;  // another installer runs: nothing is shown, nothing is parsed
    }

    ParseCommandLine();
    LogSettings(g_installerSettings);

    RunInstallerWindow(instance);
    return 0;
}
