#include "utils/Folders.h"

#include <windows.h>

#include <cwctype>
#include <string_view>

namespace Utils {

namespace {

constexpr wchar_t kTempFolderName[] = L"~QuorvexTemp.92482B06FB471E17\\";

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Index just past the backslash that follows the next `count` components starting at
// `from`, or the path's length when it has fewer.
size_t SkipComponents(std::wstring_view path, size_t from, int count) {
    size_t at = from;
    for (int i = 0; i < count; ++i) {
        const size_t slash = path.find(L'\\', at);
        if (slash == std::wstring_view::npos)
            return path.size();
        at = slash + 1;
    }
    return at;
}

// Length of the part of path that names a volume rather than folders on it: its levels
// exist or not, but can never be created, and probing "\\" or "\\server\" as a folder
// would make the walk fail on every network or extended-length path.
size_t RootLength(std::wstring_view path) {
    constexpr std::wstring_view kExtended = L"\\\\?\\";
    constexpr std::wstring_view kDevice = L"\\\\.\\";
    if (path.starts_with(kExtended) || path.starts_with(kDevice)) {
        const std::wstring_view unc = path.substr(kExtended.size(), 4);
        if (unc.size() == 4 && ::towupper(unc[0]) == L'U' && ::towupper(unc[1]) == L'N' &&
            ::towupper(unc[2]) == L'C' && unc[3] == L'\\') {
            return SkipComponents(path, kExtended.size() + 4, 2);  // \\?\UNC\server\share\.
        }
        return SkipComponents(path, kExtended.size(), 1);  // \\?\C:\ or \\.\device\.
    }
    if (path.starts_with(L"\\\\"))
        return SkipComponents(path, 2, 2);  // \\server\share\.
    return 0;
}

// A level made by someone else between the check and the creation is as good as ours.
bool CreateLevel(const std::wstring& level) {
    return Exists(level) || ::CreateDirectoryW(level.c_str(), nullptr) ||
           ::GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

std::wstring GetTempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH)
        return {};
    const std::wstring folder = std::wstring(base, length) + kTempFolderName;
    if (IsFolder(folder))
        return folder;
    // Another installer may create it at the same moment: what counts is that it is there.
    if (::CreateDirectoryW(folder.c_str(), nullptr) || IsFolder(folder))
        return folder;
    return {};
}

bool CreateDirectoryTree(const std::wstring& path) {
    if (path.size() > MAX_PATH)
        return false;
    const size_t root = RootLength(path);
    if (path.size() <= root)
        return Exists(path);
    for (size_t slash = path.find(L'\\', root); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1)) {
        if (!CreateLevel(path.substr(0, slash + 1)))
            return false;
    }
    if (path.back() != L'\\' && !CreateLevel(path))
        return false;
    return true;
}

}  // namespace Utils
