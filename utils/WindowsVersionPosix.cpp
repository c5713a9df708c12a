// Off Windows there is no release to name; an empty label selects the default route.
#include "utils/WindowsVersion.h"

namespace Utils {

void GetWindowsVersion(std::wstring& family, std::wstring& label) {
    family = L"Windows";
    label.clear();
}

}  // namespace Utils
