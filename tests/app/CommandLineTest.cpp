#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "app/SettingsValues.h"

namespace {

// Marks resolved addresses so the tests see that every writer resolved them.
std::wstring FakeResolve(const std::wstring& address) {
    return L"resolved:" + address;
}

InstallerSettings Apply(const std::vector<std::wstring>& arguments, InstallerSettings settings = {}) {
    ApplyCommandLine(BuildCommandLineArgs(arguments), settings, FakeResolve);
    return settings;
}

TEST(BuildCommandLineArgsTest, SplitsAtTheFirstEqualsAndKeepsTheFirstOccurrence) {
    const CommandLineArgs args =
        BuildCommandLineArgs({L"C:\\setup.exe", L"-downloadtype=3", L"-downloadtype=2", L"-instcmd=a=b",
                              L"-insnew", L"-x=", L"plain"});
    EXPECT_EQ(args.at(L"C:\\setup.exe"), L"");
    EXPECT_EQ(args.at(L"-downloadtype"), L"3");
    EXPECT_EQ(args.at(L"-instcmd"), L"a=b");
    EXPECT_EQ(args.at(L"-insnew"), L"");
    EXPECT_EQ(args.at(L"-x"), L"");
    EXPECT_EQ(args.at(L"plain"), L"");
    EXPECT_EQ(args.size(), 6u);
}

TEST(ApplyCommandLineTest, NothingGivenKeepsEveryField) {
    InstallerSettings fromFile;
    fromFile.DownloadUrl = L"http://file/";
    fromFile.DownloadType = 2;
    fromFile.IsCheckNet = true;
    fromFile.DownloadScale = 0.4;
    const InstallerSettings after = Apply({L"setup.exe", L"-DOWNLOADTYPE=3", L"-unknown=1"}, fromFile);
    EXPECT_EQ(after.DownloadUrl, L"http://file/");
    EXPECT_EQ(after.DownloadType, 2);
    EXPECT_TRUE(after.IsCheckNet);
    EXPECT_DOUBLE_EQ(after.DownloadScale, 0.4);
}

TEST(ApplyCommandLineTest, EveryOptionOverridesTheSettingsFile) {
    InstallerSettings fromFile;
    fromFile.DownloadUrl = L"http://file/";
    fromFile.IsCheckNet = true;
    fromFile.IsEnableAppSensors = true;
    fromFile.InstCmd = L"from-file";
    const InstallerSettings after =
        Apply({L"setup.exe", L"-downloadurl=http://h/${ROUTE}/p", L"-downloadtype=3", L"-downloadscale=0.5",
               L"-ischecknet=false", L"-isenableappsensors=1", L"-dlappnamesuffix=.dl", L"-dlappversion=2.0",
               L"-instcmd=-a b", L"-language=2", L"-insnew=true"},
              fromFile);
    EXPECT_EQ(after.DownloadUrl, L"resolved:http://h/${ROUTE}/p");
    EXPECT_EQ(after.DownloadType, 3);
    EXPECT_DOUBLE_EQ(after.DownloadScale, 0.5);
    EXPECT_FALSE(after.IsCheckNet);
    EXPECT_FALSE(after.IsEnableAppSensors);
    EXPECT_EQ(after.DlAppNameSuffix, L".dl");
    EXPECT_EQ(after.m_DlAppVersion, L"2.0");
    EXPECT_EQ(after.InstCmd, L"-a b");
    EXPECT_EQ(after.languageIndex, 2);
    EXPECT_TRUE(after.installNew);
}

TEST(ApplyCommandLineTest, ValuesWithoutEqualsOrNumbers) {
    InstallerSettings fromFile;
    fromFile.IsCheckNet = true;
    fromFile.InstCmd = L"x";
    fromFile.DownloadType = 3;
    const InstallerSettings after =
        Apply({L"-ischecknet", L"-insnew", L"-instcmd", L"-downloadtype=abc", L"-language="}, fromFile);
    EXPECT_FALSE(after.IsCheckNet);
    EXPECT_FALSE(after.installNew);
    EXPECT_EQ(after.InstCmd, L"");
    EXPECT_EQ(after.DownloadType, 0);
    EXPECT_EQ(after.languageIndex, 0);
}

TEST(ApplyCommandLineTest, UnusableNumbersKeepThePreviousValue) {
    InstallerSettings fromFile;
    fromFile.DownloadScale = 0.25;
    fromFile.DownloadType = 2;
    fromFile.languageIndex = 1;
    for (const wchar_t* scale : {L"-downloadscale=abc", L"-downloadscale=", L"-downloadscale=1e999",
                                 L"-downloadscale=nan", L"-downloadscale=-inf", L"-downloadscale"}) {
        EXPECT_DOUBLE_EQ(Apply({scale}, fromFile).DownloadScale, 0.25) << scale;
    }
    EXPECT_EQ(Apply({L"-downloadtype=99999999999"}, fromFile).DownloadType, 2);
    EXPECT_EQ(Apply({L"-language=-99999999999"}, fromFile).languageIndex, 1);
    // An ordinary number outside 0 to 1 is used unchanged.
    EXPECT_DOUBLE_EQ(Apply({L"-downloadscale=1.5"}, fromFile).DownloadScale, 1.5);
    EXPECT_DOUBLE_EQ(Apply({L"-downloadscale=0.5abc"}, fromFile).DownloadScale, 0.5);
}

TEST(ResolveRouteTest, XpClassLabelsGetTheirOwnRoute) {
    const std::wstring address = L"http://h/${ROUTE}/x/${ROUTE}";
    EXPECT_EQ(ResolveRouteForLabel(address, L"10"), L"http://h/download_silent/x/download_silent");
    for (const wchar_t* label : {L"XP", L"XP-", L"XP+"}) {
        EXPECT_EQ(ResolveRouteForLabel(address, label), L"http://h/download_silent_xp/x/download_silent_xp")
            << label;
    }
    EXPECT_EQ(ResolveRouteForLabel(address, L"Server 2003"), L"http://h/download_silent/x/download_silent");
    EXPECT_EQ(ResolveRoute(L"http://h/plain"), L"http://h/plain");
}

TEST(DefaultDownloadAddressTest, PlainHttpAndFixedPath) {
    const std::wstring address = DefaultDownloadAddress();
    EXPECT_TRUE(address.rfind(L"http://", 0) == 0) << address;
    EXPECT_EQ(address.substr(address.size() - 13), L"/software/155");
}

TEST(ParseSettingsBoolTest, OnlyExactTrue) {
    EXPECT_TRUE(ParseSettingsBool(L"true"));
    for (const wchar_t* text : {L"True", L"TRUE", L"1", L"yes", L"", L"true ", L" true"}) {
        EXPECT_FALSE(ParseSettingsBool(text)) << text;
    }
}

}  // namespace
