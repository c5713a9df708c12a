#include "install/ReportProtocol.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "utils/InstallEvents.h"

namespace {

// Events as "code value text" lines, so a table can state them briefly.
std::vector<std::wstring> Describe(const ParsedReport& report) {
    std::vector<std::wstring> out;
    for (const auto& event : report.events) {
        std::wostringstream text;
        text << event.code << L" " << std::setprecision(12) << event.value << L" [" << event.text << L"]";
        out.push_back(text.str());
    }
    return out;
}

struct Case {
    const wchar_t* read;
    std::vector<std::wstring> events;
    int32_t result;
};

TEST(InstallerReportTest, LinesToEventsAndResults) {
    const Case cases[] = {
        {L"Progress=0.5\r\n", {L"2002 0.5 []"}, kReportNoFinalLine},
        {L"Progress= 0.25", {L"2002 0.25 []"}, kReportNoFinalLine},
        {L"Progress=abc\n", {L"2002 0 []"}, kReportNoFinalLine},
        {L"Progress=nan\n", {L"2002 0 []"}, kReportNoFinalLine},
        {L" Progress=0.5\nprogress=0.5\n", {}, kReportNoFinalLine},
        {L"InstPath=C:\\App\r\n", {L"3000 0 [C:\\App\r]"}, kReportNoFinalLine},
        {L"InstPath=", {L"3000 0 []"}, kReportNoFinalLine},
        {L"State=Success\r\n", {L"2003 0 []"}, kReportSuccess},
        {L"State=  Success \t\r\n", {L"2003 0 []"}, kReportSuccess},
        {L"State=success\n", {}, kReportNoFinalLine},
        {L"State=Fail\n", {L"2004 0 [安装包安装失败]"}, kReportFailure},
        {L"State=\n", {}, kReportNoFinalLine},
        {L"InstallVersion=1.7.9\n", {}, kReportNoFinalLine},
        {L"ExePath=C:\\A\\lumivane.exe\nStartExe=C:\\B.exe\n",
         {L"3001 0 [C:\\A\\lumivane.exe]", L"3001 0 [C:\\B.exe]"},
         kReportNoFinalLine},
        {L"UninstExePath=u1\nUninstExe=u2\nUninstEp=ep\n",
         {L"3002 0 [u1]", L"3002 0 [u2]", L"3003 0 [ep]"},
         kReportNoFinalLine},
        {L"Error=disk full\n", {L"2004 1000 [disk full]"}, kReportFailure},
        {L"TopShowDetention=-1\nFinsihCloseDetention=5s\n",
         {L"3007 4294967295 []", L"3008 5 []"},
         kReportNoFinalLine},
        {L"TopShowDetention=99999999999\n", {L"3007 0 []"}, kReportNoFinalLine},
        {L"StartUrl=http://x/\nMessage=hi there\n",
         {L"3004 0 [http://x/]", L"3009 0 [hi there]"},
         kReportNoFinalLine},
        {L"StartupStyle=NonStartup\nStartupStyle=AutoStartup\nStartupStyle=UserStartup\r\nStartupStyle="
         L"Other\n",
         {L"3005 0 []", L"3005 1 []", L"3005 2 []", L"3005 0 []"},
         kReportNoFinalLine},
        {L"State=Success\nError=x\n", {L"2003 0 []", L"2004 1000 [x]"}, kReportFailure},
        {L"Error=x\nState=Success\n", {L"2004 1000 [x]", L"2003 0 []"}, kReportSuccess},
        {L"Progr", {}, kReportNoFinalLine},
        {L"\n\n\r\n", {}, kReportNoFinalLine},
        {L"", {}, kReportNoFinalLine},
    };
    for (const Case& c : cases) {
        uint32_t codePage = 0;
        const ParsedReport report = ParseInstallerReport(c.read, codePage);
        EXPECT_EQ(Describe(report), c.events) << c.read;
        EXPECT_EQ(report.result, c.result) << c.read;
        EXPECT_EQ(codePage, 0u) << c.read;
    }
}

TEST(InstallerReportTest, EncodeSetsTheCodePage) {
    const struct {
        const wchar_t* line;
        uint32_t codePage;
    } cases[] = {
        {L"Encode=UTF8\r\n", 65001}, {L"Encode=ACP", 0}, {L"Encode=936\n", 936},
        {L"Encode= 936x", 936},      {L"Encode=abc", 0}, {L"Encode=99999999999", 0},
        {L"Encode=utf8", 0},         {L"Encode=", 0},    {L"Encode=-2", 4294967294u},
    };
    for (const auto& c : cases) {
        uint32_t codePage = 1252;
        const ParsedReport report = ParseInstallerReport(c.line, codePage);
        EXPECT_EQ(codePage, c.codePage) << c.line;
        EXPECT_TRUE(report.events.empty()) << c.line;
    }
}

TEST(InstallerReportTest, LongValuesAreCut) {
    const std::wstring longPath(100000, L'p');
    uint32_t codePage = 0;
    const ParsedReport report =
        ParseInstallerReport(L"InstPath=" + longPath + L"\nState=Success\n", codePage);
    ASSERT_EQ(report.events.size(), 2u);
    EXPECT_EQ(report.events[0].text, longPath.substr(0, kReportValueCapacity));
    EXPECT_EQ(report.result, kReportSuccess);
}

TEST(UninstallerReportTest, LinesToEventsAndResults) {
    const Case cases[] = {
        {L"Progress=0.5\r\n", {L"5002 0.5 []"}, kReportNoFinalLine},
        {L"Error=lumivane.exe is running\r\n", {L"5005 0 [lumivane.exe is running\r]"}, kReportFailure},
        {L"State=Success\r\n", {L"5003 0 []"}, kReportSuccess},
        {L"State=Fail", {L"5005 0 [安装包卸载失败]"}, kReportFailure},
        {L"State=Done", {}, kReportNoFinalLine},
        {L"State=Success\nProgress=0.9\n", {L"5003 0 []", L"5002 0.9 []"}, kReportSuccess},
        {L"InstPath=C:\\x\nExePath=y\nMessage=z\n", {}, kReportNoFinalLine},
    };
    for (const Case& c : cases) {
        uint32_t codePage = 0;
        const ParsedReport report = ParseUninstallerReport(c.read, codePage);
        EXPECT_EQ(Describe(report), c.events) << c.read;
        EXPECT_EQ(report.result, c.result) << c.read;
    }
}

TEST(UninstallerReportTest, EncodeKnowsOnlyUtf8) {
    for (const auto& [line, expected] : {std::pair{L"Encode=UTF8\r\n", 65001u}, std::pair{L"Encode=936", 0u},
                                         std::pair{L"Encode=ACP", 0u}}) {
        uint32_t codePage = 1252;
        ParseUninstallerReport(line, codePage);
        EXPECT_EQ(codePage, expected) << line;
    }
}

TEST(InstallEventNameTest, NamesTheCodes) {
    EXPECT_STREQ(InstallEventName(DL_CODE_START), "DL_CODE_START");
    EXPECT_STREQ(InstallEventName(2003), "INSTALL_SUCCESS");
    EXPECT_STREQ(InstallEventName(5005), "UNIST_CODE_ERROR");
    EXPECT_STREQ(InstallEventName(3006), "UNKNOWN");
}

}  // namespace
