#include <windows.h>

#include <gtest/gtest.h>

#include "utils/TextConversion.h"

namespace {

TEST(TextConversionWinTest, CodePagesOfTheSystem) {
    EXPECT_EQ(Utils::ToWide("", 0), L"");
    EXPECT_EQ(Utils::ToNarrow(L"THREAD BEGIN", 0), "THREAD BEGIN");
    // GBK, a code page child installers write in.
    EXPECT_EQ(Utils::ToWide("\xc1\xa2\xbc\xb4\xb0\xb2\xd7\xb0", 936), L"立即安装");
    EXPECT_EQ(Utils::ToNarrow(L"立即安装", 936), "\xc1\xa2\xbc\xb4\xb0\xb2\xd7\xb0");
    EXPECT_EQ(Utils::ToWide("a\xff"
                            "b",
                            Utils::kCodePageUtf8),
              L"a\ufffd"
              L"b");
}

TEST(TextConversionWinTest, UnknownCodePageGivesEmptyText) {
    EXPECT_EQ(Utils::ToWide("abc", 12345), L"");
    EXPECT_EQ(Utils::ToNarrow(L"abc", 12345), "");
}

TEST(TextConversionWinTest, LargeTextConvertsWhole) {
    const std::string big(4 << 20, 'x');
    EXPECT_EQ(Utils::ToWide(big, Utils::kCodePageUtf8).size(), big.size());
}

}  // namespace
