#pragma once
// The decisions of the multi-part download that need no network: how a length is split
// into ranges, where a part resumes from what its file holds, which lengths are fetched at
// all, and which answers may be written into a part file. Kept apart so that each rule is
// tested as a table.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace MultiPartRules {

// Below 256 bytes the answer is an error page, not the package; offsets are kept in 32 bits,
// so a larger length cannot be addressed and is refused before anything is written.
constexpr int64_t kMinimumLength = 256;
constexpr int64_t kMaximumLength = 2147483647;
bool IsAcceptedLength(int64_t length);

// Each started 10 MiB earns a part, but never more than two: more connections to the same
// server gain nothing and are easily mistaken for abuse.
constexpr int64_t kBytesPerPart = 10485760;
constexpr int kMaximumParts = 2;

// An inclusive byte range of the whole file.
struct ByteRange {
    int64_t first = 0;
    int64_t last = -1;
    bool operator==(const ByteRange&) const = default;
};

// The parts of an accepted length, in file order; the last one takes the remainder.
// Empty for a length that IsAcceptedLength refuses.
std::vector<ByteRange> SplitIntoParts(int64_t length);

// What remains to fetch of a part whose file already holds `existing` bytes. A part file
// longer than its range (left by a different layout) is not trusted: nothing is kept.
struct PartPlan {
    int64_t startPos = 0;
    int64_t endPos = -1;
    int64_t existing = 0;
    bool complete = false;
    bool operator==(const PartPlan&) const = default;
};
PartPlan PlanPart(const ByteRange& range, int64_t existing);

// The Range request value: "a-b".
std::string RangeText(int64_t first, int64_t last);

// "bytes a-b/total" (or "/*") as a range; nothing for anything else, "bytes */total" too.
std::optional<ByteRange> ParseContentRange(std::string_view value);

// Whether an answer's body belongs in the part file that asked for `asked`: only a 206
// covering exactly that range. A 200 carries the file from its first byte and a 206 for
// another range carries foreign bytes; either would corrupt the package. Status 0 is a
// "file:///" address, where libcurl reads the range itself.
bool AnswerFitsPart(long status, const std::optional<ByteRange>& contentRange, const ByteRange& asked);

// Percentage of the whole file on disk, from each part's byte count; 0 when the length is
// not known.
double PercentDone(int64_t fileLength, const std::vector<int64_t>& downloaded);

}  // namespace MultiPartRules
