#include "utils/Registry.h"

#include <windows.h>

#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace Utils {

namespace {

struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// One read attempt. ERROR_MORE_DATA when the value grew after its size was queried.
LONG ReadValueOnce(HKEY key, const std::wstring& valueName, DWORD& type, std::wstring& text) {
    DWORD size = 0;
    DWORD queriedType = REG_NONE;
    LONG status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &queriedType, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    if (size > kMaxRegStringBytes)
        return ERROR_FILE_TOO_LARGE;
    // Rounded up for an odd byte count, plus one unit the read is never given: whatever
    // the data holds, the text ends at a null inside the buffer.
    std::vector<wchar_t> buffer((size + 1) / sizeof(wchar_t) + 1, L'\0');
    DWORD readable = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &queriedType,
                                reinterpret_cast<BYTE*>(buffer.data()), &readable);
    if (status != ERROR_SUCCESS)
        return status;
    type = queriedType;
    text.assign(buffer.data());
    return ERROR_SUCCESS;
}

}  // namespace

bool WriteRegString(const std::wstring& valueName, const std::wstring& text) {
    if (text.size() > kMaxRegStringBytes / sizeof(wchar_t))
        return false;
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &raw, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueKey key(raw);
    // The value holds the characters only, no terminator. RegSetValueExW stores one more
    // character when string data is followed by a null in memory (as c_str() always is),
    // so the data handed over is followed by a character that is not null.
    std::vector<wchar_t> data(text.begin(), text.end());
    data.push_back(L'#');
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.data()), bytes) == ERROR_SUCCESS;
}

bool ReadRegString(const std::wstring& valueName, unsigned long& type, std::wstring& text) {
    static_assert(std::is_same_v<unsigned long, DWORD>);
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKeyPath, 0, KEY_READ, &raw) != ERROR_SUCCESS)
        return false;
    const UniqueKey key(raw);
    DWORD readType = REG_NONE;
    std::wstring readText;
    // Another program may rewrite the value between the size query and the read: one
    // more try with the new size, then give up rather than chase it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const LONG status = ReadValueOnce(key.get(), valueName, readType, readText);
        if (status == ERROR_SUCCESS) {
            type = readType;
            text = std::move(readText);
            return true;
        }
        if (status != ERROR_MORE_DATA)
            return false;
    }
    return false;
}

}  // namespace Utils
