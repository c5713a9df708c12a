#pragma once
// The command lines of the package and of an old uninstaller. Platform-neutral.

#include <string>

struct InstallerCommand {
    std::wstring packageCommand;  // the package path, already in double quotes
    bool userIsAdmin = false;
    bool processIsAdmin = true;
    bool desktopShortcut = false;
    bool quickLaunchShortcut = false;
    std::wstring installLanguage;  // such as "zh-CN"; left out when empty
    std::wstring extraArguments;   // the distributor's InstCmd, verbatim; left out when empty
    std::wstring installDir;       // left out when empty
};

// "<package>" /S -console=show -version=1.0.0 -adminact=.. -authorizationact=.. -dsc=..
// -ssc=.. [-inslang="tag"] [extra] [-instdir="dir" /D=dir]; "/D=" is last and unquoted,
// as the package's installer framework requires.
std::wstring BuildInstallerCommandLine(const InstallerCommand& command);

// <uninstaller> /S -adminact=.. -authorizationact=.. -console=show _?=<old folder>; both
// paths unquoted, the folder last.
std::wstring BuildUninstallerCommandLine(const std::wstring& uninstallerPath, bool userIsAdmin,
                                         bool processIsAdmin, const std::wstring& uninstallDir);
