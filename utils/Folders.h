#pragma once
// Folders the installer works in: its scratch folder for downloads, and the install
// folder with every missing parent.

#include <string>

namespace Utils {

// "<system temp folder>~QuorvexTemp.92482B06FB471E17\", created (one level, the system
// temp folder must exist) when missing. Empty when it cannot be made or something other
// than a folder holds its name. The same path on every call.
std::wstring GetTempFolder();

// Creates every missing level of path, left to right. A path of more than 260 characters
// is refused before the disk is touched. Levels that exist (as a folder or a file) are
// left as they are; the first level that cannot be created stops the walk with false and
// the levels made before it stay. The root of a drive, of a share ("\\server\share\") or
// of a "\\?\" path is never created.
bool CreateDirectoryTree(const std::wstring& path);

}  // namespace Utils
