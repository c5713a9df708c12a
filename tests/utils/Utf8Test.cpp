#include "utils/Utf8.h"

#include <gtest/gtest.h>

namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::wstring expected;
};

TEST(Utf8Test, DecodesAndReplacesInvalidSequences) {
    const DecodeCase cases[] = {
        {"ascii", "State=Success", L"State=Success"},
        {"two byte", "\xc3\xa9", L"\u00e9"},
        {"three byte", "\xe5\xae\x89", L"\u5b89"},
        {"lone continuation", "a\x80z", L"a\ufffdz"},
        {"truncated at end", "a\xe5\xae", L"a\ufffd"},
        {"overlong slash", "\xc0\xaf", L"\ufffd\ufffd"},
        {"encoded surrogate", "\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},
        {"above U+10FFFF", "\xf4\x90\x80\x80", L"\ufffd\ufffd\ufffd\ufffd"},
        {"invalid lead", "\xff", L"\ufffd"},
        {"nul kept", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utils::DecodeUtf8(c.bytes), c.expected) << c.name;
    }
}

TEST(Utf8Test, SupplementaryPlaneRoundTrips) {
    const std::string smile = "\xf0\x9f\x98\x80";
    const std::wstring wide = Utils::DecodeUtf8(smile);
    EXPECT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 2u : 1u);
    EXPECT_EQ(Utils::EncodeUtf8(wide), smile);
}

TEST(Utf8Test, LoneSurrogateEncodesAsReplacement) {
    const std::wstring lone(1, static_cast<wchar_t>(0xD800));
    EXPECT_EQ(Utils::EncodeUtf8(lone), "\xef\xbf\xbd");
}

}  // namespace
