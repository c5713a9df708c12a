#pragma once
// Small text helpers shared by the parsers. Platform-neutral: no <windows.h>.

#include <cstdint>
#include <string>
#include <string_view>

namespace Utils {

// Whitespace is what the "C" locale calls a space: 9 to 13 and 32. Units above 255 never are.
bool IsCSpace(wchar_t unit);

std::wstring TrimLeft(std::wstring_view text);
std::wstring TrimRight(std::wstring_view text);
std::wstring Trim(std::wstring_view text);

// Replaces every occurrence of pattern, scanning left to right and never rescanning
// inserted text, so it ends for any input. An empty pattern returns the text unchanged.
std::wstring ReplaceAll(std::wstring_view text, std::wstring_view pattern, std::wstring_view replacement);

// True exactly when the first occurrence of prefix in text is at position 0.
bool StartsWith(std::wstring_view text, std::wstring_view prefix);

// The 32-character identifier text of a GUID: groups one and two in upper-case hex, group
// three in lower-case hex, then the eight trailing bytes in upper-case hex.
std::wstring FormatGuidText(uint32_t data1, uint16_t data2, uint16_t data3, const uint8_t (&data4)[8]);

// Decimal text of an unsigned 32-bit number, without sign or padding.
std::wstring DecimalText(uint32_t value);
std::string DecimalTextNarrow(uint32_t value);

}  // namespace Utils
