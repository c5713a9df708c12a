// The multi-part downloader end to end against nginx and the fault server: the ranges it
// asks for, resume from part files, answers that do not fit a part, the digest check with
// its one retry, and destruction while its threads run.
#include "download/MTCurlDownloader.h"

#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/Md5.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/PackageServer.h"
#include "tests/support/ProcessThreads.h"
#include "tests/support/TempFolder.h"
#include "utils/TextConversion.h"
#include "utils/UniqueHandle.h"

namespace {

const std::wstring kMismatch = L"mtcurl文件md5校验失败";
const std::wstring kNoDigest = L"mtcurl获取url-md5失败";

std::vector<FaultLogEntry> Gets() {
    std::vector<FaultLogEntry> found;
    for (const FaultLogEntry& entry : ReadFaultServerLog()) {
        if (entry.method == "GET")
            found.push_back(entry);
    }
    return found;
}

int64_t RangeStart(const FaultLogEntry& entry) {
    // "bytes=a-b"
    return std::stoll(entry.range.substr(6));
}

// The pipeline's part: answers a retry request with Start (after the test's own step, if
// any) and lets the test wait for the final event.
class Owner {
public:
    Owner() : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    void Make(const std::wstring& url, const std::wstring& path) {
        EventCallback record = recorder.Callback();
        downloader = std::make_unique<CMTCurlDownloader>(
            [this, record](int32_t code, double value, const wchar_t* text) {
                record(code, value, text);
                if (code == DL_CODE_RETRY) {
                    if (beforeRetry)
                        beforeRetry();
                    downloader->Start();
                }
                if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL)
                    ::SetEvent(done_.get());
            },
            url, path);
    }

    bool Run(DWORD limitMs = 90000) {
        downloader->Start();
        const bool finished = ::WaitForSingleObject(done_.get(), limitMs) == WAIT_OBJECT_0;
        downloader.reset();
        return finished;
    }

    EventRecorder recorder;
    std::unique_ptr<CMTCurlDownloader> downloader;
    std::function<void()> beforeRetry;

private:
    Utils::UniqueHandle done_;
};

class MTCurlDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override { ClearFaultServerLog(); }
    std::wstring Target() const { return folder_.Join(L"package.exe"); }

    static std::vector<int32_t> Outline(const EventRecorder& recorder) {
        std::vector<int32_t> codes;
        for (int32_t code : recorder.Codes()) {
            if (code != DL_CODE_PROGRESS)
                codes.push_back(code);
        }
        return codes;
    }

    TempFolder folder_;
};

