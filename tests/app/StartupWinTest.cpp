// The real installer executable, started as a user would start it, under this test as its
// debugger so that its log lines can be read.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "app/InstallerSettings.h"
#include "tests/support/BadSettingsFiles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"
#include "utils/UniqueHandle.h"

namespace {

const wchar_t* const kMutexName = L"D1A547DB89C0BC61_Installer_Lumivane";

std::wstring InstallerPath() {
    return ExecutableFolder() + L"\\LumivaneSetup.exe";
}

// The effective settings the installer logs after start-up: key to value. The line holds
// "Key=[value]" fields; values may be tens of kilobytes long.
std::map<std::wstring, std::wstring> LoggedSettings(const ChildResult& run) {
    std::map<std::wstring, std::wstring> values;
    const std::wstring line = run.LineWith(L"settings DownloadUrl=");
    for (size_t open = line.find(L"=["); open != std::wstring::npos; open = line.find(L"=[", open + 2)) {
        const size_t keyStart = line.rfind(L' ', open) + 1;
        const size_t close = line.find(L"] ", open);
        const size_t end = close == std::wstring::npos ? line.rfind(L']') : close;
        if (end == std::wstring::npos || end < open)
            break;
        values[line.substr(keyStart, open - keyStart)] = line.substr(open + 2, end - open - 2);
        open = end;
    }
    return values;
}

// A copy of the installer in a folder of its own, with an optional settings file.
class InstallerCopy {
public:
    explicit InstallerCopy(const std::string& settingsFile = {}) {
        EXPECT_TRUE(::CopyFileW(InstallerPath().c_str(), Path().c_str(), FALSE));
        if (!settingsFile.empty())
            WriteBytes(folder_.Join(L"QuorvexInstallerConfig.ini"), settingsFile);
    }
    std::wstring Path() const { return folder_.Join(L"LumivaneSetup.exe"); }
    ChildResult Run(const std::wstring& arguments, ChildOptions options = {}) const {
        return RunChild(Path(), Quoted(Path()) + L" " + arguments, options);
    }

private:
    TempFolder folder_;
};

TEST(StartupTest, SecondInstanceExitsWithMinusOneAndParsesNothing) {
    const InstallerCopy installer;
    {
        Utils::UniqueHandle firstInstance(::CreateMutexW(nullptr, TRUE, kMutexName));
        ASSERT_TRUE(firstInstance);
        for (const wchar_t* arguments : {L"", L"-downloadtype=3 -insnew=true"}) {
            const ChildResult second = installer.Run(arguments);
            ASSERT_TRUE(second.started);
            EXPECT_EQ(second.ExitCode(), -1) << arguments;
            EXPECT_TRUE(second.debugLines.empty())
                << "a second instance logged: " << second.debugLines.size();
        }
    }
    const ChildResult afterwards = installer.Run(L"-downloadtype=3");
    EXPECT_EQ(afterwards.ExitCode(), 0);
    EXPECT_EQ(LoggedSettings(afterwards)[L"DownloadType"], L"3");
}

TEST(StartupTest, StartSucceedsAfterTheHolderWasKilled) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const wchar_t* const eventName = L"LumivaneTestHolderReady";
    Utils::UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder{};
    std::wstring commandLine = Quoted(self) + L" --hold-mutex " + kMutexName + L" " + eventName;
    ASSERT_TRUE(::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &holder));
    Utils::UniqueHandle holderProcess(holder.hProcess), holderThread(holder.hThread);
    ASSERT_EQ(::WaitForSingleObject(ready.get(), 30000), WAIT_OBJECT_0);

    const InstallerCopy installer;
    EXPECT_EQ(installer.Run(L"").ExitCode(), -1);
    ::TerminateProcess(holder.hProcess, 1);
    ::WaitForSingleObject(holder.hProcess, INFINITE);
    EXPECT_EQ(installer.Run(L"").ExitCode(), 0);
}

TEST(StartupTest, CommandLineWinsOverTheSettingsFile) {
    const InstallerCopy installer(
        "[Install]\r\nDownloadUrl=http://127.0.0.1:9/file.exe\r\nDownloadType=2\r\nDownloadScale=0.4\r\n"
        "IsCheckNet=true\r\nInstCmd=from-file\r\n");
    const ChildResult run = installer.Run(
        L"-downloadtype=3 -downloadtype=2 -DOWNLOADSCALE=0.9 \"-instcmd=-x -y\" -insnew=true -language=2 "
        L"-ischecknet");
    EXPECT_EQ(run.ExitCode(), 0);
    auto settings = LoggedSettings(run);
    EXPECT_EQ(settings[L"DownloadUrl"], L"http://127.0.0.1:9/file.exe");
    EXPECT_EQ(settings[L"DownloadType"], L"3");
    EXPECT_EQ(settings[L"DownloadScale"], L"0.400000");
    EXPECT_EQ(settings[L"IsCheckNet"], L"0");
    EXPECT_EQ(settings[L"InstCmd"], L"-x -y");
    EXPECT_EQ(settings[L"installNew"], L"1");
    EXPECT_EQ(settings[L"languageIndex"], L"2");
}

TEST(StartupTest, WithoutSettingsFileTheDefaultsHold) {
    const InstallerCopy installer;
    auto settings = LoggedSettings(installer.Run(L""));
    EXPECT_EQ(settings[L"DownloadUrl"], std::wstring(DefaultDownloadAddress()));
    EXPECT_EQ(settings[L"DownloadType"], L"1");
    EXPECT_EQ(settings[L"DownloadScale"], L"0.700000");
    EXPECT_EQ(settings[L"IsCheckNet"], L"0");
    EXPECT_EQ(settings[L"IsEnableAppSensors"], L"1");
    EXPECT_EQ(settings[L"languageIndex"], L"-1");
}

// Wine reports the Windows release configured for a program, so the route can be checked
// for a modern system and an XP-class one.
TEST(StartupTest, RouteFollowsTheWindowsRelease) {
    const InstallerCopy installer("[Install]\r\nDownloadUrl=http://h/${ROUTE}/a/${ROUTE}\r\n");
    const std::wstring key = L"Software\\Wine\\AppDefaults\\LumivaneSetup.exe";
    for (const auto& [version, route] :
         {std::pair{L"win10", L"download_silent"}, std::pair{L"nt40", L"download_silent_xp"}}) {
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version,
                                    static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        const std::wstring expected = std::wstring(L"http://h/") + route + L"/a/" + route;
        EXPECT_EQ(LoggedSettings(installer.Run(L""))[L"DownloadUrl"], expected) << version;
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST(StartupTest, BadInputStartsWithSaneValues) {
    // 32,000 characters with a quote left open.
    std::wstring hugeCommandLine = L"-downloadscale=abc \"-instcmd=";
    hugeCommandLine.append(32000 - hugeCommandLine.size(), L'q');
    hugeCommandLine += L" \"\" \\\"";

    for (const BadSettingsFile& file : BadSettingsFiles()) {
        const InstallerCopy installer(file.bytes);
        for (const std::wstring& arguments : {std::wstring(), hugeCommandLine}) {
            const ChildResult run = installer.Run(arguments);
            EXPECT_EQ(run.ExitCode(), 0) << file.name;
            auto settings = LoggedSettings(run);
            ASSERT_FALSE(settings.empty()) << file.name;
            EXPECT_TRUE(std::isfinite(std::stod(settings[L"DownloadScale"]))) << file.name;
            EXPECT_LE(settings[L"DownloadUrl"].size(), 259u) << file.name;
        }
    }
}

}  // namespace
