#include "utils/StringUtils.h"

#include <cwchar>

namespace Utils {

bool IsCSpace(wchar_t unit) {
    return unit == L' ' || (unit >= 9 && unit <= 13);
}

std::wstring TrimLeft(std::wstring_view text) {
    size_t start = 0;
    while (start < text.size() && IsCSpace(text[start])) {
        ++start;
    }
    return std::wstring(text.substr(start));
}

std::wstring TrimRight(std::wstring_view text) {
    size_t end = text.size();
    while (end > 0 && IsCSpace(text[end - 1])) {
        --end;
    }
    return std::wstring(text.substr(0, end));
}

std::wstring Trim(std::wstring_view text) {
    return TrimLeft(TrimRight(text));
}

std::wstring ReplaceAll(std::wstring_view text, std::wstring_view pattern, std::wstring_view replacement) {
    if (pattern.empty()) {
        return std::wstring(text);
    }
    std::wstring result;
    result.reserve(text.size());
    size_t from = 0;
    for (size_t at = text.find(pattern); at != std::wstring_view::npos; at = text.find(pattern, from)) {
        result.append(text.substr(from, at - from)).append(replacement);
        from = at + pattern.size();
    }
    result.append(text.substr(from));
    return result;
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.find(prefix) == 0;
}

std::wstring FormatGuidText(uint32_t data1, uint16_t data2, uint16_t data3, const uint8_t (&data4)[8]) {
    wchar_t buffer[50] = {};
    std::swprintf(buffer, 50, L"%08X%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(data1),
                  static_cast<unsigned>(data2), static_cast<unsigned>(data3), data4[0], data4[1], data4[2],
                  data4[3], data4[4], data4[5], data4[6], data4[7]);
    return buffer;
}

std::wstring DecimalText(uint32_t value) {
    std::string narrow = DecimalTextNarrow(value);
    return std::wstring(narrow.begin(), narrow.end());
}

std::string DecimalTextNarrow(uint32_t value) {
    return std::to_string(value);
}

}  // namespace Utils
