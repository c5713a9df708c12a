#pragma once
// printf-style formatting of wide text with this program's conventions on every platform:
// "%s" takes a wide string (as it does on Windows), "%hs" a narrow UTF-8 string, "%d" an
// int, "%ld" a long, "%lld" and "%I64d" a long long, "%f" a double. "%n" and unknown
// conversions are format errors. Platform-neutral: no <windows.h>.

#include <cstdarg>
#include <optional>
#include <string>

namespace Utils {

// Formats the whole text, however long; nullopt when the format is malformed or memory
// runs out.
std::optional<std::wstring> FormatWideV(const wchar_t* format, va_list args);
std::optional<std::wstring> FormatWide(const wchar_t* format, ...);

}  // namespace Utils
