#pragma once
// The Windows release label used to pick the download route.

#include <cstdint>
#include <string>

namespace Utils {

// The label for the true system version numbers; isServerR2 is the SM_SERVERR2 metric.
// Platform-neutral so that the whole table can be tested anywhere.
std::wstring WindowsVersionLabel(uint32_t major, uint32_t minor, uint32_t build, bool isServerR2);

// family is always "Windows"; label comes from the kernel's own version numbers, so a
// compatibility shim cannot disguise the system. Without the kernel routine: "XP-".
void GetWindowsVersion(std::wstring& family, std::wstring& label);

}  // namespace Utils
