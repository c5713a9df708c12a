// The whole chain with real servers and real children: the NSIS sample package served by
// the fault server, its uninstaller for upgrades, the fake child for failing packages.
#include "install/DownloadInstaller.h"

#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "download/Md5.h"
#include "install/Installer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/PackageServer.h"
#include "tests/support/ProcessThreads.h"
#include "tests/support/TempFolder.h"
#include "utils/ProcessHelpers.h"
#include "utils/UniqueHandle.h"

namespace {

// Records like EventRecorder and lets the test thread wait for the event that ends a run.
class Outcome {
public:
    EventCallback Callback() {
        auto record = recorder_.Callback();
        return [this, record](int32_t code, double value, const wchar_t* text) {
            record(code, value, text);
            if (code == INSTALL_SUCCESS || code == IST_CODE_FAIL || code == DL_CODE_FAIL ||
                code == UNIST_CODE_FAIL || code == UNIST_CODE_ERROR) {
                std::lock_guard<std::mutex> lock(mutex_);
                finals_++;
                changed_.notify_all();
            }
        };
    }

    // True when a final event arrived within the time limit.
    bool WaitForFinal(int count = 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::minutes(3), [&] { return finals_ >= count; });
    }

    const EventRecorder& Recorder() const { return recorder_; }

private:
    EventRecorder recorder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int finals_ = 0;
};

// Puts program among the served files under name and returns the fault server's address
// for it, with its digest in the path so the downloader checks it. The downloaders refuse
// packages below 1 MiB, so the copy is padded at its end, which a program ignores.
std::wstring Serve(const std::wstring& program, const std::wstring& name) {
    const std::wstring served = PackageServerFile(name);
    std::string bytes = ReadBytes(program);
    EXPECT_FALSE(bytes.empty()) << "cannot read the program to serve";
    if (bytes.size() < 1200000)
        bytes.resize(1200000, '\0');
    WriteBytes(served, bytes);
    const std::string md5 = GetFileMd5(served);
    return FaultServerUrl(L"/" + std::wstring(md5.begin(), md5.end()) + L"/" + name);
}

std::wstring SamplePackageUrl() {
    return Serve(ExecutableFolder() + L"\\lumivane-package.exe", L"lumivane-package.exe");
}

bool InstallSamplePackage(const std::wstring& installDir) {
    EventRecorder recorder;
    CInstaller installer(recorder.Callback(), Quoted(ExecutableFolder() + L"\\lumivane-package.exe"),
                         installDir);
    installer.Start();
    installer.readerThread->Join();
    return !recorder.Codes().empty() && recorder.Codes().back() == INSTALL_SUCCESS;
}

std::vector<RecordedEvent> RunPipeline(const std::wstring& url, const std::wstring& oldUninstaller,
                                       const std::wstring& installDir, long type = 1) {
    Outcome outcome;
    CDownloadInstaller::Options options;
    options.downloadType = type;
    {
        CDownloadInstaller pipeline(outcome.Callback(), options);
        pipeline.SetParams(url, oldUninstaller, installDir, false, false, true, false, L"");
        pipeline.Start();
        EXPECT_TRUE(outcome.WaitForFinal());
    }
    return outcome.Recorder().Events();
}

// Checks the download-then-install sequence from index first on.
void ExpectDownloadThenInstall(const std::vector<RecordedEvent>& events, size_t first) {
    ASSERT_LT(first, events.size());
    size_t i = first;
    ASSERT_EQ(events[i++].code, DL_CODE_START);
    while (i < events.size() && events[i].code == DL_CODE_PROGRESS)
        ++i;
    ASSERT_LT(i + 3, events.size());
    EXPECT_EQ(events[i++].code, DL_CODE_SUCCESS);
    EXPECT_EQ(events[i++].code, IST_CODE_START);
    EXPECT_EQ(events[i].code, IST_CODE_PROGRESS);
    EXPECT_EQ(events[i++].value, 0.0);
    for (; i + 1 < events.size(); ++i) {
        EXPECT_TRUE(events[i].code == IST_CODE_PROGRESS || (events[i].code >= 3000 && events[i].code <= 3009))
            << events[i].code;
    }
    EXPECT_EQ(events.back().code, INSTALL_SUCCESS);
}

