// The package digest taken from the address, and how it is compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "download/Md5.h"

namespace {

const std::string kDigest = "0123456789abcdef0123456789abcdef";

TEST(Md5UrlTest, DigestIsTheSecondToLastPathSegment) {
    struct Case {
        std::string address;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"package.bin", ""},
        {"/package.bin", ""},
        {"a/package.bin", ""},
        {"http://host/" + kDigest + "/package.bin", kDigest},
        {"http://host/x/" + kDigest + "/package.bin", kDigest},
        {"http://host/" + kDigest + "/package.bin?close_after=10", kDigest},
        // A "/" in the query is not a path separator.
        {"http://host/" + kDigest + "/package.bin?next=/a/b", kDigest},
        {"http://host/" + kDigest + "/package.bin#part/2", kDigest},
        {"http://host/package.bin", "host"},
        {"http://host/" + kDigest + "/", kDigest},
        {"file:///Z:/files/package.bin", "files"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetUrlMd5(c.address), c.expected) << c.address;
    }
}

TEST(Md5UrlTest, OnlyThirtyTwoCharactersCountAsADigestAndCapitalsNeverMatch) {
    struct Case {
        std::string expected;
        std::string computed;
        bool digestText;
        bool mismatch;
    };
    const std::string upper = "0123456789ABCDEF0123456789ABCDEF";
    const std::vector<Case> cases = {
        {kDigest, kDigest, true, false},
        {upper, kDigest, true, true},
        {kDigest, "ffffffffffffffffffffffffffffffff", true, true},
        // An unreadable file gives no digest: treated as a match, not as a retry.
        {kDigest, "", true, false},
        {kDigest.substr(1), kDigest, false, true},
        {kDigest + "0", kDigest, false, true},
        {"", kDigest, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsDigestText(c.expected), c.digestText) << c.expected;
        EXPECT_EQ(DigestMismatch(c.expected, c.computed), c.mismatch) << c.expected << " / " << c.computed;
    }
}

}  // namespace
