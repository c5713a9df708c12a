#include <windows.h>

#include "app/InstallerSettings.h"
#include "app/SettingsValues.h"

namespace {

// Values longer than the buffer are cut to 259 characters by the profile reader.
constexpr DWORD kValueBufferLength = 260;

std::wstring ReadString(const std::wstring& path, const wchar_t* key, const wchar_t* defaultValue) {
    wchar_t buffer[kValueBufferLength] = {};
    ::GetPrivateProfileStringW(kSettingsSection, key, defaultValue, buffer, kValueBufferLength, path.c_str());
    buffer[kValueBufferLength - 1] = L'\0';
    return buffer;
}

bool ReadBool(const std::wstring& path, const wchar_t* key) {
    return ParseSettingsBool(ReadString(path, key, L"true"));
}

// Text that is no number gives 0.0; a number no double can hold, or "inf"/"nan", keeps
// the built-in default rather than poisoning the progress arithmetic.
double ReadScale(const std::wstring& path, double defaultValue) {
    const ParsedDouble parsed = ParseLeadingDouble(ReadString(path, L"DownloadScale", L"0.7"));
    return parsed.status == NumberStatus::OutOfRange ? defaultValue : parsed.value;
}

std::wstring SettingsFilePath() {
    wchar_t modulePath[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};  // a path the profile functions could not open anyway
    }
    std::wstring path(modulePath, length);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + kSettingsFileName;
}

}  // namespace

bool LoadInstallerSettingsFrom(const std::wstring& path, InstallerSettings& settings) {
    if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    settings.DownloadUrl = ResolveRoute(ReadString(path, L"DownloadUrl", DefaultDownloadAddress()));
    settings.DownloadType =
        static_cast<int32_t>(::GetPrivateProfileIntW(kSettingsSection, L"DownloadType", 1, path.c_str()));
    settings.IsCheckNet = ReadBool(path, L"IsCheckNet");
    settings.IsEnableAppSensors = ReadBool(path, L"IsEnableAppSensors");
    settings.DlAppNameSuffix = ReadString(path, L"DlAppNameSuffix", L".downloader");
    settings.m_DlAppVersion = ReadString(path, L"m_DlAppVersion", L"");
    settings.DownloadScale = ReadScale(path, InstallerSettings{}.DownloadScale);
    settings.InstCmd = ReadString(path, L"InstCmd", L"");
    return true;
}

void LoadInstallerSettings() {
    g_installerSettings = InstallerSettings{};
    g_installerSettings.DownloadUrl = ResolveRoute(DefaultDownloadAddress());
    LoadInstallerSettingsFrom(SettingsFilePath(), g_installerSettings);
}
