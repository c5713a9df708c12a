#include "download/MultiPartRules.h"

#include <charconv>

namespace MultiPartRules {

bool IsAcceptedLength(int64_t length) {
    return length >= kMinimumLength && length <= kMaximumLength;
}

std::vector<ByteRange> SplitIntoParts(int64_t length) {
    std::vector<ByteRange> parts;
    if (!IsAcceptedLength(length))
        return parts;
    int64_t count = length / kBytesPerPart;
    if (count < 1)
        count = 1;
    if (count > kMaximumParts)
        count = kMaximumParts;
    const int64_t size = length / count;
    int64_t offset = 0;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t thisSize = i + 1 == count ? size + length % count : size;
        parts.push_back({offset, offset + thisSize - 1});
        offset += thisSize;
    }
    return parts;
}

PartPlan PlanPart(const ByteRange& range, int64_t existing) {
    const int64_t length = range.last - range.first + 1;
    if (existing < 0 || existing > length)
        existing = 0;
    PartPlan plan;
    plan.existing = existing;
    plan.startPos = range.first + existing;
    plan.endPos = range.last;
    plan.complete = plan.startPos > plan.endPos;
    return plan;
}

std::string RangeText(int64_t first, int64_t last) {
    return std::to_string(first) + "-" + std::to_string(last);
}

namespace {

bool ReadNumber(std::string_view& text, int64_t& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end == text.data())
        return false;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

}  // namespace

std::optional<ByteRange> ParseContentRange(std::string_view value) {
    constexpr std::string_view unit = "bytes ";
    if (value.substr(0, unit.size()) != unit)
        return std::nullopt;
    value.remove_prefix(unit.size());
    ByteRange range;
    if (!ReadNumber(value, range.first) || value.empty() || value.front() != '-')
        return std::nullopt;
    value.remove_prefix(1);
    if (!ReadNumber(value, range.last) || value.empty() || value.front() != '/')
        return std::nullopt;
    if (range.first < 0 || range.last < range.first)
        return std::nullopt;
    return range;
}

bool AnswerFitsPart(long status, const std::optional<ByteRange>& contentRange, const ByteRange& asked) {
    if (status == 0)
        return true;
    return status == 206 && contentRange.has_value() && *contentRange == asked;
}

double PercentDone(int64_t fileLength, const std::vector<int64_t>& downloaded) {
    if (!IsAcceptedLength(fileLength))
        return 0.0;
    double percent = 0.0;
    for (int64_t bytes : downloaded) {
        if (bytes > 0)
            percent += static_cast<double>(bytes) * 100.0 / static_cast<double>(fileLength);
    }
    return percent;
}

}  // namespace MultiPartRules