class PipelineFreshInstallTest : public ::testing::TestWithParam<long> {};

TEST_P(PipelineFreshInstallTest, DownloadsInstallsAndRemovesThePackage) {
    TempFolder folder;
    const std::wstring installDir = folder.Join(L"New Lumivane");
    const auto events = RunPipeline(SamplePackageUrl(), L"", installDir, GetParam());
    ExpectDownloadThenInstall(events, 0);
    for (const wchar_t* file : {L"lumivane.exe", L"uninst.ep"})
        EXPECT_TRUE(FileExists(installDir + L"\\" + file)) << file;
    EXPECT_FALSE(FileExists(CDownloadInstaller::PackagePathFor(installDir)));
}

INSTANTIATE_TEST_SUITE_P(PipelineByDownloadType, PipelineFreshInstallTest, ::testing::Values(1L, 3L, 2L));

TEST(PipelineTest, UpgradeRemovesTheOldCopyFirst) {
    TempFolder folder;
    const std::wstring installDir = folder.Join(L"Lumivane");
    ASSERT_TRUE(InstallSamplePackage(installDir));
    const std::wstring oldUninstaller = installDir + L"\\uninst.ep";
    ASSERT_TRUE(FileExists(oldUninstaller));

    const auto events = RunPipeline(SamplePackageUrl(), oldUninstaller, installDir);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].code, UNIST_CODE_PROGRESS);
    EXPECT_EQ(events[0].value, 0.0);
    size_t i = 0;
    while (i < events.size() && events[i].code == UNIST_CODE_PROGRESS)
        ++i;
    ASSERT_LT(i, events.size());
    EXPECT_EQ(events[i].code, UNIST_CODE_SUCCESS);
    ExpectDownloadThenInstall(events, i + 1);
    EXPECT_TRUE(FileExists(installDir + L"\\lumivane.exe"));
    EXPECT_FALSE(FileExists(CDownloadInstaller::PackagePathFor(installDir)));
}

// Sets TMP and TEMP for the test's lifetime.
class TemporaryFolderVariables {
public:
    explicit TemporaryFolderVariables(const std::wstring& value) {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t old[MAX_PATH + 1] = {};
            const DWORD length = ::GetEnvironmentVariableW(name, old, MAX_PATH + 1);
            saved_.push_back(length > 0 && length <= MAX_PATH ? old : L"");
            ::SetEnvironmentVariableW(name, value.c_str());
        }
    }
    ~TemporaryFolderVariables() {
        ::SetEnvironmentVariableW(L"TMP", saved_[0].empty() ? nullptr : saved_[0].c_str());
        ::SetEnvironmentVariableW(L"TEMP", saved_[1].empty() ? nullptr : saved_[1].c_str());
    }

private:
    std::vector<std::wstring> saved_;
};

TEST(PipelineTest, UnavailableTemporaryFolderStopsBeforeTheDownload) {
    TempFolder folder;
    const std::wstring oldUninstaller = folder.Join(L"uninst.ep");
    WriteBytes(oldUninstaller, "old uninstaller");
    const std::wstring installDir = folder.Join(L"Lumivane");
    ClearFaultServerLog();
    std::vector<RecordedEvent> events;
    {
        TemporaryFolderVariables unavailable(folder.Join(L"no such folder") + L"\\");
        events = RunPipeline(SamplePackageUrl(), oldUninstaller, installDir);
    }
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{UNIST_CODE_FAIL}));
    EXPECT_EQ(events[0].value, 1.0);
    EXPECT_EQ(events[0].text, L"可执行卸载文件不存在");
    EXPECT_TRUE(ReadFaultServerLog().empty());
    EXPECT_FALSE(FileExists(CDownloadInstaller::PackagePathFor(installDir)));
}

// The fake child, served as the package, plays the script that lies beside the
// downloaded package file.
TEST(PipelineTest, FailingPackageReportsAndIsRemoved) {
    TempFolder folder;
    const std::wstring installDir = folder.Join(L"Lumivane");
    ASSERT_TRUE(::CreateDirectoryW(installDir.c_str(), nullptr));
    WriteBytes(installDir + L"\\__Package_Lumivane.script", "out:Error=disk full\\n\n");
    const auto events =
        RunPipeline(Serve(ExecutableFolder() + L"\\fake_child.exe", L"fake_child.exe"), L"", installDir);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, IST_CODE_FAIL);
    EXPECT_EQ(events.back().value, 1000.0);
    EXPECT_EQ(events.back().text, L"disk full");
    EXPECT_EQ(CodesOf(events)[0], DL_CODE_START);
    EXPECT_FALSE(FileExists(CDownloadInstaller::PackagePathFor(installDir)));
}

