#pragma once
// The installer's own values under HKEY_CURRENT_USER: where the product was installed and
// how to uninstall it, read back by the next installer run and by the product itself.

#include <cstddef>
#include <string>

namespace Utils {

inline constexpr wchar_t kRegistryKeyPath[] = L"Software\\QuorvexSoft\\Lumivane";
inline constexpr wchar_t kInstallPathValue[] = L"InstallPath";
inline constexpr wchar_t kUnInstallEpValue[] = L"UnInstallEp";

// No value of ours comes near this; anything larger is damage or tampering, and is neither
// written nor read rather than allocated for.
inline constexpr size_t kMaxRegStringBytes = 1024 * 1024;

// Stores text as REG_SZ in the key (created when missing) without a terminating null: the
// stored size is exactly twice the number of characters. Text longer than
// kMaxRegStringBytes / 2 characters is refused. True exactly when the value was stored.
bool WriteRegString(const std::wstring& valueName, const std::wstring& text);

// Reads a value of the key whatever its type (reported in type) as wide text, up to its
// first null character; data without a terminating null is read whole. False, with text
// and type unchanged, when the key or the value is missing, the data is larger than
// kMaxRegStringBytes or keeps changing size while it is read. unsigned long is DWORD.
bool ReadRegString(const std::wstring& valueName, unsigned long& type, std::wstring& text);

}  // namespace Utils