TEST_F(MTCurlDownloaderTest, ThePackageFromNginxArrivesWithItsDigestChecked) {
    Owner owner;
    owner.Make(NginxUrl(L"/software/155"), Target());
    ASSERT_TRUE(owner.Run());
    EXPECT_EQ(Outline(owner.recorder), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
    EXPECT_EQ(owner.recorder.Events().front().value, 1.0);
    EXPECT_EQ(owner.recorder.With(DL_CODE_SUCCESS).at(0).text, L"LibCurl");
    EXPECT_TRUE(ReadBytes(Target()) == PackageServerFileBytes(L"package.bin"));
    EXPECT_FALSE(FileExists(Target() + L"_0"));
}

TEST_F(MTCurlDownloaderTest, LengthsSplitIntoTheExactRangesAsked) {
    struct Case {
        std::wstring name;
        std::vector<std::string> ranges;
    };
    const std::vector<Case> cases = {
        {L"package.bin", {"bytes=0-4999999"}},
        {L"big.bin", {"bytes=0-12499999", "bytes=12500000-25000000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utils::ToNarrow(c.name));
        ClearFaultServerLog();
        Owner owner;
        owner.Make(FaultServerUrl(L"/" + Utils::ToWide(FileMd5Hex(c.name)) + L"/" + c.name), Target());
        ASSERT_TRUE(owner.Run());
        EXPECT_EQ(Outline(owner.recorder), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
        std::vector<std::string> ranges;
        for (const FaultLogEntry& get : Gets())
            ranges.push_back(get.range);
        std::sort(ranges.begin(), ranges.end());
        EXPECT_EQ(ranges, c.ranges);
        EXPECT_TRUE(ReadBytes(Target()) == PackageServerFileBytes(c.name));
        EXPECT_FALSE(FileExists(Target() + L"_0"));
        EXPECT_FALSE(FileExists(Target() + L"_1"));
        ::DeleteFileW(Target().c_str());
    }
}

// Every attempt of the first try ends after 500,000 bytes, so the first try fails with
// parts on disk. Before the second, the parts are set to "complete" and "one byte short":
// the second try must ask for that one byte only.
TEST_F(MTCurlDownloaderTest, ACompletePartGetsNoRequestAndAShortOneAsksForItsLastByte) {
    const std::string big = PackageServerFileBytes(L"big.bin");
    ASSERT_EQ(big.size(), 25000001u);
    Owner owner;
    owner.beforeRetry = [&] {
        EXPECT_TRUE(FileExists(Target() + L"_0"));
        WriteBytes(Target() + L"_0", big.substr(0, 12500000));
        WriteBytes(Target() + L"_1", big.substr(12500000, 12500000));
        ClearFaultServerLog();
    };
    owner.Make(FaultServerUrl(L"/" + Utils::ToWide(FileMd5Hex(L"big.bin")) + L"/big.bin?close_after=500000"),
               Target());
    ASSERT_TRUE(owner.Run());
    EXPECT_EQ(Outline(owner.recorder),
              (std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_SUCCESS}));
    EXPECT_EQ(owner.recorder.With(DL_CODE_RETRY).at(0).value, 18.0);
    const std::vector<FaultLogEntry> gets = Gets();
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].range, "bytes=25000000-25000000");
    EXPECT_EQ(gets[0].sent, 1);
    EXPECT_TRUE(ReadBytes(Target()) == big);
}

TEST_F(MTCurlDownloaderTest, ResumingAfterBrokenConnectionsFetchesNothingTwice) {
    const std::string package = PackageServerFileBytes(L"package.bin");
    const std::wstring digest = Utils::ToWide(FileMd5Hex(L"package.bin"));
    for (const wchar_t* closeAfter : {L"500000", L"2500000", L"4950000"}) {
        SCOPED_TRACE(Utils::ToNarrow(closeAfter));
        ClearFaultServerLog();
        Owner owner;
        owner.Make(FaultServerUrl(L"/" + digest + L"/package.bin?close_after=" + closeAfter), Target());
        ASSERT_TRUE(owner.Run());
        EXPECT_EQ(Outline(owner.recorder), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
        EXPECT_TRUE(ReadBytes(Target()) == package);
        const std::vector<FaultLogEntry> gets = Gets();
        ASSERT_GE(gets.size(), 2u);
        int64_t next = 0;
        for (const FaultLogEntry& get : gets) {
            ASSERT_TRUE(get.hasRange);
            EXPECT_EQ(RangeStart(get), next);
            next += get.sent;
        }
        EXPECT_EQ(next, static_cast<int64_t>(package.size()));
        ::DeleteFileW(Target().c_str());
    }
}

// A 200 with the whole file or a 206 for another range would put foreign bytes into the
// part: nothing is written, every attempt ends with 23, one retry, then the failure.
TEST_F(MTCurlDownloaderTest, AnAnswerForAnotherRangeIsNeverWritten) {
    for (const wchar_t* fault : {L"ignore_range=1", L"wrong_range=1"}) {
        SCOPED_TRACE(Utils::ToNarrow(fault));
        ClearFaultServerLog();
        Owner owner;
        owner.Make(FaultServerUrl(L"/x/package.bin?") + fault, Target());
        ASSERT_TRUE(owner.Run());
        EXPECT_EQ(Outline(owner.recorder),
                  (std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_FAIL}));
        EXPECT_EQ(owner.recorder.With(DL_CODE_RETRY).at(0).value, 23.0);
        EXPECT_EQ(owner.recorder.With(DL_CODE_FAIL).at(0).value, 23.0);
        EXPECT_TRUE(owner.recorder.With(DL_CODE_PROGRESS).empty());
        EXPECT_FALSE(FileExists(Target()));
        // Seven attempts per try: two points of the part's budget of twelve each.
        EXPECT_EQ(Gets().size(), 14u);
    }
}

TEST_F(MTCurlDownloaderTest, TheDigestComesFromTheFinalAddressAndIsRetriedOnce) {
    const std::string digest = FileMd5Hex(L"len1048576.bin");
    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Case {
        const char* name;
        std::wstring path;
        std::vector<int32_t> outline;
        std::vector<std::wstring> notices;
        bool delivered;
    };
    const std::vector<int32_t> retriedThenFailed = {DL_CODE_START, DL_CODE_ERROR, DL_CODE_RETRY,
                                                    DL_CODE_START, DL_CODE_ERROR, DL_CODE_FAIL};
    const std::vector<Case> cases = {
        {"matching digest, through the redirect",
         L"/software/155?package=len1048576.bin",
         {DL_CODE_START, DL_CODE_SUCCESS},
         {},
         true},
        {"digest in capitals",
         Utils::ToWide("/" + upper + "/len1048576.bin"),
         retriedThenFailed,
         {kMismatch, kMismatch},
         false},
        {"no digest folder",
         L"/len1048576.bin",
         {DL_CODE_START, DL_CODE_ERROR, DL_CODE_SUCCESS},
         {kNoDigest},
         true},
        // The probe fails: no retry is asked for.
        {"missing file", L"/nothing/here.bin", {DL_CODE_START, DL_CODE_FAIL}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Owner owner;
        owner.Make(FaultServerUrl(c.path), Target());
        ASSERT_TRUE(owner.Run());
        EXPECT_EQ(Outline(owner.recorder), c.outline);
        std::vector<std::wstring> notices;
        for (const RecordedEvent& event : owner.recorder.With(DL_CODE_ERROR))
            notices.push_back(event.text);
        EXPECT_EQ(notices, c.notices);
        for (const RecordedEvent& event : owner.recorder.With(DL_CODE_FAIL)) {
            EXPECT_EQ(event.value, 0.0);
            EXPECT_EQ(event.text, L"LibCurl");
        }
        EXPECT_EQ(FileExists(Target()), c.delivered);
        if (c.delivered) {
            EXPECT_TRUE(ReadBytes(Target()) == PackageServerFileBytes(L"len1048576.bin"));
        }
        ::DeleteFileW(Target().c_str());
    }
}

// A folder in the target's place: the joined file cannot be moved there, which is a
// failure and never a success that leaves no package behind.
TEST_F(MTCurlDownloaderTest, AJoinedFileThatCannotBecomeTheTargetFails) {
    ASSERT_TRUE(::CreateDirectoryW(Target().c_str(), nullptr));
    Owner owner;
    owner.Make(FaultServerUrl(L"/x/len1048576.bin"), Target());
    ASSERT_TRUE(owner.Run());
    EXPECT_EQ(Outline(owner.recorder),
              (std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_FAIL}));
    EXPECT_EQ(owner.recorder.With(DL_CODE_FAIL).at(0).value,
              static_cast<double>(CMTCurlDownloader::kRenameFailed));
    EXPECT_FALSE(FileExists(Target() + L"_0"));
    ::RemoveDirectoryW(Target().c_str());
}

TEST_F(MTCurlDownloaderTest, DestroyingARunningDownloaderStopsEveryThread) {
    // Wine keeps a network thread of its own once a transfer has been cut off, so the
    // baseline is taken after the first run; every later run must leave no more behind.
    int before = -1;
    for (const wchar_t* query :
         {L"throttle=300000", L"throttle=300000", L"stall_at=1000&stall_secs=30", L"close_after=1000"}) {
        SCOPED_TRACE(Utils::ToNarrow(query));
        std::atomic<int> afterDestruction{0};
        std::atomic<bool> destroyed{false};
        auto downloader = std::make_unique<CMTCurlDownloader>(
            [&](int32_t, double, const wchar_t*) { afterDestruction += destroyed ? 1 : 0; },
            FaultServerUrl(L"/x/big.bin?") + query, Target());
        downloader->Start();
        ::Sleep(1500);
        const ULONGLONG begin = ::GetTickCount64();
        destroyed = true;
        downloader.reset();
        EXPECT_LT(::GetTickCount64() - begin, 3000u);
        ::Sleep(500);
        EXPECT_EQ(afterDestruction, 0);
        // Ended threads leave the list a moment after they return.
        int now = ThreadsOfThisProcess();
        ASSERT_GT(now, 0);
        if (before < 0) {
            before = now;
            continue;
        }
        for (int i = 0; i < 20 && now > before; ++i) {
            ::Sleep(100);
            now = ThreadsOfThisProcess();
        }
        EXPECT_LE(now, before);
    }
}

}  // namespace
