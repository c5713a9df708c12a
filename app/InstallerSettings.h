#pragma once
// The process-wide installer settings: built-in defaults, then the settings file next to
// the executable, then the command line, each layer overriding the one before.

#include <cstdint>
#include <string>

struct InstallerSettings {
    std::wstring productId = L"Lumivane";
    std::wstring productVersion = L"1.7.9";
    std::wstring DlAppNameSuffix = L".downloader";  // stored only
    std::wstring m_DlAppVersion;                    // stored only
    std::wstring InstCmd;                           // extra arguments for the package
    std::wstring DownloadUrl;                       // always route-resolved
    int32_t DownloadType = 1;                       // 2 WinHTTP, 3 multi-part, else single-stream
    bool IsCheckNet = false;
    bool IsEnableAppSensors = true;  // stored only
    double DownloadScale = 0.7;      // share of the progress bar for the download
    int32_t languageIndex = -1;      // -1: no language chosen
    bool installNew = false;         // "-insnew=true": installing over a running copy
};

// The one settings record of the process. Filled before the entry point runs.
extern InstallerSettings g_installerSettings;

// The settings file's name and section.
inline constexpr const wchar_t* kSettingsFileName = L"QuorvexInstallerConfig.ini";
inline constexpr const wchar_t* kSettingsSection = L"Install";

// The built-in download address, before route resolution.
const wchar_t* DefaultDownloadAddress();

// Sets every field to its built-in default (the address route-resolved), then reads the
// settings file next to the executable when there is one.
void LoadInstallerSettings();

// Reads the settings file at path over settings. Returns false, leaving settings
// untouched, when no file exists there.
bool LoadInstallerSettingsFrom(const std::wstring& path, InstallerSettings& settings);

// address with every "${ROUTE}" replaced by this system's route word.
std::wstring ResolveRoute(const std::wstring& address);

// The same for a given release label (pure; used by ResolveRoute).
std::wstring ResolveRouteForLabel(const std::wstring& address, const std::wstring& windowsLabel);
