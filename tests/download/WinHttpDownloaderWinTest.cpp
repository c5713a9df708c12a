// The WinHTTP downloader against nginx and the fault-injecting server, under Wine's (or
// Windows') real WinHTTP: events, files on disk, and what the server saw.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/WinHttpClient.h"
#include "download/WinHttpDownloader.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/PackageServer.h"
#include "tests/support/TempFolder.h"
#include "utils/TextConversion.h"

namespace {

using namespace std::chrono_literals;

// Far beyond any healthy run here; only a hang reaches it.
constexpr auto kEndDeadline = 120s;

std::string ReadAll(const std::wstring& path) {
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    std::vector<char> block(1 << 16);
    DWORD read = 0;
    while (::ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &read, nullptr) && read > 0)
        bytes.append(block.data(), read);
    ::CloseHandle(file);
    return bytes;
}

bool IsEnd(int32_t code) {
    return code == DL_CODE_SUCCESS || code == DL_CODE_FAIL;
}

// Waits until the recorder holds a final event (or the deadline passes) and returns all.
std::vector<RecordedEvent> WaitForEnd(const EventRecorder& recorder) {
    const auto deadline = std::chrono::steady_clock::now() + kEndDeadline;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto events = recorder.Events();
        if (!events.empty() && IsEnd(events.back().code))
            return events;
        std::this_thread::sleep_for(20ms);
    }
    return recorder.Events();
}

// A query value no earlier request carried, for faults the server counts per query.
std::wstring UniqueToken() {
    return L"&t=" + Utils::NewGuidText();
}

std::vector<FaultLogEntry> RequestsFor(const std::string& queryPart) {
    std::vector<FaultLogEntry> found;
    for (const auto& entry : ReadFaultServerLog()) {
        if (entry.query.find(queryPart) != std::string::npos)
            found.push_back(entry);
    }
    return found;
}

// Gets the events of one downloader run to its end.
std::vector<RecordedEvent> Download(const std::wstring& url, const std::wstring& target) {
    EventRecorder recorder;
    WinHttpDownloader downloader(recorder.Callback(), url, target);
    downloader.Start();
    return WaitForEnd(recorder);
}

void ExpectWellFormedSuccess(const std::vector<RecordedEvent>& events) {
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front().code, DL_CODE_START);
    EXPECT_EQ(events.front().value, 1.0);
    EXPECT_EQ(events.front().text, L"");
    EXPECT_EQ(events.back().code, DL_CODE_SUCCESS);
    EXPECT_EQ(events.back().value, 0.0);
    EXPECT_EQ(events.back().text, L"WinHttp");
    double previous = 0.0;
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].code, DL_CODE_PROGRESS) << "event " << i;
        EXPECT_GT(events[i].value, previous) << "progress goes forward";
        EXPECT_LE(events[i].value, 1.0);
        previous = events[i].value;
    }
}

size_t ProgressCount(const std::vector<RecordedEvent>& events) {
    size_t count = 0;
    for (const auto& event : events)
        count += event.code == DL_CODE_PROGRESS ? 1 : 0;
    return count;
}

enum class Progress { Some, None, Any };

struct SuccessCase {
    const char* name;
    bool nginx;
    std::wstring pathAndQuery;
    std::wstring servedFile;
    Progress progress;
};

class WinHttpDownloaderTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::wstring target = folder.Join(L"__Package_Lumivane.exe");
};

