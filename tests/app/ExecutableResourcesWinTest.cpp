// What Windows reads from the installer executable before it runs a line of it: subsystem,
// manifest (elevation, DPI awareness, common controls 6), version and icon resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace {

std::wstring InstallerPath() {
    return ExecutableFolder() + L"\\LumivaneSetup.exe";
}

struct LoadedAsData {
    explicit LoadedAsData(const std::wstring& path)
        : module(::LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~LoadedAsData() {
        if (module)
            ::FreeLibrary(module);
    }
    std::string Resource(const wchar_t* type, const wchar_t* name) const {
        HRSRC found = ::FindResourceW(module, name, type);
        if (!found)
            return {};
        const void* data = ::LockResource(::LoadResource(module, found));
        return data ? std::string(static_cast<const char*>(data), ::SizeofResource(module, found))
                    : std::string();
    }
    HMODULE module;
};

TEST(ExecutableResourcesTest, ManifestAsksForAdministratorAndDeclaresDpiAndControls) {
    const LoadedAsData exe(InstallerPath());
    ASSERT_TRUE(exe.module);
    const std::string manifest = exe.Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

TEST(ExecutableResourcesTest, IconGroup145) {
    const LoadedAsData exe(InstallerPath());
    ASSERT_TRUE(exe.module);
    EXPECT_FALSE(exe.Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(145)).empty());
    HICON icon = static_cast<HICON>(::LoadImageW(exe.module, MAKEINTRESOURCEW(145), IMAGE_ICON, 32, 32, 0));
    EXPECT_TRUE(icon);
    if (icon)
        ::DestroyIcon(icon);
}

TEST(ExecutableResourcesTest, VersionIs179AndProductIsVanelume) {
    const std::wstring path = InstallerPath();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(7, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 9));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(7, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(0, 9));
    wchar_t* product = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\080404B0\\ProductName",
                                 reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(product, L"Vanelume");
}

TEST(ExecutableResourcesTest, GuiSubsystem) {
    HANDLE file = ::CreateFileW(InstallerPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<char> head(4096);
    DWORD read = 0;
    ::ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &read, nullptr);
    ::CloseHandle(file);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(head.data());
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_LT(static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS), static_cast<size_t>(read));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(head.data() + dos->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

}  // namespace
