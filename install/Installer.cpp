#include "install/Installer.h"

#include "install/ChildOutputReader.h"
#include "install/InstallCommandLines.h"
#include "install/ReportProtocol.h"
#include "install/ReportReaderWin.h"
#include "utils/Exception.h"
#include "utils/Log.h"
#include "utils/TextConversion.h"

CInstaller::CInstaller(EventCallback callback, std::wstring packageCommand, std::wstring installDir)
    : callback(std::move(callback)),
      packageCommand(std::move(packageCommand)),
      installDir(std::move(installDir)) {}

CInstaller::~CInstaller() {
    readerThread.reset();
}

void CInstaller::Start() {
    InstallerCommand command;
    command.packageCommand = packageCommand;
    command.userIsAdmin = userIsAdmin;
    command.processIsAdmin = processIsAdmin;
    command.desktopShortcut = desktopShortcut;
    command.quickLaunchShortcut = quickLaunchShortcut;
    command.installLanguage = installLanguage;
    command.extraArguments = extraArguments;
    command.installDir = installDir;
    commandLine = BuildInstallerCommandLine(command);
    Utils::StartThread(readerThread, this, L"ABDEF", [this](void*) { return Run(); });
}

int32_t CInstaller::Parse(const char* bytes, size_t count) {
    const ParsedReport report = ParseInstallerReport(DecodeReportRead(bytes, count, codePage), codePage);
    for (const ReportLineEvent& event : report.events) {
        if (event.key == L"ExePath=") {
            UTILS_LOG(L"ExePath: %s", event.text.c_str());
        }
        callback(event.code, event.value, event.text.c_str());
    }
    return report.result;
}

uint32_t CInstaller::Run() {
    callback(IST_CODE_START, 0.0, L"");
    callback(IST_CODE_PROGRESS, 0.0, L"");
    child = std::make_unique<Utils::ChildProcess>();
    try {
        child->CreatePipes();
        child->Launch(commandLine);
    } catch (const Utils::Exception& error) {
        UTILS_LOG_LINE(L"cannot start the package (%s, error %ld): %s", Utils::ToWide(error.what()).c_str(),
                       static_cast<long>(::GetLastError()), commandLine.c_str());
        child.reset();
        callback(IST_CODE_FAIL, 2.0, L"");
        return 0;
    }

    // After the final line the child's output is still read, so that it never blocks on
    // a full pipe, but it raises nothing more.
    bool finalLineSeen = false;
    ReadChildOutput(*child, [&](const char* bytes, size_t count) {
        if (!finalLineSeen && Parse(bytes, count) != kReportNoFinalLine) {
            finalLineSeen = true;
        }
    });
    child->WaitForEnd();
    child.reset();
    if (!finalLineSeen) {
        callback(INSTALL_SUCCESS, 1.0, L"");
    }
    return 0;
}
