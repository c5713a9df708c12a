#include "app/InstallerSettings.h"
#include "utils/StringUtils.h"
#include "utils/WindowsVersion.h"

namespace {

constexpr std::wstring_view kRoutePlaceholder = L"${ROUTE}";

}  // namespace

std::wstring ResolveRouteForLabel(const std::wstring& address, const std::wstring& windowsLabel) {
    const wchar_t* route =
        windowsLabel.find(L"XP") != std::wstring::npos ? L"download_silent_xp" : L"download_silent";
    return Utils::ReplaceAll(address, kRoutePlaceholder, route);
}

std::wstring ResolveRoute(const std::wstring& address) {
    if (address.find(kRoutePlaceholder) == std::wstring::npos) {
        return address;  // the system is not asked when there is nothing to resolve
    }
    std::wstring family, label;
    Utils::GetWindowsVersion(family, label);
    return ResolveRouteForLabel(address, label);
}

#ifndef LUMIVANE_DOWNLOAD_HOST
#define LUMIVANE_DOWNLOAD_HOST "download.vanelume.com"
#endif

const wchar_t* DefaultDownloadAddress() {
    return L"http://" LUMIVANE_DOWNLOAD_HOST L"/software/155";
}
