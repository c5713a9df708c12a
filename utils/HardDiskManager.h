#pragma once
// Free and total space of the volume the product is installed on, read before the package
// is downloaded so that a full disk is reported instead of a half-written installation.

#include <cstdint>
#include <string>

namespace Utils {

class HardDiskManager {
public:
    virtual ~HardDiskManager() = default;

    // Reads the counters of the volume holding directory (callers pass a drive such as
    // "C:"). On failure the cause is logged and the counters keep their previous values,
    // so a caller never acts on half-read numbers. Virtual so that a check for a disk
    // that is about to fill up can be staged without filling one.
    virtual bool CheckFreeSpace(const std::wstring& directory);

    uint64_t freeBytesAvailable = 0;  // what this caller may use (quotas applied)
    uint64_t totalBytes = 0;
    uint64_t totalFreeBytes = 0;
};

}  // namespace Utils
