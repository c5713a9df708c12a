#include "utils/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "utils/StringUtils.h"

namespace Utils {
namespace {

size_t SkipSpace(std::wstring_view text) {
    size_t at = 0;
    while (at < text.size() && Utils::IsCSpace(text[at]))
        ++at;
    return at;
}

}  // namespace

ParsedInt ParseLeadingInt(std::wstring_view text) {
    size_t at = SkipSpace(text);
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    const size_t firstDigit = at;
    int64_t magnitude = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - L'0');
        if (magnitude > kLimit) {
            return {NumberStatus::OutOfRange, 0};
        }
    }
    if (at == firstDigit) {
        return {NumberStatus::NoNumber, 0};
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) {
        return {NumberStatus::OutOfRange, 0};
    }
    return {NumberStatus::Ok, static_cast<int32_t>(value)};
}

ParsedDouble ParseLeadingDouble(std::wstring_view text) {
    size_t at = SkipSpace(text);
    if (at + 1 < text.size() && text[at] == L'+' && text[at + 1] != L'+' && text[at + 1] != L'-') {
        ++at;
    }
    // Only ASCII can belong to a number; the conversion stops at the first other unit.
    std::string ascii;
    for (; at < text.size() && text[at] > 0x20 && text[at] < 0x7F; ++at) {
        ascii.push_back(static_cast<char>(text[at]));
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (end == ascii.data()) {
        return {NumberStatus::NoNumber, 0.0};
    }
    if (error == std::errc::result_out_of_range || !std::isfinite(value)) {
        return {NumberStatus::OutOfRange, 0.0};
    }
    return {NumberStatus::Ok, value};
}

}  // namespace Utils
