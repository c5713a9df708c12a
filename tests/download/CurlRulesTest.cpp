// The pure rules of the single-stream download: the retry budget, which lengths and which
// resumed answers are accepted, and the progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "download/CurlRules.h"

namespace {

// How many transfers a run of results gets and with which result it ends, as the
// downloader's loop spends the budget: the first transfer is free, each failure pays.
struct BudgetRun {
    int transfers;
    int last;
};

BudgetRun RunBudget(const std::vector<int>& results) {
    CurlRules::RetryBudget budget;
    int transfers = 0;
    auto transfer = [&] {
        const size_t index = std::min(static_cast<size_t>(transfers), results.size() - 1);
        ++transfers;
        return results[index];
    };
    int result = transfer();
    while (result != 0) {
        if (!budget.Spend(result))
            return {transfers, result};
        result = transfer();
    }
    return {transfers, 0};
}

TEST(CurlRulesTest, RetryBudgetCountsEarlyEndsOnceAndEverythingElseTwice) {
    struct Case {
        const char* name;
        std::vector<int> results;  // the last repeats forever
        int transfers;
        int last;
    };
    const std::vector<Case> cases = {
        {"timeout every time", {28}, 6, 28},
        {"early end every time", {18}, 12, 18},
        {"http error every time", {22}, 6, 22},
        {"length refused every time", {-998}, 6, -998},
        {"18 28 18 then success", {18, 28, 18, 0}, 4, 0},
        {"first transfer succeeds", {0}, 1, 0},
        {"ten early ends then success", {18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 0}, 11, 0},
        {"eleven early ends then success", {18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 0}, 12, 0},
        {"five timeouts then success", {28, 28, 28, 28, 28, 0}, 6, 0},
        {"six timeouts: the sixth is the last", {28, 28, 28, 28, 28, 28, 0}, 6, 28},
        {"mixed until spent: 12 -> 10 9 7 6 4 3 1 -1", {28, 18, 28, 18, 28, 18, 28}, 8, 28},
    };
    for (const Case& c : cases) {
        const BudgetRun run = RunBudget(c.results);
        EXPECT_EQ(run.transfers, c.transfers) << c.name;
        EXPECT_EQ(run.last, c.last) << c.name;
    }
}

TEST(CurlRulesTest, LengthsOutsideOneMebibyteToTwoGibibytesAreRefused) {
    struct Case {
        double length;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {-1.0, false},         {0.0, false},           {1048575.0, false},
        {1048576.0, true},     {5000000.0, true},      {2147483647.0, true},
        {2147483648.0, false}, {10737418240.0, false},  // a claimed 10 GiB
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CurlRules::IsAcceptedLength(c.length), c.accepted) << c.length;
    }
}

TEST(CurlRulesTest, ContentRangeStartReadsOnlyWellFormedRanges) {
    struct Case {
        std::string value;
        std::optional<int64_t> start;
    };
    const std::vector<Case> cases = {
        {"bytes 0-99/100", 0},
        {"bytes 300000-4999999/5000000", 300000},
        {"bytes 5-9/*", 5},
        {"bytes 4294967296-4294967297/4294967298", 4294967296LL},
        {"bytes */5000000", std::nullopt},
        {"bytes -5/10", std::nullopt},
        {"bytes 12", std::nullopt},
        {"bytes ", std::nullopt},
        {"items 0-9/10", std::nullopt},
        {"", std::nullopt},
        {"bytes 99999999999999999999999-1/2", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CurlRules::ContentRangeStart(c.value), c.start) << c.value;
    }
}

TEST(CurlRulesTest, OnlyAnAnswerThatContinuesTheSideFileIsWritten) {
    struct Case {
        const char* name;
        long status;
        std::optional<int64_t> rangeStart;
        int64_t resumeFrom;
        bool fits;
    };
    const std::vector<Case> cases = {
        {"fresh transfer, whole file", 200, std::nullopt, 0, true},
        {"fresh transfer, no side file size", 200, std::nullopt, -1, true},
        {"fresh transfer, range from zero", 206, 0, 0, true},
        {"fresh transfer, range elsewhere", 206, 10, 0, false},
        {"resume answered exactly", 206, 300000, 300000, true},
        {"resume answered with the whole file", 200, std::nullopt, 300000, false},
        {"resume answered with another range", 206, 299999, 300000, false},
        {"resume answered 206 without a range", 206, std::nullopt, 300000, false},
        {"resume refused", 416, std::nullopt, 300000, false},
        {"a file address", 0, std::nullopt, 300000, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CurlRules::AnswerFitsSideFile(c.status, c.rangeStart, c.resumeFrom), c.fits) << c.name;
    }
}

TEST(CurlRulesTest, UnsatisfiableIsARefusalUnlessTheSideFileIsComplete) {
    struct Case {
        const char* name;
        int result;
        long status;
        int64_t resumeFrom;
        int64_t sideFileSize;
        int expected;
    };
    const std::vector<Case> cases = {
        {"complete side file, reported as 22", 22, 416, 5000000, 5000000, 0},
        {"complete side file, reported as success", 0, 416, 5000000, 5000000, 0},
        {"side file one byte short", 22, 416, 4999999, 4999999, 33},
        {"side file longer than the package", 22, 416, 5000001, 5000001, 33},
        {"416 without a resume is an ordinary error", 22, 416, 0, 0, 22},
        {"another error status", 22, 404, 300000, 300000, 22},
        {"a broken connection", 18, 416, 300000, 300000, 18},
        {"a normal end", 0, 206, 300000, 5000000, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            CurlRules::ResultAfterUnsatisfiable(c.result, c.status, c.resumeFrom, c.sideFileSize, 5000000.0),
            c.expected)
            << c.name;
    }
}

TEST(CurlRulesTest, ProgressCountsTheSideFileWhenTheLengthIsKnown) {
    struct Case {
        const char* name;
        double fileLength;
        int64_t resumeFrom;
        int64_t now;
        int64_t total;
        double percent;
    };
    const std::vector<Case> cases = {
        {"known length, fresh", 2000000.0, 0, 500000, 2000000, 25.0},
        {"known length, resumed", 2000000.0, 1000000, 500000, 1000000, 75.0},
        {"known length, side file unknown", 2000000.0, -1, 500000, 2000000, 25.0},
        {"known length, nothing yet", 2000000.0, 0, 0, 0, 0.0},
        // At exactly 1 MiB the library's own totals are used (they cover the rest only).
        {"one mebibyte, library totals", 1048576.0, 524288, 262144, 524288, 50.0},
        {"one mebibyte, no total yet", 1048576.0, 0, 100, 0, 0.0},
        {"one mebibyte, nothing received", 1048576.0, 0, 0, 1048576, 0.0},
        {"unknown length", -1.0, 0, 10, 40, 25.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(CurlRules::ProgressPercent(c.fileLength, c.resumeFrom, c.now, c.total), c.percent)
            << c.name;
    }
}

}  // namespace
