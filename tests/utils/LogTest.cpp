#include "utils/Log.h"

#include <gtest/gtest.h>

#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LogCapture.h"

namespace {

TEST(FunctionTagTest, KeepsTheQualifiedName) {
    const struct {
        const char* pretty;
        const wchar_t* tag;
    } cases[] = {
        {"static unsigned int Utils::Thread::CallBack(void*)", L"Utils::Thread::CallBack"},
        {"int CurlClient::Head(const std::wstring&, std::wstring&)", L"CurlClient::Head"},
        {"std::vector<std::pair<int, int> > Foo::Bar(int) const", L"Foo::Bar"},
        {"void Utils::CheckNetwork()", L"Utils::CheckNetwork"},
        {"CDownloadInstaller::Start()::<lambda(int, double, const wchar_t*)>",
         L"CDownloadInstaller::Start::<lambda>"},
        {"void {anonymous}::LogSettings(const InstallerSettings&)", L"LogSettings"},
        {"T Utils::Get(T) [with T = int]", L"Utils::Get"},
        {"int* Foo::Pointer()", L"Foo::Pointer"},
        {"int wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)", L"wWinMain"},
        {"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utils::FunctionTag(c.pretty), c.tag) << c.pretty;
    }
}

TEST(LogTest, PrefixPadsAndPrintsWiderNumbersWhole) {
    LogCapture capture;
    Utils::WriteLog(UTILS_LOG_PREFIX_FORMAT L"THREAD BEGIN\r\n", 4312, 5120, 2024, 3, 7, 14, 2, 9, 45,
                    L"Utils::Thread::CallBack", 101);
    Utils::WriteLog(UTILS_LOG_PREFIX_FORMAT L"x", 123, 7, 2024, 12, 31, 0, 0, 0, 0, L"T", 35);
    Utils::WriteLog(UTILS_LOG_PREFIX_FORMAT L"y", 1234567, 99999999, 2024, 1, 1, 23, 59, 59, 999, L"T",
                    123456);
    ASSERT_EQ(capture.Lines().size(), 3u);
    EXPECT_EQ(capture.Lines()[0],
              L"<P04312><T05120><2024-03-07 14:02:09.045>(Utils::Thread::CallBack)<0101>: THREAD BEGIN\r\n");
    EXPECT_EQ(capture.Lines()[1], L"<P00123><T00007><2024-12-31 00:00:00.000>(T)<0035>: x");
    EXPECT_EQ(capture.Lines()[2], L"<P1234567><T99999999><2024-01-01 23:59:59.999>(T)<123456>: y");
}

// The prefix of a line written here and now, up to the source line.
std::wstring PrefixPattern(const wchar_t* tag) {
    const Utils::LogStamp stamp = Utils::CurrentLogStamp();
    wchar_t ids[64];
    std::swprintf(ids, 64, L"<P%05u><T%05u>", static_cast<unsigned>(stamp.processId),
                  static_cast<unsigned>(stamp.threadId));
    return std::wstring(L"^") + ids + L"<\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}>\\(" + tag +
           L"\\)<\\d{4,}>: ";
}

TEST(LogTest, StatementFormsCarryTheSitesTagAndLine) {
    LogCapture capture;
    UTILS_LOG_LINE(L"THREAD END");
    const int lineEndLine = __LINE__ - 1;
    UTILS_LOG(L"GetConnectivity %d", 0);
    UTILS_LOG(L"DL_TYPE=%d\r\n", 3);
    ASSERT_EQ(capture.Lines().size(), 3u);
    const std::wstring prefix =
        PrefixPattern(L"[A-Za-z_]*LogTest_StatementFormsCarryTheSitesTagAndLine_Test::TestBody");
    EXPECT_TRUE(std::regex_search(capture.Lines()[0], std::wregex(prefix + L"THREAD END\r\n$")))
        << capture.Lines()[0];
    wchar_t lineField[16];
    std::swprintf(lineField, 16, L")<%04d>: ", lineEndLine);
    EXPECT_NE(capture.Lines()[0].find(lineField), std::wstring::npos) << capture.Lines()[0];
    EXPECT_TRUE(std::regex_search(capture.Lines()[1], std::wregex(prefix + L"GetConnectivity 0$")))
        << capture.Lines()[1];
    EXPECT_TRUE(std::regex_search(capture.Lines()[2], std::wregex(prefix + L"DL_TYPE=3\r\n$")))
        << capture.Lines()[2];
}

TEST(LogTest, LongMessageIsWrittenWhole) {
    LogCapture capture;
    const std::wstring url = L"http://127.0.0.1/" + std::wstring(10 * 1024, L'u');
    UTILS_LOG_LINE(L"Download File real url %s", url.c_str());
    ASSERT_EQ(capture.Lines().size(), 1u);
    const std::wstring line = capture.Lines()[0];
    ASSERT_GE(line.size(), url.size());
    EXPECT_EQ(line.substr(line.size() - url.size() - 2), url + L"\r\n");
}

TEST(LogTest, LinesFromManyThreadsNeverInterleave) {
    LogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                UTILS_LOG_LINE(L"worker %d line %d", t, i);
        });
    }
    for (auto& thread : threads)
        thread.join();
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 800u);
    const std::wregex whole(L"^<P\\d{5,}><T\\d{5,}><[^>]+>\\([^)]+\\)<\\d{4,}>: worker [0-3] line \\d+\r\n$");
    for (const auto& line : lines)
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
}

TEST(LogTest, UnformattableLineIsDropped) {
    LogCapture capture;
    Utils::WriteLog(L"broken %");
    EXPECT_TRUE(capture.Lines().empty());
}

}  // namespace
