#include "utils/WindowsVersion.h"

#include "utils/StringUtils.h"

namespace Utils {

std::wstring WindowsVersionLabel(uint32_t major, uint32_t minor, uint32_t build, bool isServerR2) {
    switch (major) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
            return L"XP-";
        case 5:
            if (minor == 0)
                return L"2K";
            if (minor == 1)
                return L"XP";
            if (minor == 2)
                return isServerR2 ? L"Server 2003 R2" : L"Server 2003";
            return L"XP+";
        case 6: {
            static const wchar_t* const kLabels[] = {L"Vista", L"7", L"8", L"8.1"};
            return minor < 4 ? kLabels[minor] : L"8.1+";
        }
        case 10:
            return minor == 0 ? L"10" : L"10+";
        default:
            // The kernel keeps flag bits in the upper half of the build value.
            return DecimalText(major) + L"." + DecimalText(minor) + L"." + DecimalText(build & 0xFFFF);
    }
}

}  // namespace Utils
