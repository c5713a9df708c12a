#include "install/InstallCommandLines.h"

namespace {

const wchar_t* BoolText(bool value) {
    return value ? L"true" : L"false";
}

}  // namespace

std::wstring BuildInstallerCommandLine(const InstallerCommand& command) {
    std::wstring line = command.packageCommand;
    line += L" /S -console=show -version=1.0.0";
    line += std::wstring(L" -adminact=") + BoolText(command.userIsAdmin);
    line += std::wstring(L" -authorizationact=") + BoolText(command.processIsAdmin);
    line += std::wstring(L" -dsc=") + BoolText(command.desktopShortcut);
    line += std::wstring(L" -ssc=") + BoolText(command.quickLaunchShortcut);
    if (!command.installLanguage.empty()) {
        line += L" -inslang=\"" + command.installLanguage + L"\"";
    }
    if (!command.extraArguments.empty()) {
        line += L" " + command.extraArguments;
    }
    if (!command.installDir.empty()) {
        line += L" -instdir=\"" + command.installDir + L"\"";
        line += L" /D=" + command.installDir;
    }
    return line;
}

std::wstring BuildUninstallerCommandLine(const std::wstring& uninstallerPath, bool userIsAdmin,
                                         bool processIsAdmin, const std::wstring& uninstallDir) {
    return uninstallerPath + L" /S -adminact=" + BoolText(userIsAdmin) + L" -authorizationact=" +
           BoolText(processIsAdmin) + L" -console=show _?=" + uninstallDir;
}
