#include "utils/WideFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(WideFormatTest, ConversionsFollowThisProgramsConventions) {
    EXPECT_EQ(Utils::FormatWide(L"%s=%d", L"Progress", 42), L"Progress=42");
    EXPECT_EQ(Utils::FormatWide(L"<P%05d>", 123), L"<P00123>");
    EXPECT_EQ(Utils::FormatWide(L"<P%05d>", 1234567), L"<P1234567>");
    EXPECT_EQ(Utils::FormatWide(L"%ld|%lld|%I64d", 7L, -9000000000LL, 5LL), L"7|-9000000000|5");
    EXPECT_EQ(Utils::FormatWide(L"%f%%", 12.5), L"12.500000%");
    EXPECT_EQ(Utils::FormatWide(L"[%-4s|%4s|%.2s]", L"ab", L"ab", L"abcd"), L"[ab  |  ab|ab]");
    EXPECT_EQ(Utils::FormatWide(L"%hs and %s", "narrow", L"宽"), L"narrow and 宽");
    EXPECT_EQ(Utils::FormatWide(L"%c%x%X%u", L'安', 255u, 255u, 4000000000u), L"安ffFF4000000000");
    EXPECT_EQ(Utils::FormatWide(L"%*d|%-*d|", 4, 7, 3, 1), L"   7|1  |");
    EXPECT_EQ(Utils::FormatWide(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
    EXPECT_EQ(Utils::FormatWide(L"no conversions"), L"no conversions");
}

TEST(WideFormatTest, MalformedFormatsAreRefused) {
    int written = 0;
    EXPECT_EQ(Utils::FormatWide(L"%n", &written), std::nullopt);
    EXPECT_EQ(Utils::FormatWide(L"tail %"), std::nullopt);
    EXPECT_EQ(Utils::FormatWide(L"%q", 1), std::nullopt);
    EXPECT_EQ(Utils::FormatWide(nullptr), std::nullopt);
    EXPECT_EQ(written, 0);
}

TEST(WideFormatTest, LongArgumentsAreWrittenWhole) {
    const std::wstring url = L"http://127.0.0.1/" + std::wstring(20000, L'x');
    const auto text = Utils::FormatWide(L"Download File real url %s", url.c_str());
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, L"Download File real url " + url);
}

}  // namespace
