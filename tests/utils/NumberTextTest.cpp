#include "utils/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace Utils;

namespace {

TEST(ParseLeadingIntTest, CLibraryRulesWithOverflowReported) {
    const struct {
        const wchar_t* text;
        NumberStatus status;
        int32_t value;
    } cases[] = {
        {L"3", NumberStatus::Ok, 3},
        {L"  \t-12abc", NumberStatus::Ok, -12},
        {L"+7", NumberStatus::Ok, 7},
        {L"2147483647", NumberStatus::Ok, 2147483647},
        {L"-2147483648", NumberStatus::Ok, -2147483647 - 1},
        {L"2147483648", NumberStatus::OutOfRange, 0},
        {L"99999999999", NumberStatus::OutOfRange, 0},
        {L"abc", NumberStatus::NoNumber, 0},
        {L"", NumberStatus::NoNumber, 0},
        {L"-", NumberStatus::NoNumber, 0},
        {L"\u3000"
         L"5",
         NumberStatus::NoNumber, 0},
    };
    for (const auto& c : cases) {
        const ParsedInt parsed = ParseLeadingInt(c.text);
        EXPECT_EQ(parsed.status, c.status) << c.text;
        EXPECT_EQ(parsed.value, c.value) << c.text;
    }
}

TEST(ParseLeadingDoubleTest, CLibraryRulesWithNonNumbersReported) {
    const struct {
        const wchar_t* text;
        NumberStatus status;
        double value;
    } cases[] = {
        {L"0.7", NumberStatus::Ok, 0.7},
        {L"0.5abc", NumberStatus::Ok, 0.5},
        {L"  +.25", NumberStatus::Ok, 0.25},
        {L"-1.5e1x", NumberStatus::Ok, -15.0},
        {L"2", NumberStatus::Ok, 2.0},
        {L"5.", NumberStatus::Ok, 5.0},
        {L"", NumberStatus::NoNumber, 0.0},
        {L"abc", NumberStatus::NoNumber, 0.0},
        {L"+-1", NumberStatus::NoNumber, 0.0},
        {L"1e999", NumberStatus::OutOfRange, 0.0},
        {L"-1e999", NumberStatus::OutOfRange, 0.0},
        {L"inf", NumberStatus::OutOfRange, 0.0},
        {L"nan", NumberStatus::OutOfRange, 0.0},
        {L"-INFINITY", NumberStatus::OutOfRange, 0.0},
    };
    for (const auto& c : cases) {
        const ParsedDouble parsed = ParseLeadingDouble(c.text);
        EXPECT_EQ(parsed.status, c.status) << c.text;
        EXPECT_DOUBLE_EQ(parsed.value, c.value) << c.text;
        EXPECT_TRUE(std::isfinite(parsed.value)) << c.text;
    }
}

TEST(ParseLeadingDoubleTest, HugeInputIsHandled) {
    const std::wstring digits = L"0." + std::wstring(1 << 20, L'5');
    const ParsedDouble parsed = ParseLeadingDouble(digits);
    EXPECT_EQ(parsed.status, NumberStatus::Ok);
    EXPECT_NEAR(parsed.value, 5.0 / 9.0, 1e-12);
}

}  // namespace
