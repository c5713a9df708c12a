#include "download/CurlRules.h"

#include <charconv>

namespace CurlRules {

bool IsAcceptedLength(double length) {
    return length >= kMinimumLength && length <= kMaximumLength;
}

bool RetryBudget::Spend(int result) {
    left_ -= result == kPartialFile ? 1 : 2;
    return left_ > 0;
}

std::optional<int64_t> ContentRangeStart(std::string_view value) {
    constexpr std::string_view unit = "bytes ";
    if (value.substr(0, unit.size()) != unit) {
        return std::nullopt;
    }
    value.remove_prefix(unit.size());
    int64_t first = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), first);
    if (error != std::errc() || end == value.data() || end == value.data() + value.size() || *end != '-') {
        return std::nullopt;
    }
    return first;
}

bool AnswerFitsSideFile(long status, std::optional<int64_t> rangeStart, int64_t resumeFrom) {
    const int64_t offset = resumeFrom > 0 ? resumeFrom : 0;
    if (status == 0) {
        return true;
    }
    if (status == 206) {
        return rangeStart.has_value() && *rangeStart == offset;
    }
    return status == 200 && offset == 0;
}

int ResultAfterUnsatisfiable(int result, long status, int64_t resumeFrom, int64_t sideFileSize,
                             double fileLength) {
    if (status != kRangeNotSatisfiable || resumeFrom <= 0 || (result != 0 && result != kHttpError)) {
        return result;
    }
    return static_cast<double>(sideFileSize) == fileLength ? 0 : kRangeError;
}

double ProgressPercent(double fileLength, int64_t resumeFrom, int64_t now, int64_t total) {
    if (fileLength > kMinimumLength) {
        const double earlier = resumeFrom > 0 ? static_cast<double>(resumeFrom) : 0.0;
        return (earlier + static_cast<double>(now)) / fileLength * 100.0;
    }
    if (now <= 0 || total <= 0) {
        return 0.0;
    }
    return static_cast<double>(now) * 100.0 / static_cast<double>(total);
}

}  // namespace CurlRules
