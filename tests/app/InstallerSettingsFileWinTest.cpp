#include <gtest/gtest.h>

#include <cmath>

#include "app/InstallerSettings.h"
#include "tests/support/BadSettingsFiles.h"
#include "tests/support/TempFolder.h"
#include "utils/TextConversion.h"

namespace {

class SettingsFileTest : public testing::Test {
protected:
    InstallerSettings Load(const std::string& bytes) {
        WriteBytes(path_, bytes);
        InstallerSettings settings;
        settings.DownloadUrl = L"untouched";
        EXPECT_TRUE(LoadInstallerSettingsFrom(path_, settings));
        return settings;
    }

    TempFolder folder_;
    std::wstring path_ = folder_.Join(kSettingsFileName);
};

TEST_F(SettingsFileTest, NoFileKeepsEverything) {
    InstallerSettings settings;
    settings.DownloadUrl = L"default";
    EXPECT_FALSE(LoadInstallerSettingsFrom(folder_.Join(L"missing.ini"), settings));
    EXPECT_EQ(settings.DownloadUrl, L"default");
    EXPECT_FALSE(settings.IsCheckNet);
    EXPECT_EQ(settings.DownloadType, 1);
    EXPECT_DOUBLE_EQ(settings.DownloadScale, 0.7);
}

TEST_F(SettingsFileTest, SectionWithoutKeysTurnsTheNetworkCheckOn) {
    const InstallerSettings settings = Load("[Install]\r\n");
    EXPECT_EQ(settings.DownloadUrl, DefaultDownloadAddress());
    EXPECT_EQ(settings.DownloadType, 1);
    EXPECT_TRUE(settings.IsCheckNet);
    EXPECT_TRUE(settings.IsEnableAppSensors);
    EXPECT_DOUBLE_EQ(settings.DownloadScale, 0.7);
    EXPECT_EQ(settings.DlAppNameSuffix, L".downloader");
    EXPECT_EQ(settings.InstCmd, L"");
}

TEST_F(SettingsFileTest, EveryKeyIsRead) {
    const InstallerSettings settings = Load(
        "[install]\r\ndownloadurl=http://127.0.0.1:8080/p.exe\r\nDownloadType=3\r\nIsCheckNet=false\r\n"
        "IsEnableAppSensors=TRUE\r\nDlAppNameSuffix=.x\r\nm_DlAppVersion=9\r\nDownloadScale=0.25\r\n"
        "InstCmd=-a -b\r\n");
    EXPECT_EQ(settings.DownloadUrl, L"http://127.0.0.1:8080/p.exe");
    EXPECT_EQ(settings.DownloadType, 3);
    EXPECT_FALSE(settings.IsCheckNet);
    EXPECT_FALSE(settings.IsEnableAppSensors);  // capitals are not "true"
    EXPECT_EQ(settings.DlAppNameSuffix, L".x");
    EXPECT_EQ(settings.m_DlAppVersion, L"9");
    EXPECT_DOUBLE_EQ(settings.DownloadScale, 0.25);
    EXPECT_EQ(settings.InstCmd, L"-a -b");
}

TEST_F(SettingsFileTest, ValueConversions) {
    const struct {
        const char* lines;
        double scale;
        int32_t type;
        bool checkNet;
    } cases[] = {
        {"DownloadScale=\r\n", 0.0, 1, true},
        {"DownloadScale=0.5abc\r\n", 0.5, 1, true},
        {"DownloadScale=1e999\r\n", 0.7, 1, true},
        {"DownloadScale=nan\r\n", 0.7, 1, true},
        {"DownloadScale=1.5\r\n", 1.5, 1, true},
        {"DownloadType=abc\r\nIsCheckNet=True\r\n", 0.7, 0, false},
        {"DownloadType=7\r\nIsCheckNet=true\r\n", 0.7, 7, true},
    };
    for (const auto& c : cases) {
        const InstallerSettings settings = Load(std::string("[Install]\r\n") + c.lines);
        EXPECT_DOUBLE_EQ(settings.DownloadScale, c.scale) << c.lines;
        EXPECT_EQ(settings.DownloadType, c.type) << c.lines;
        EXPECT_EQ(settings.IsCheckNet, c.checkNet) << c.lines;
    }
}

TEST_F(SettingsFileTest, AddressesAreCutAndResolved) {
    const std::string longUrl = "http://127.0.0.1/" + std::string(300, 'a');
    EXPECT_EQ(Load("[Install]\r\nDownloadUrl=" + longUrl + "\r\n").DownloadUrl,
              Utils::ToWide(longUrl.substr(0, 259)));
    EXPECT_EQ(Load("[Install]\r\nDownloadUrl=\r\n").DownloadUrl, L"");
    const std::wstring resolved =
        Load("[Install]\r\nDownloadUrl=http://h/${ROUTE}/a/${ROUTE}\r\n").DownloadUrl;
    EXPECT_EQ(resolved, ResolveRoute(L"http://h/${ROUTE}/a/${ROUTE}"));
    EXPECT_EQ(resolved.find(L"${ROUTE}"), std::wstring::npos);
}

TEST_F(SettingsFileTest, BadFilesGiveSaneValues) {
    const std::vector<BadSettingsFile> files = BadSettingsFiles();
    for (const BadSettingsFile& file : files) {
        const InstallerSettings settings = Load(file.bytes);
        EXPECT_LE(settings.DownloadUrl.size(), 259u) << file.name;
        EXPECT_TRUE(std::isfinite(settings.DownloadScale)) << file.name;
    }
    const InstallerSettings fromUtf16 = Load(files[1].bytes);
    EXPECT_EQ(fromUtf16.DownloadType, 3);
    EXPECT_EQ(fromUtf16.DownloadUrl, L"http://h/宽");
    EXPECT_EQ(Load(files[2].bytes).DownloadUrl, std::wstring(259, L'x'));
}

}  // namespace