TEST_F(WinHttpDownloaderTest, DeliversTheServedBytesWithStartProgressSuccess) {
    const std::vector<SuccessCase> cases = {
        {"fault server, distributor's redirect", false, L"/software/155", L"package.bin", Progress::Any},
        {"nginx, distributor's redirect", true, L"/software/155", L"package.bin", Progress::Any},
        {"one byte below 1 MiB", false, L"/len1048575.bin", L"len1048575.bin", Progress::Any},
        {"exactly 1 MiB", false, L"/len1048576.bin", L"len1048576.bin", Progress::Any},
        {"small file", true, L"/small.bin", L"small.bin", Progress::Any},
        // Paced to last about three seconds, so that progress must have been reported...
        {"known length, paced", false, L"/package.bin?throttle=1700000", L"package.bin", Progress::Some},
        // ...and with no length to relate it to, never.
        {"no Content-Length, paced", false, L"/package.bin?no_length=1&throttle=1700000", L"package.bin",
         Progress::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring url = c.nginx ? NginxUrl(c.pathAndQuery) : FaultServerUrl(c.pathAndQuery);
        const auto events = Download(url, target);
        ExpectWellFormedSuccess(events);
        const std::string expected = ReadAll(PackageServerFile(c.servedFile));
        ASSERT_GT(expected.size(), 100u) << "the served file is readable";
        EXPECT_TRUE(ReadAll(target) == expected) << "byte-identical";
        if (c.progress == Progress::Some) {
            EXPECT_GE(ProgressCount(events), 1u);
        }
        if (c.progress == Progress::None) {
            EXPECT_EQ(ProgressCount(events), 0u);
        }
    }
}

TEST_F(WinHttpDownloaderTest, ProgressComesAtMostOncePerClockSecond) {
    EventRecorder recorder;
    std::vector<std::chrono::steady_clock::time_point> times;
    std::mutex timesMutex;
    auto record = recorder.Callback();
    WinHttpDownloader downloader(
        [&](int32_t code, double value, const wchar_t* text) {
            if (code == DL_CODE_PROGRESS) {
                std::lock_guard<std::mutex> lock(timesMutex);
                times.push_back(std::chrono::steady_clock::now());
            }
            record(code, value, text);
        },
        FaultServerUrl(L"/package.bin?throttle=1200000"), target);
    downloader.Start();
    const auto events = WaitForEnd(recorder);
    ExpectWellFormedSuccess(events);
    std::lock_guard<std::mutex> lock(timesMutex);
    ASSERT_GE(times.size(), 2u);
    // About four seconds of body: far fewer reports than reads, one per second of clock.
    EXPECT_LE(times.size(), 6u);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i] - times[i - 1], 10ms) << "two reports in one burst";
}

TEST_F(WinHttpDownloaderTest, StaleTargetFileIsReplacedNotExtended) {
    WriteBytes(target, std::string(7000, 'x'));
    const auto events = Download(FaultServerUrl(L"/small.bin"), target);
    ExpectWellFormedSuccess(events);
    EXPECT_TRUE(ReadAll(target) == ReadAll(PackageServerFile(L"small.bin")));
}

struct FailureCase {
    const char* name;
    std::wstring pathAndQuery;
    double failValue;  // 0 means: some system error, not an HTTP status
    size_t requests;   // how many the server must have seen
};

// Whatever goes wrong, the last event says so with the status or the system error, and
// nothing (not even the stale file) is left where the package would be.
TEST_F(WinHttpDownloaderTest, FailuresReportTheCauseAndLeaveNoFile) {
    const double badResponse = ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    const std::vector<FailureCase> cases = {
        {"404 is final at once", L"/package.bin?status=404", 404, 1},
        {"500 on every request", L"/package.bin?status=500", 500, 3},
        {"closed after 1,000 body bytes", L"/package.bin?close_after=1000", badResponse, 3},
        {"closed at 50%", L"/package.bin?close_after=2500000", badResponse, 3},
        {"closed one byte short", L"/package.bin?close_after=4999999", badResponse, 3},
        {"a length larger than the body", L"/small.bin?fake_length=6000000", badResponse, 3},
        {"a 10 GiB length", L"/small.bin?fake_length=10737418240", badResponse, 3},
        {"gzip body we never asked for", L"/package.bin?gzip=1", badResponse, 3},
        {"closed before the headers", L"/package.bin?close_before_headers=1", 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(target, "stale package");
        const std::wstring token = UniqueToken();
        const auto events = Download(FaultServerUrl(c.pathAndQuery + token), target);
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events.front().code, DL_CODE_START);
        EXPECT_EQ(events.back().code, DL_CODE_FAIL);
        EXPECT_EQ(events.back().text, L"WinHttp");
        if (c.failValue != 0) {
            EXPECT_EQ(events.back().value, c.failValue);
        } else {
            EXPECT_GT(events.back().value, 0.0);
            EXPECT_FALSE(events.back().value >= 100 && events.back().value < 600) << "not an HTTP status";
        }
        for (const auto& event : events)
            EXPECT_NE(event.code, DL_CODE_SUCCESS);
        EXPECT_FALSE(FileExists(target));
        EXPECT_EQ(RequestsFor(Utils::ToNarrow(token.substr(1), Utils::kCodePageUtf8)).size(), c.requests);
    }
}

