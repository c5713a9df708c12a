// The transfer client against the fault server: which lengths it fetches, resume from a
// side file, refused resumes, the probes, file addresses, and the file digest helper.
#include "download/CurlClient.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "download/Md5.h"
#include "tests/support/PackageServer.h"
#include "tests/support/TempFolder.h"
#include "utils/TextConversion.h"

namespace {

std::vector<FaultLogEntry> Requests(const std::string& method) {
    std::vector<FaultLogEntry> found;
    for (const FaultLogEntry& entry : ReadFaultServerLog()) {
        if (entry.method == method)
            found.push_back(entry);
    }
    return found;
}

struct ProgressLog {
    std::vector<double> percents;
    static void Record(void* owner, double, double percent) {
        static_cast<ProgressLog*>(owner)->percents.push_back(percent);
    }
};

class CurlClientTest : public ::testing::Test {
protected:
    void SetUp() override { ClearFaultServerLog(); }
    std::wstring Target() const { return folder_.Join(L"package.exe"); }
    TempFolder folder_;
};

TEST_F(CurlClientTest, LengthsItCannotTrustAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        const wchar_t* path;
    };
    const std::vector<Case> cases = {
        {L"/len1048575.bin"},
        {L"/small.bin"},
        {L"/package.bin?no_length=1"},
        {L"/package.bin?fake_length=10737418240"},  // 10 GiB
        {L"/package.bin?close_before_headers=1"},
        {L"/package.bin?redirect_loop=1"},
        {L"/package.bin?status=500"},
        {L"/missing.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ClearFaultServerLog();
        CurlClient client(FaultServerUrl(c.path), Target(), nullptr);
        EXPECT_EQ(client.Start(), CurlClient::kLengthRefused);
        EXPECT_FALSE(FileExists(client.GetFilePath(true)));
        EXPECT_FALSE(FileExists(Target()));
        EXPECT_TRUE(Requests("GET").empty());
    }
}

TEST_F(CurlClientTest, AFailedFirstProbeLeadsToTheSecondProbe) {
    CurlClient client(FaultServerUrl(L"/missing.bin"), Target(), nullptr);
    EXPECT_EQ(client.Start(), CurlClient::kLengthRefused);
    // Head, then the address probe and the length probe of the second round.
    EXPECT_EQ(Requests("HEAD").size(), 3u);
}

TEST_F(CurlClientTest, ExactlyOneMebibyteIsFetchedWhole) {
    CurlClient client(FaultServerUrl(L"/len1048576.bin"), Target(), nullptr);
    EXPECT_EQ(client.Start(), 0);
    EXPECT_EQ(client.fileLength, 1048576.0);
    EXPECT_TRUE(ReadBytes(Target()) == PackageServerFileBytes(L"len1048576.bin"));
    EXPECT_FALSE(FileExists(client.GetFilePath(true)));
}

TEST_F(CurlClientTest, ASideFileIsResumedFromItsEnd) {
    const std::string package = PackageServerFileBytes(L"package.bin");
    ASSERT_EQ(package.size(), 5000000u);
    ProgressLog progress;
    CurlClient client(FaultServerUrl(L"/package.bin?throttle=2000000"), Target(), &progress);
    client.progressFn = &ProgressLog::Record;
    WriteBytes(client.GetFilePath(true), package.substr(0, 300000));

    EXPECT_EQ(client.Start(), 0);
    EXPECT_TRUE(ReadBytes(Target()) == package);
    const std::vector<FaultLogEntry> gets = Requests("GET");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].range, "bytes=300000-");
    EXPECT_EQ(gets[0].sent, 4700000);
    ASSERT_FALSE(progress.percents.empty());
    EXPECT_GE(progress.percents.front(), 6.0);  // 300,000 of 5,000,000 were there already
    for (double percent : progress.percents) {
        EXPECT_GT(percent, 0.0);
        EXPECT_LE(percent, 100.0);
    }
}

TEST_F(CurlClientTest, TheFinalAddressIsProbedOnceAndKeptForLaterStarts) {
    CurlClient client(FaultServerUrl(L"/software/155?package=len1048576.bin"), Target(), nullptr);
    EXPECT_EQ(client.Start(), 0);
    const std::string digest = FileMd5Hex(L"len1048576.bin");
    EXPECT_NE(client.realUrl.find("/" + digest + "/len1048576.bin"), std::string::npos) << client.realUrl;
    EXPECT_EQ(Requests("GET").size(), 1u);

    ClearFaultServerLog();
    EXPECT_EQ(client.Start(), 0);
    const std::vector<FaultLogEntry> entries = ReadFaultServerLog();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].method, "GET");
    EXPECT_EQ(entries[0].path, "/" + digest + "/len1048576.bin");
}

TEST_F(CurlClientTest, AnErrorStatusDuringTheTransferIsResult22) {
    CurlClient client(FaultServerUrl(L"/missing.bin"), Target(), nullptr);
    client.realUrl = Utils::ToNarrow(FaultServerUrl(L"/missing.bin"), Utils::kCodePageUtf8);
    client.fileLength = 2000000.0;
    EXPECT_EQ(client.Start(), 22);
    EXPECT_FALSE(FileExists(Target()));
    EXPECT_TRUE(Requests("HEAD").empty());
}

