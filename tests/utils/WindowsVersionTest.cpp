#include "utils/WindowsVersion.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsVersionLabelTest, WholeTable) {
    const struct {
        uint32_t major, minor, build;
        bool r2;
        const wchar_t* label;
    } cases[] = {
        {0, 0, 0, false, L"XP-"},
        {3, 51, 1057, false, L"XP-"},
        {4, 9, 0, false, L"XP-"},
        {5, 0, 2195, false, L"2K"},
        {5, 1, 2600, false, L"XP"},
        {5, 2, 3790, false, L"Server 2003"},
        {5, 2, 3790, true, L"Server 2003 R2"},
        {5, 3, 0, false, L"XP+"},
        {5, 9, 0, true, L"XP+"},
        {6, 0, 6002, false, L"Vista"},
        {6, 1, 7601, false, L"7"},
        {6, 2, 9200, false, L"8"},
        {6, 3, 9600, false, L"8.1"},
        {6, 4, 9841, false, L"8.1+"},
        {6, 7, 0, false, L"8.1+"},
        {10, 0, 19045, false, L"10"},
        {10, 0, 22631, false, L"10"},
        {10, 1, 0, false, L"10+"},
        {7, 0, 1, false, L"7.0.1"},
        {9, 5, 77, false, L"9.5.77"},
        {11, 0, 22631, false, L"11.0.22631"},
        {12, 0, 30000, false, L"12.0.30000"},
        // Flag bits in the upper half of the build value are not part of the number.
        {12, 1, 0xF0007530u, false, L"12.1.30000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utils::WindowsVersionLabel(c.major, c.minor, c.build, c.r2), c.label)
            << c.major << "." << c.minor << "." << c.build;
    }
}

TEST(WindowsVersionTest, FamilyIsAlwaysWindows) {
    std::wstring family = L"x", label = L"stale";
    Utils::GetWindowsVersion(family, label);
    EXPECT_EQ(family, L"Windows");
#ifdef _WIN32
    EXPECT_FALSE(label.empty());
#endif
}

}  // namespace
