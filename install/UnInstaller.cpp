#include "install/UnInstaller.h"

#include "install/ChildOutputReader.h"
#include "install/InstallCommandLines.h"
#include "install/ReportProtocol.h"
#include "install/ReportReaderWin.h"
#include "utils/Exception.h"
#include "utils/Log.h"
#include "utils/ProcessHelpers.h"
#include "utils/TextConversion.h"

CUnInstaller::CUnInstaller(EventCallback callback, std::wstring uninstallerPath, std::wstring uninstallDir)
    : callback(std::move(callback)),
      uninstallerPath(std::move(uninstallerPath)),
      uninstallDir(std::move(uninstallDir)) {}

CUnInstaller::~CUnInstaller() {
    readerThread.reset();
}

void CUnInstaller::Start() {
    std::wstring consoleUser;
    if (!Utils::GetConsoleUserName(consoleUser)) {
        consoleUser.clear();
    }
    const bool userIsAdmin = !consoleUser.empty() && Utils::IsUserAdmin(consoleUser);
    commandLine =
        BuildUninstallerCommandLine(uninstallerPath, userIsAdmin, Utils::IsProcessAdmin(), uninstallDir);
    Utils::StartThread(readerThread, this, L"UnInstaller", [this](void*) { return Run(); });
}

int32_t CUnInstaller::Parse(const char* bytes, size_t count) {
    const ParsedReport report = ParseUninstallerReport(DecodeReportRead(bytes, count, codePage), codePage);
    for (const ReportLineEvent& event : report.events) {
        callback(event.code, event.value, event.text.c_str());
    }
    return report.result;
}

uint32_t CUnInstaller::Run() {
    if (::GetFileAttributesW(uninstallerPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        callback(UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在");
        return 0;
    }
    callback(UNIST_CODE_PROGRESS, 0.0, L"");
    child = std::make_unique<Utils::ChildProcess>();
    try {
        child->CreatePipes();
        child->Launch(commandLine);
    } catch (const Utils::Exception& error) {
        UTILS_LOG_LINE(L"cannot start the uninstaller (%s, error %ld): %s",
                       Utils::ToWide(error.what()).c_str(), static_cast<long>(::GetLastError()),
                       commandLine.c_str());
        child.reset();
        callback(UNIST_CODE_FAIL, 2.0, L"");
        return 0;
    }

    // Every read is parsed, also after a final line, and so is what the child wrote just
    // before it ended: a last "Error=" line must not turn into a success.
    bool reportSuccess = true;
    ReadChildOutput(*child, [&](const char* bytes, size_t count) {
        if (Parse(bytes, count) != kReportNoFinalLine) {
            reportSuccess = false;
        }
    });
    child->WaitForEnd();
    child.reset();
    if (reportSuccess) {
        callback(UNIST_CODE_SUCCESS, 1.0, L"");
    }
    return 0;
}