TEST(PipelineTest, DestroyedDuringADownloadLeavesNoThread) {
    TempFolder folder;
    const std::wstring url = SamplePackageUrl() + L"?throttle=20000";
    for (long type : {1L, 3L, 2L}) {
        const int threadsBefore = ThreadsOfThisProcess();
        EventRecorder recorder;
        {
            CDownloadInstaller::Options options;
            options.downloadType = type;
            CDownloadInstaller pipeline(recorder.Callback(), options);
            pipeline.SetParams(url, L"", folder.Join(L"Lumivane"), false, false, true, false, L"");
            pipeline.Start();
            for (int i = 0; i < 100 && recorder.With(DL_CODE_PROGRESS).empty(); ++i)
                ::Sleep(50);
            EXPECT_FALSE(recorder.With(DL_CODE_START).empty()) << type;
        }
        const size_t eventsAtEnd = recorder.Events().size();
        ::Sleep(300);
        EXPECT_EQ(recorder.Events().size(), eventsAtEnd) << type;
        EXPECT_EQ(recorder.With(DL_CODE_SUCCESS).size(), 0u) << type;
        EXPECT_LE(ThreadsOfThisProcess(), threadsBefore) << type;
    }
}

// The codes without the download's start and progress, which vary with timing.
std::vector<int32_t> OutcomeCodes(const std::vector<RecordedEvent>& events) {
    std::vector<int32_t> codes;
    for (const auto& event : events) {
        if (event.code != DL_CODE_START && event.code != DL_CODE_PROGRESS)
            codes.push_back(event.code);
    }
    return codes;
}

TEST(PipelineTest, DigestMismatchTwiceGivesUpAndNeverRunsThePackage) {
    TempFolder folder;
    const std::wstring installDir = folder.Join(L"Lumivane");
    SamplePackageUrl();
    const auto events = RunPipeline(FaultServerUrl(L"/0123456789abcdef0123456789abcdef/lumivane-package.exe"),
                                    L"", installDir);
    EXPECT_EQ(OutcomeCodes(events),
              (std::vector<int32_t>{DL_CODE_ERROR, DL_CODE_RETRY, DL_CODE_ERROR, DL_CODE_FAIL}));
    EXPECT_FALSE(FileExists(CDownloadInstaller::PackagePathFor(installDir)));
    EXPECT_FALSE(FileExists(installDir + L"\\lumivane.exe"));
}