TEST_F(CurlClientTest, AFileAddressGetsItsLengthFromTheSecondProbe) {
    std::wstring path = PackageServerFile(L"len1048576.bin");
    for (wchar_t& c : path) {
        if (c == L'\\')
            c = L'/';
    }
    CurlClient client(L"file:///" + path, Target(), nullptr);
    EXPECT_EQ(client.Start(), 0);
    EXPECT_EQ(client.fileLength, 1048576.0);
    EXPECT_TRUE(ReadBytes(Target()) == PackageServerFileBytes(L"len1048576.bin"));
}

TEST_F(CurlClientTest, ARefusedResumeDeletesTheSideFile) {
    const std::string package = PackageServerFileBytes(L"package.bin");
    struct Case {
        const wchar_t* query;
        std::string sideFile;
        bool laterStartSucceeds;
    };
    const std::vector<Case> cases = {
        {L"ignore_range=1", package.substr(0, 300000), true},  // 200 with the whole file
        {L"wrong_range=1", package.substr(0, 300000), false},  // 206 for other bytes
        {L"", package + "junk", true},                         // 416 past the end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        ClearFaultServerLog();
        CurlClient client(FaultServerUrl(std::wstring(L"/package.bin?") + c.query), Target(), nullptr);
        WriteBytes(client.GetFilePath(true), c.sideFile);
        EXPECT_EQ(client.Start(), 33);
        EXPECT_FALSE(FileExists(client.GetFilePath(true)));
        EXPECT_FALSE(FileExists(Target()));
        if (c.laterStartSucceeds) {
            EXPECT_EQ(client.Start(), 0);
            EXPECT_TRUE(ReadBytes(Target()) == package);
        }
        ::DeleteFileW(Target().c_str());
    }
}

TEST_F(CurlClientTest, ACompleteSideFileIsMovedIntoPlace) {
    const std::string package = PackageServerFileBytes(L"len1048576.bin");
    CurlClient client(FaultServerUrl(L"/len1048576.bin"), Target(), nullptr);
    WriteBytes(client.GetFilePath(true), package);
    EXPECT_EQ(client.Start(), 0);
    EXPECT_TRUE(ReadBytes(Target()) == package);
    const std::vector<FaultLogEntry> gets = Requests("GET");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].status, 416);
    EXPECT_EQ(gets[0].sent, 0);
}

TEST_F(CurlClientTest, ATargetThatCannotBeReplacedIsAFailure) {
    // A folder with content in the target's place: neither deleted nor replaced by a file.
    ASSERT_TRUE(::CreateDirectoryW(Target().c_str(), nullptr));
    WriteBytes(Target() + L"\\inside.txt", "kept");
    CurlClient client(FaultServerUrl(L"/len1048576.bin"), Target(), nullptr);
    EXPECT_EQ(client.Start(), CurlClient::kMoveFailed);
    EXPECT_TRUE(FileExists(Target() + L"\\inside.txt"));
    // The finished side file stays, so the next attempt need not fetch it again.
    EXPECT_TRUE(ReadBytes(client.GetFilePath(true)) == PackageServerFileBytes(L"len1048576.bin"));
}

TEST_F(CurlClientTest, ASideFileThatCannotBeOpenedIsReportedWithItsReason) {
    struct Case {
        const char* name;
        std::wstring target;
    };
    ASSERT_TRUE(::CreateDirectoryW((Target() + L".part").c_str(), nullptr));
    const std::vector<Case> cases = {
        {"folder missing", folder_.Join(L"no-such-folder\\package.exe")},
        {"side file is a folder", Target()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CurlClient client(FaultServerUrl(L"/len1048576.bin"), c.target, nullptr);
        EXPECT_EQ(client.Start(), CurlClient::kSideFileFailed);
        EXPECT_FALSE(client.errorText.empty());
        EXPECT_LE(client.errorText.size(), 200u);
        EXPECT_FALSE(FileExists(c.target));
    }
}

TEST_F(CurlClientTest, AStopFromAnotherThreadEndsARunningTransfer) {
    CurlClient client(FaultServerUrl(L"/package.bin?throttle=100000"), Target(), nullptr);
    std::atomic<int> result{-1};
    std::thread transfer([&] { result = client.Start(); });
    // The probe is logged once answered; a little later the throttled body is flowing.
    for (int i = 0; i < 250 && Requests("HEAD").empty(); ++i)
        ::Sleep(20);
    ::Sleep(500);
    client.RequestStop();
    transfer.join();
    EXPECT_EQ(result.load(), CURLE_ABORTED_BY_CALLBACK);
    EXPECT_FALSE(FileExists(Target()));
}

TEST(Md5FileWinTest, DigestsOfKnownContents) {
    TempFolder folder;
    struct Case {
        const char* name;
        std::string bytes;
        std::string digest;
    };
    const std::vector<Case> cases = {
        {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"million a", std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const Case& c : cases) {
        const std::wstring path = folder.Join(Utils::ToWide(c.name));
        WriteBytes(path, c.bytes);
        EXPECT_EQ(GetFileMd5(path), c.digest) << c.name;
        EXPECT_EQ(GetFileMd5(Utils::ToNarrow(path)), c.digest) << c.name;
    }
    EXPECT_EQ(GetFileMd5(folder.Join(L"missing")), "");
    EXPECT_EQ(GetFileMd5(std::wstring()), "");
    EXPECT_EQ(GetFileMd5(std::string()), "");
}

TEST(Md5FileWinTest, AServedPackageHasTheDigestItsAddressCarries) {
    EXPECT_EQ(GetFileMd5(PackageServerFile(L"package.bin")), FileMd5Hex(L"package.bin"));
}

}  // namespace
