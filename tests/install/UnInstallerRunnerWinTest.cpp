// CUnInstaller with real child processes: a scripted fake uninstaller for exact output,
// and the NSIS sample package's own uninstaller removing an installed copy.
#include "install/UnInstaller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/Installer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/TempFolder.h"
#include "utils/ProcessHelpers.h"
#include "utils/UniqueHandle.h"

namespace {

std::vector<RecordedEvent> RunUninstaller(const std::wstring& uninstallerPath,
                                          const std::wstring& uninstallDir) {
    EventRecorder recorder;
    CUnInstaller uninstaller(recorder.Callback(), uninstallerPath, uninstallDir);
    uninstaller.Start();
    uninstaller.readerThread->Join();
    return recorder.Events();
}

// Installs the sample package into installDir; true when it reported success.
bool InstallSamplePackage(const std::wstring& installDir) {
    EventRecorder recorder;
    CInstaller installer(recorder.Callback(), Quoted(ExecutableFolder() + L"\\lumivane-package.exe"),
                         installDir);
    installer.Start();
    installer.readerThread->Join();
    return !recorder.Codes().empty() && recorder.Codes().back() == INSTALL_SUCCESS;
}

// A copy of the fake child that ignores its command line and plays "<name>.script"
// beside it: the runner's fixed switches cannot carry steps.
std::wstring ScriptedUninstaller(const TempFolder& folder, const std::string& steps) {
    const std::wstring path = folder.Join(L"Lumivane_un_asa.exe");
    EXPECT_TRUE(::CopyFileW((ExecutableFolder() + L"\\fake_child.exe").c_str(), path.c_str(), FALSE));
    WriteBytes(folder.Join(L"Lumivane_un_asa.script"), steps);
    return path;
}

TEST(UnInstallerRunnerTest, MissingCopyFailsWithValueOne) {
    const auto events = RunUninstaller(L"C:\\no such folder\\Lumivane_un_asa.exe", L"C:\\old");
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{5004}));
    EXPECT_EQ(events[0].value, 1.0);
    EXPECT_EQ(events[0].text, L"可执行卸载文件不存在");
}

TEST(UnInstallerRunnerTest, UnstartableCopyFailsWithValueTwo) {
    TempFolder folder;
    const std::wstring notAProgram = folder.Join(L"Lumivane_un_asa.exe");
    WriteBytes(notAProgram, "this is no program");
    const auto events = RunUninstaller(notAProgram, L"C:\\old");
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{5002, 5004}));
    EXPECT_EQ(events[1].value, 2.0);
}

TEST(UnInstallerRunnerTest, CommandLineTooLongIsAStartFailure) {
    TempFolder folder;
    const auto events = RunUninstaller(ScriptedUninstaller(folder, "out:State=Success\\n\n"),
                                       L"C:\\" + std::wstring(1100, L'd'));
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{5002, 5004}));
    EXPECT_EQ(events[1].value, 2.0);
}

TEST(UnInstallerRunnerTest, ReadingGoesOnAfterTheFinalLine) {
    TempFolder folder;
    const auto events = RunUninstaller(
        ScriptedUninstaller(folder, "out:State=Success\\r\\n\nsleep:200\nout:Progress=0.9\\n\n"), L"C:\\old");
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{5002, 5003, 5002}));
    EXPECT_EQ(events[1].value, 0.0);
    EXPECT_EQ(events[2].value, 0.9);
}

TEST(UnInstallerRunnerTest, EndWithoutFinalLineSucceedsWithValueOne) {
    TempFolder folder;
    const auto events =
        RunUninstaller(ScriptedUninstaller(folder, "out:Progress=0.5\\n\nexit:7\n"), L"C:\\old");
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{5002, 5002, 5003}));
    EXPECT_EQ(events[2].value, 1.0);
}

// A child that reports its failure and ends at once: what it wrote before ending is still
// read, so the failure is not lost and no success follows.
TEST(UnInstallerRunnerTest, LastWordsOfAQuickChildAreRead) {
    TempFolder folder;
    const auto events = RunUninstaller(
        ScriptedUninstaller(folder, "out:Error=lumivane.exe is running\\r\\n\nexit:1\n"), L"C:\\old");
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{5002, 5005}));
    EXPECT_EQ(events[1].text, L"lumivane.exe is running\r");
}

TEST(UnInstallerRunnerTest, StateFail) {
    TempFolder folder;
    const auto events = RunUninstaller(ScriptedUninstaller(folder, "out:State=Fail\\n\n"), L"C:\\old");
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{5002, 5005}));
    EXPECT_EQ(events[1].text, L"安装包卸载失败");
}

// The sample package installs; its uninstaller, copied away and run with "_?=", removes
// the installed copy.
TEST(SamplePackageUninstallTest, RemovesAnInstalledCopy) {
    TempFolder folder;
    const std::wstring installDir = folder.Join(L"Old Lumivane");
    ASSERT_TRUE(InstallSamplePackage(installDir));
    ASSERT_TRUE(FileExists(installDir + L"\\uninst.ep"));
    const std::wstring copy = folder.Join(L"Lumivane_un_asa.exe");
    ASSERT_TRUE(::CopyFileW((installDir + L"\\uninst.ep").c_str(), copy.c_str(), FALSE));

    const auto events = RunUninstaller(copy, installDir);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front().code, 5002);
    EXPECT_EQ(events.back().code, 5003);
    EXPECT_EQ(events.back().value, 0.0);
    for (const wchar_t* file : {L"lumivane.exe", L"uninst.ep", L"set.ini", L"config.ini"}) {
        EXPECT_FALSE(FileExists(installDir + L"\\" + file)) << file;
    }
}

// With the product still running, the uninstaller refuses and says why; the running
// product is found by its exact file name only.
TEST(SamplePackageUninstallTest, RunningProductStopsTheUninstall) {
    TempFolder folder;
    const std::wstring installDir = folder.Join(L"Lumivane");
    ASSERT_TRUE(InstallSamplePackage(installDir));
    const std::wstring product = installDir + L"\\lumivane.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION running{};
    std::wstring commandLine = Quoted(product) + L" -exit-after=60000";
    ASSERT_TRUE(::CreateProcessW(product.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &running));
    Utils::UniqueHandle process(running.hProcess), thread(running.hThread);
    struct Killer {
        HANDLE process;
        ~Killer() {
            ::TerminateProcess(process, 0);
            ::WaitForSingleObject(process, INFINITE);
        }
    } killer{running.hProcess};
    ::WaitForInputIdle(running.hProcess, 10000);

    EXPECT_EQ(Utils::FindProcessByName(L"lumivane.exe"), running.dwProcessId);
    EXPECT_EQ(Utils::FindProcessByName(L"Lumivane.exe"), 0u);
    EXPECT_EQ(Utils::FindProcessByName(L"LUMIVANE.EXE"), 0u);

    const std::wstring copy = folder.Join(L"Lumivane_un_asa.exe");
    ASSERT_TRUE(::CopyFileW((installDir + L"\\uninst.ep").c_str(), copy.c_str(), FALSE));
    const auto events = RunUninstaller(copy, installDir);
    bool reasonGiven = false;
    for (const auto& event : events) {
        EXPECT_NE(event.code, 5003);
        reasonGiven =
            reasonGiven || (event.code == 5005 && event.text.find(L"lumivane.exe") != std::wstring::npos);
    }
    EXPECT_TRUE(reasonGiven);
    EXPECT_TRUE(FileExists(product));
}

}  // namespace
