#include "install/InstallCommandLines.h"

#include <gtest/gtest.h>

namespace {

InstallerCommand ExampleCommand() {
    InstallerCommand command;
    command.packageCommand = L"\"C:\\Apps\\Lumivane\\__Package_Lumivane.exe\"";
    command.userIsAdmin = true;
    command.processIsAdmin = true;
    command.desktopShortcut = true;
    command.quickLaunchShortcut = false;
    command.installLanguage = L"zh-CN";
    command.installDir = L"C:\\Apps\\Lumivane";
    return command;
}

TEST(InstallerCommandLineTest, ExampleCharacterForCharacter) {
    EXPECT_EQ(
        BuildInstallerCommandLine(ExampleCommand()),
        L"\"C:\\Apps\\Lumivane\\__Package_Lumivane.exe\" /S -console=show -version=1.0.0 -adminact=true "
        L"-authorizationact=true -dsc=true -ssc=false -inslang=\"zh-CN\" -instdir=\"C:\\Apps\\Lumivane\" "
        L"/D=C:\\Apps\\Lumivane");
}

TEST(InstallerCommandLineTest, OptionalPieces) {
    InstallerCommand spaces = ExampleCommand();
    spaces.installDir = L"C:\\Program Files\\Lumivane";
    spaces.extraArguments = L"-channel=beta -x";
    spaces.installLanguage.clear();
    spaces.userIsAdmin = false;
    EXPECT_EQ(
        BuildInstallerCommandLine(spaces),
        L"\"C:\\Apps\\Lumivane\\__Package_Lumivane.exe\" /S -console=show -version=1.0.0 -adminact=false "
        L"-authorizationact=true -dsc=true -ssc=false -channel=beta -x "
        L"-instdir=\"C:\\Program Files\\Lumivane\" /D=C:\\Program Files\\Lumivane");

    InstallerCommand bare = ExampleCommand();
    bare.installDir.clear();
    bare.installLanguage.clear();
    EXPECT_EQ(
        BuildInstallerCommandLine(bare),
        L"\"C:\\Apps\\Lumivane\\__Package_Lumivane.exe\" /S -console=show -version=1.0.0 -adminact=true "
        L"-authorizationact=true -dsc=true -ssc=false");
}

TEST(UninstallerCommandLineTest, ExampleCharacterForCharacter) {
    EXPECT_EQ(BuildUninstallerCommandLine(L"C:\\Temp\\~QuorvexTemp.92482B06FB471E17\\\\Lumivane_un_asa.exe",
                                          true, true, L"D:\\Lumivane"),
              L"C:\\Temp\\~QuorvexTemp.92482B06FB471E17\\\\Lumivane_un_asa.exe /S -adminact=true "
              L"-authorizationact=true "
              L"-console=show _?=D:\\Lumivane");
    EXPECT_EQ(
        BuildUninstallerCommandLine(L"C:\\My Temp\\un.exe", false, true, L"D:\\Old Lumivane"),
        L"C:\\My Temp\\un.exe /S -adminact=false -authorizationact=true -console=show _?=D:\\Old Lumivane");
}

}  // namespace
