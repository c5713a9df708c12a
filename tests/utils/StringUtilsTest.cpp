#include "utils/StringUtils.h"

#include <gtest/gtest.h>

#include "utils/TextConversion.h"

namespace {

TEST(TrimTest, RemovesCWhitespaceOnly) {
    EXPECT_EQ(Utils::Trim(L" \t \t  "), L"");
    EXPECT_EQ(Utils::Trim(L"\r\n Progress=0.5 \v\f"), L"Progress=0.5");
    EXPECT_EQ(Utils::TrimLeft(L"  a b  "), L"a b  ");
    EXPECT_EQ(Utils::TrimRight(L"  a b  "), L"  a b");
    // An ideographic space is above 255 and so is no whitespace.
    EXPECT_EQ(Utils::Trim(L"x\u3000"), L"x\u3000");
    EXPECT_EQ(Utils::Trim(L"\u00a0x"), L"\u00a0x");
    EXPECT_EQ(Utils::Trim(L""), L"");
}

TEST(ReplaceAllTest, ReplacesEveryOccurrence) {
    EXPECT_EQ(Utils::ReplaceAll(L"http://h/${ROUTE}/a/${ROUTE}/b", L"${ROUTE}", L"download_silent"),
              L"http://h/download_silent/a/download_silent/b");
    EXPECT_EQ(Utils::ReplaceAll(L"res\\mainWnd\\bg.png", L"\\", L"/"), L"res/mainWnd/bg.png");
    EXPECT_EQ(Utils::ReplaceAll(L"no placeholder", L"${ROUTE}", L"x"), L"no placeholder");
}

TEST(ReplaceAllTest, EndsOnDegenerateInput) {
    EXPECT_EQ(Utils::ReplaceAll(L"abc", L"", L"x"), L"abc");
    // A replacement that contains the pattern is not rescanned.
    EXPECT_EQ(Utils::ReplaceAll(L"aXa", L"a", L"aa"), L"aaXaa");
}

TEST(StartsWithTest, OnlyAtPositionZero) {
    EXPECT_TRUE(Utils::StartsWith(L"Progress=0.5", L"Progress="));
    EXPECT_FALSE(Utils::StartsWith(L" Progress=0.5", L"Progress="));
    EXPECT_FALSE(Utils::StartsWith(L"Prog", L"Progress="));
}

TEST(GuidTextTest, FormatsGroupsWithTheirCase) {
    const uint8_t tail[8] = {0xab, 0xcd, 0x01, 0x23, 0x45, 0x67, 0x89, 0xef};
    EXPECT_EQ(Utils::FormatGuidText(0x0123abcd, 0xbeef, 0xcafe, tail), L"0123ABCDBEEFcafeABCD0123456789EF");
}

TEST(GuidTextTest, NewGuidTextIs32HexDigitsAndUnique) {
    const std::wstring first = Utils::NewGuidText();
    ASSERT_EQ(first.size(), 32u);
    for (size_t i = 0; i < first.size(); ++i) {
        const wchar_t c = first[i];
        const bool lowerGroup = i >= 12 && i < 16;
        const bool hexDigit =
            (c >= L'0' && c <= L'9') || (lowerGroup ? (c >= L'a' && c <= L'f') : (c >= L'A' && c <= L'F'));
        EXPECT_TRUE(hexDigit) << "position " << i;
    }
    EXPECT_NE(first, Utils::NewGuidText());
}

TEST(DecimalTextTest, NoSignNoPadding) {
    EXPECT_EQ(Utils::DecimalText(0), L"0");
    EXPECT_EQ(Utils::DecimalText(4120), L"4120");
    EXPECT_EQ(Utils::DecimalTextNarrow(4294967295u), "4294967295");
}

TEST(TextConversionTest, Utf8BothWays) {
    EXPECT_EQ(Utils::ToWide("", Utils::kCodePageUtf8), L"");
    EXPECT_EQ(Utils::ToWide("\xe7\xab\x8b\xe5\x8d\xb3\xe5\xae\x89\xe8\xa3\x85", Utils::kCodePageUtf8),
              L"立即安装");
    EXPECT_EQ(Utils::ToNarrow(L"立即安装", Utils::kCodePageUtf8),
              "\xe7\xab\x8b\xe5\x8d\xb3\xe5\xae\x89\xe8\xa3\x85");
    // Text ends at its first null, as with the system converters.
    EXPECT_EQ(Utils::ToWide(std::string("ab\0cd", 5), Utils::kCodePageUtf8), L"ab");
    EXPECT_EQ(Utils::ToNarrow(L"", Utils::kCodePageAnsi), "");
}

}  // namespace
