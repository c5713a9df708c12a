#pragma once
// Conversions between the system's wide text and 8-bit text at the edges of the program.
// Code page 0 is the system's ANSI code page, 65001 is UTF-8. Invalid input, an unknown
// code page or a failed allocation give an empty string; these functions never throw.

#include <string>
#include <string_view>

namespace Utils {

constexpr unsigned kCodePageAnsi = 0;
constexpr unsigned kCodePageUtf8 = 65001;

std::wstring ToWide(std::string_view narrow, unsigned codePage = kCodePageAnsi);
std::string ToNarrow(std::wstring_view wide, unsigned codePage = kCodePageAnsi);

// 32 characters made from a newly generated GUID (see FormatGuidText).
std::wstring NewGuidText();

}  // namespace Utils