TEST_F(WinHttpDownloaderTest, TransientFailuresAreOutlastedByTheThirdAttempt) {
    const std::wstring token = UniqueToken();
    const auto events = Download(FaultServerUrl(L"/software/155?fail_first=2" + token), target);
    ExpectWellFormedSuccess(events);
    EXPECT_TRUE(ReadAll(target) == ReadAll(PackageServerFile(L"package.bin")));
    std::vector<int> statuses;
    for (const auto& entry : RequestsFor(Utils::ToNarrow(token.substr(1), Utils::kCodePageUtf8)))
        statuses.push_back(entry.status);
    // Two refusals, then the distributor's redirect and the package.
    EXPECT_EQ(statuses, (std::vector<int>{503, 503, 302, 200}));
}

TEST_F(WinHttpDownloaderTest, RedirectLoopFailsWithoutHanging) {
    const auto events = Download(FaultServerUrl(L"/software/155?redirect_loop=1" + UniqueToken()), target);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, DL_CODE_FAIL);
    EXPECT_EQ(events.back().value, static_cast<double>(ERROR_WINHTTP_REDIRECT_FAILED));
    EXPECT_FALSE(FileExists(target));
}

TEST_F(WinHttpDownloaderTest, BadAddressesAndTargetsFailBeforeAnyTransfer) {
    struct Case {
        const char* name;
        std::wstring url;
        std::wstring target;
        double failValue;
        std::wstring text;
    };
    const std::wstring missingFolder = folder.Join(L"no such folder\\__Package_Lumivane.exe");
    const std::vector<Case> cases = {
        {"empty target path", FaultServerUrl(L"/small.bin"), L"", 1.0, L""},
        {"empty address", L"", target, ERROR_PATH_NOT_FOUND, L"WinHttp"},
        {"not an address", L"package.bin", target, ERROR_WINHTTP_UNRECOGNIZED_SCHEME, L"WinHttp"},
        {"file address", L"file:///C:/windows/win.ini", target, ERROR_WINHTTP_UNRECOGNIZED_SCHEME,
         L"WinHttp"},
        {"target folder missing", FaultServerUrl(L"/small.bin"), missingFolder, ERROR_PATH_NOT_FOUND,
         L"WinHttp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto events = Download(c.url, c.target);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].code, DL_CODE_START);
        EXPECT_EQ(events[1].code, DL_CODE_FAIL);
        EXPECT_EQ(events[1].value, c.failValue);
        EXPECT_EQ(events[1].text, c.text);
        if (!c.target.empty()) {
            EXPECT_FALSE(FileExists(c.target));
        }
    }
}

TEST_F(WinHttpDownloaderTest, VeryLongAddressReachesTheServerWhole) {
    const std::wstring padding(5000, L'a');
    const std::wstring token = UniqueToken();
    const auto events = Download(FaultServerUrl(L"/small.bin?pad=" + padding + token), target);
    ExpectWellFormedSuccess(events);
    const auto requests = RequestsFor(std::string(5000, 'a') + Utils::ToNarrow(token, Utils::kCodePageUtf8));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/small.bin");
}

TEST_F(WinHttpDownloaderTest, UnreachableServerFailsWithTheSystemError) {
    // Port 1 of the loopback address: nothing listens there.
    const std::wstring url = L"http://127.0.0.1:1/package.bin";

    const auto events = Download(url, target);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].code, DL_CODE_FAIL);
    EXPECT_EQ(events[1].value, static_cast<double>(ERROR_WINHTTP_CANNOT_CONNECT));
}

TEST_F(WinHttpDownloaderTest, FailedTlsHandshakeIsAFailure) {
    // The fault server speaks no TLS: the handshake fails, and nothing may be taken for
    // the package.
    const auto events = Download(L"https" + FaultServerUrl(L"/small.bin").substr(4), target);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, DL_CODE_FAIL);
    EXPECT_FALSE(FileExists(target));
}

