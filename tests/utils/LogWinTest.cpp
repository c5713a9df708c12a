#include <gtest/gtest.h>

#include <regex>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

namespace {

// A line written in another process arrives on the debug output channel whole, with that
// process's id and the thread that wrote it.
TEST(LogWinTest, LinesReachTheDebugOutputChannel) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring message = L"hello from the child " + std::wstring(3000, L'z');
    const ChildResult child = RunChild(self, Quoted(self) + L" --log-line \"" + message + L"\"");
    ASSERT_TRUE(child.started);
    EXPECT_EQ(child.ExitCode(), 0);
    const std::wstring line = child.LineWith(L"hello from the child");
    ASSERT_FALSE(line.empty());
    // libstdc++'s regex recurses per character: match the prefix only, compare the rest.
    const std::wregex prefix(
        L"^<P(\\d{5,})><T(\\d{5,})><\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}>"
        L"\\(LogLine\\)<\\d{4}>: ");
    std::wsmatch match;
    ASSERT_TRUE(std::regex_search(line, match, prefix)) << line.substr(0, 200);
    EXPECT_EQ(match.suffix().str(), message + L"\r\n");
    EXPECT_NE(std::stoul(match[1].str()), ::GetCurrentProcessId());
}

}  // namespace