// The first attempt cannot write the package (another program holds the file); the retry
// goes to another folder but reuses the first package path, and both paths end up removed.
TEST(PipelineTest, RetryIntoAnotherFolderUsesTheFirstPackagePath) {
    TempFolder folder;
    const std::wstring firstDir = folder.Join(L"First");
    const std::wstring secondDir = folder.Join(L"Second");
    ASSERT_TRUE(::CreateDirectoryW(firstDir.c_str(), nullptr));
    const std::wstring firstPackage = CDownloadInstaller::PackagePathFor(firstDir);
    Outcome outcome;
    {
        CDownloadInstaller pipeline(outcome.Callback());
        pipeline.SetParams(SamplePackageUrl(), L"", firstDir, false, false, true, false, L"");
        {
            Utils::UniqueHandle holder(::CreateFileW(firstPackage.c_str(), GENERIC_WRITE, 0, nullptr,
                                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
            pipeline.Start();
            ASSERT_TRUE(outcome.WaitForFinal(1));
        }
        // The window's retry follows a dialog, long after the failure's step has ended;
        // SetParams must not change the fields under a step that still runs.
        ::Sleep(500);
        ASSERT_EQ(outcome.Recorder().Codes().back(), DL_CODE_FAIL);
        pipeline.SetParams(SamplePackageUrl(), L"", secondDir, false, false, true, false, L"");
        pipeline.Start();
        ASSERT_TRUE(outcome.WaitForFinal(2));
    }
    const auto events = outcome.Recorder().Events();
    EXPECT_EQ(events.back().code, INSTALL_SUCCESS);
    const auto installPaths = outcome.Recorder().With(RPT_INST_PATH);
    ASSERT_FALSE(installPaths.empty());
    // The report line keeps its carriage return; the folder is what precedes it.
    EXPECT_EQ(installPaths.back().text.substr(0, secondDir.size()), secondDir);
    EXPECT_TRUE(FileExists(secondDir + L"\\lumivane.exe"));
    EXPECT_FALSE(FileExists(firstPackage));
    EXPECT_FALSE(FileExists(CDownloadInstaller::PackagePathFor(secondDir)));
}

// Install-new mode: the uninstall waits for the running product, and Start returns only
// once it has ended.
TEST(PipelineTest, InstallNewWaitsForTheRunningProduct) {
    TempFolder folder;
    const std::wstring installDir = folder.Join(L"Lumivane");
    ASSERT_TRUE(InstallSamplePackage(installDir));
    const std::wstring product = installDir + L"\\lumivane.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION running{};
    std::wstring commandLine = Quoted(product) + L" -exit-after=1500";
    ASSERT_TRUE(::CreateProcessW(product.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &running));
    Utils::UniqueHandle process(running.hProcess), thread(running.hThread);
    ::WaitForInputIdle(running.hProcess, 10000);
    ASSERT_NE(Utils::FindProcessByName(L"lumivane.exe"), 0u);

    Outcome outcome;
    CDownloadInstaller::Options options;
    options.installNew = true;
    {
        CDownloadInstaller pipeline(outcome.Callback(), options);
        pipeline.SetParams(SamplePackageUrl(), installDir + L"\\uninst.ep", installDir, false, false, true,
                           false, L"");
        pipeline.Start();
        EXPECT_EQ(::WaitForSingleObject(running.hProcess, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(outcome.WaitForFinal());
    }
    const auto codes = outcome.Recorder().Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), UNIST_CODE_PROGRESS);
    EXPECT_EQ(codes.back(), INSTALL_SUCCESS);
}

struct CliCase {
    const char* name;
    bool goodDigest;
    DWORD exitCode;
    const char* lastCode;
};

// lumivane-cli pipeline as a process of its own: its exit code and its last printed event.
TEST(PipelineCliTest, ExitCodeFollowsTheFinalEvent) {
    const CliCase cases[] = {
        {"installs", true, 0, "2003\t"},
        {"digest mismatch", false, 1, "1004\t"},
    };
    for (const CliCase& c : cases) {
        TempFolder folder;
        const std::wstring url =
            c.goodDigest ? SamplePackageUrl()
                         : FaultServerUrl(L"/0123456789abcdef0123456789abcdef/lumivane-package.exe");
        const std::wstring outPath = folder.Join(L"out.txt");
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        Utils::UniqueHandle out(::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(out.get(), INVALID_HANDLE_VALUE);
        const std::wstring cli = ExecutableFolder() + L"\\lumivane-cli.exe";
        std::wstring commandLine = Quoted(cli) + L" pipeline --url " + Quoted(url) + L" --dir " +
                                   Quoted(folder.Join(L"Lumivane")) + L" --no-desktop --no-quicklaunch";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.get();
        startup.hStdError = out.get();
        PROCESS_INFORMATION started{};
        ASSERT_TRUE(::CreateProcessW(cli.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                     nullptr, &startup, &started))
            << c.name;
        Utils::UniqueHandle process(started.hProcess), thread(started.hThread);
        ASSERT_EQ(::WaitForSingleObject(started.hProcess, 180000), WAIT_OBJECT_0) << c.name;
        DWORD exitCode = 99;
        ::GetExitCodeProcess(started.hProcess, &exitCode);
        EXPECT_EQ(exitCode, c.exitCode) << c.name;
        out.reset();
        const std::string text = ReadBytes(outPath);
        const size_t lastLine = text.rfind('\n', text.size() >= 2 ? text.size() - 2 : 0);
        const std::string last = text.substr(lastLine == std::string::npos ? 0 : lastLine + 1);
        EXPECT_EQ(last.rfind(c.lastCode, 0), 0u) << c.name << ": " << text;
    }
}

}  // namespace