// The owner may go away mid-transfer: the worker is stopped and joined, no final event
// reaches a dead owner, and no partial package stays behind.
TEST_F(WinHttpDownloaderTest, DestroyingWhileRunningStopsPromptly) {
    struct Case {
        const char* name;
        std::wstring pathAndQuery;
    };
    const std::vector<Case> cases = {
        {"paced body, about a minute long", L"/package.bin?throttle=80000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventRecorder recorder;
        auto downloader = std::make_unique<WinHttpDownloader>(
            recorder.Callback(), FaultServerUrl(c.pathAndQuery + UniqueToken()), target);
        downloader->Start();
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!FileExists(target) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        std::this_thread::sleep_for(1200ms);
        ASSERT_TRUE(FileExists(target)) << "the body had begun";
        const auto before = std::chrono::steady_clock::now();
        downloader.reset();
        // A correctness bound, not a speed figure: the transfer itself would run far longer.
        EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
        for (const auto& event : recorder.Events())
            EXPECT_FALSE(IsEnd(event.code));
        EXPECT_FALSE(FileExists(target));
    }
}

TEST_F(WinHttpDownloaderTest, StartingAgainRunsAWholeNewAttempt) {
    EventRecorder recorder;
    WinHttpDownloader downloader(recorder.Callback(), FaultServerUrl(L"/small.bin"), target);
    downloader.Start();
    ASSERT_EQ(WaitForEnd(recorder).back().code, DL_CODE_SUCCESS);
    WriteBytes(target, "changed by someone");
    downloader.Start();
    const auto deadline = std::chrono::steady_clock::now() + kEndDeadline;
    while (recorder.With(DL_CODE_SUCCESS).size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(recorder.With(DL_CODE_START).size(), 2u);
    EXPECT_EQ(recorder.With(DL_CODE_SUCCESS).size(), 2u);
    EXPECT_TRUE(ReadAll(target) == ReadAll(PackageServerFile(L"small.bin")));
}

TEST_F(WinHttpDownloaderTest, OwnerMayStartAgainFromInsideTheFailureEvent) {
    EventRecorder recorder;
    auto record = recorder.Callback();
    WinHttpDownloader* self = nullptr;
    std::atomic<int> failures{0};
    WinHttpDownloader downloader(
        [&](int32_t code, double value, const wchar_t* text) {
            record(code, value, text);
            if (code == DL_CODE_FAIL && ++failures == 1)
                self->Start();  // on the downloader's own worker
        },
        FaultServerUrl(L"/small.bin?status=404"), target);
    self = &downloader;
    downloader.Start();
    const auto deadline = std::chrono::steady_clock::now() + kEndDeadline;
    while (failures < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(failures, 2);
    EXPECT_EQ(recorder.With(DL_CODE_START).size(), 2u);
}

// The client on its own: the parts of a request the downloader does not vary.
TEST(WinHttpClientTest, VerbsAndTimeouts) {
    TempFolder folder;
    const std::wstring target = folder.Join(L"body.bin");
    {
        SCOPED_TRACE("lower-case get is a GET");
        WinHttpClient client(FaultServerUrl(L"/small.bin"));
        client.responseFilePath = target;
        EXPECT_TRUE(client.Request(L"get"));
        EXPECT_TRUE(ReadAll(target) == ReadAll(PackageServerFile(L"small.bin")));
    }
    {
        SCOPED_TRACE("PUT is refused before any connection");
        const std::wstring token = UniqueToken();
        WinHttpClient client(FaultServerUrl(L"/small.bin?x=1" + token));
        EXPECT_FALSE(client.Request(L"PUT"));
        EXPECT_EQ(client.lastError, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
        EXPECT_TRUE(RequestsFor(Utils::ToNarrow(token.substr(1), Utils::kCodePageUtf8)).empty());
    }
    {
        SCOPED_TRACE("a stalled body ends by the receive timeout");
        const std::wstring token = UniqueToken();
        WinHttpClient client(FaultServerUrl(L"/package.bin?stall_at=1000&stall_secs=2" + token));
        client.receiveTimeout = 500;
        client.responseFilePath = target;
        EXPECT_FALSE(client.Request(L"GET"));
        // Wine passes on the socket's own code for the same timeout.
        EXPECT_TRUE(client.lastError == ERROR_WINHTTP_TIMEOUT || client.lastError == WSAETIMEDOUT)
            << client.lastError;
        EXPECT_FALSE(FileExists(target));
        // The server writes its line when the stall is over.
        std::this_thread::sleep_for(2500ms);
        EXPECT_EQ(RequestsFor(Utils::ToNarrow(token.substr(1), Utils::kCodePageUtf8)).size(), 3u);
    }
}

}  // namespace
