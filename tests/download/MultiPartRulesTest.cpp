// How the multi-part download splits a length, resumes a part from its file, and which
// answers it lets into a part file.
#include "download/MultiPartRules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using MultiPartRules::ByteRange;
using MultiPartRules::PartPlan;

TEST(MultiPartRulesTest, LengthsSplitIntoAtMostTwoExactRanges) {
    struct Case {
        int64_t length;
        std::vector<ByteRange> parts;
    };
    const std::vector<Case> cases = {
        {255, {}},
        {256, {{0, 255}}},
        {15000000, {{0, 14999999}}},
        {20971519, {{0, 20971518}}},
        {20971520, {{0, 10485759}, {10485760, 20971519}}},
        {25000001, {{0, 12499999}, {12500000, 25000000}}},
        {104857600, {{0, 52428799}, {52428800, 104857599}}},
        {2147483647, {{0, 1073741822}, {1073741823, 2147483646}}},
        {2147483648LL, {}},
        {-1, {}},
        {0, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MultiPartRules::SplitIntoParts(c.length), c.parts) << c.length;
        EXPECT_EQ(MultiPartRules::IsAcceptedLength(c.length), !c.parts.empty()) << c.length;
    }
}

TEST(MultiPartRulesTest, APartResumesFromWhatItsFileHolds) {
    const ByteRange second{12500000, 25000000};
    struct Case {
        ByteRange range;
        int64_t existing;
        PartPlan plan;
    };
    const std::vector<Case> cases = {
        {{0, 999}, 0, {0, 999, 0, false}},
        {{0, 999}, 300, {300, 999, 300, false}},
        // One byte short asks for exactly the last byte.
        {{0, 999}, 999, {999, 999, 999, false}},
        {{0, 999}, 1000, {1000, 999, 1000, true}},
        // A file longer than its range belongs to another layout: start over.
        {{0, 999}, 1001, {0, 999, 0, false}},
        {second, 12500000, {25000000, 25000000, 12500000, false}},
        {second, 12500001, {25000001, 25000000, 12500001, true}},
        {second, -1, {12500000, 25000000, 0, false}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MultiPartRules::PlanPart(c.range, c.existing), c.plan)
            << c.range.first << " " << c.existing;
    EXPECT_EQ(MultiPartRules::RangeText(999, 999), "999-999");
    EXPECT_EQ(MultiPartRules::RangeText(12500000, 25000000), "12500000-25000000");
}

TEST(MultiPartRulesTest, OnlyTheAskedRangeMayEnterAPartFile) {
    const ByteRange asked{100, 199};
    struct Case {
        long status;
        std::string contentRange;  // empty: no header
        bool fits;
    };
    const std::vector<Case> cases = {
        {206, "bytes 100-199/5000", true},
        {206, "bytes 100-199/*", true},
        {206, "bytes 0-99/5000", false},
        {206, "bytes 100-4999/5000", false},
        {206, "bytes 101-199/5000", false},
        {206, "bytes */5000", false},
        {206, "", false},
        {206, "bytes 100-199", false},
        {206, "items 100-199/5000", false},
        {200, "bytes 100-199/5000", false},
        {200, "", false},
        {416, "bytes */5000", false},
        {0, "", true},
    };
    for (const Case& c : cases) {
        const std::optional<ByteRange> range =
            c.contentRange.empty() ? std::nullopt : MultiPartRules::ParseContentRange(c.contentRange);
        EXPECT_EQ(MultiPartRules::AnswerFitsPart(c.status, range, asked), c.fits)
            << c.status << " " << c.contentRange;
    }
    EXPECT_EQ(MultiPartRules::ParseContentRange("bytes 5-4/10"), std::nullopt);
    EXPECT_EQ(MultiPartRules::ParseContentRange("bytes 99999999999999999999-1/10"), std::nullopt);
}

TEST(MultiPartRulesTest, PercentCountsEveryPartOnDisk) {
    EXPECT_DOUBLE_EQ(MultiPartRules::PercentDone(1000, {250, 0}), 25.0);
    EXPECT_DOUBLE_EQ(MultiPartRules::PercentDone(1000, {500, 250}), 75.0);
    EXPECT_DOUBLE_EQ(MultiPartRules::PercentDone(1000, {-5, 100}), 10.0);
    EXPECT_DOUBLE_EQ(MultiPartRules::PercentDone(0, {100}), 0.0);
    EXPECT_DOUBLE_EQ(MultiPartRules::PercentDone(1000, {}), 0.0);
}

}  // namespace
