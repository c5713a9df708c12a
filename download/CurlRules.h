#pragma once
// The decisions of the single-stream download that need no network: which lengths are
// fetched, how many attempts a failure pattern gets, what a resumed answer must look like,
// and how far along a transfer is. Kept apart so that each rule is tested as a table.

#include <cstdint>
#include <optional>
#include <string_view>

namespace CurlRules {

// libcurl results the rules look at.
constexpr int kPartialFile = 18;  // CURLE_PARTIAL_FILE: the body ended early
constexpr int kRangeError = 33;   // CURLE_RANGE_ERROR: the server would not resume
constexpr int kHttpError = 22;    // CURLE_HTTP_RETURNED_ERROR
constexpr long kRangeNotSatisfiable = 416;

// A package below 1 MiB is an error page, not the package. Above 2 GiB - 1 the side file's
// size no longer fits the resume offset we keep, and no real package is that large: such a
// length is a lie that would fill the disk, so it is refused before anything is written.
constexpr double kMinimumLength = 1048576.0;
constexpr double kMaximumLength = 2147483647.0;
bool IsAcceptedLength(double length);

// Twelve points; an early end of the body (which the next attempt resumes) costs one,
// anything else two. Spend answers whether another attempt may follow this failure.
class RetryBudget {
public:
    bool Spend(int result);
    int Left() const { return left_; }

private:
    int left_ = 12;
};

// The first byte of "bytes a-b/total" (or "bytes a-b/*"); nothing for anything else,
// "bytes */total" included.
std::optional<int64_t> ContentRangeStart(std::string_view value);

// Whether an answer's body may be appended to a side file that holds resumeFrom bytes:
// a fresh transfer takes a 200 or a 206 from byte 0; a resumed one only a 206 that starts
// exactly where the side file ends. Anything else would splice foreign bytes into the
// package. Status 0 is a "file:///" address, where libcurl seeks to the offset itself.
bool AnswerFitsSideFile(long status, std::optional<int64_t> rangeStart, int64_t resumeFrom);

// A resumed transfer answered 416 (libcurl reports it as 22, or as success): the side
// file is complete when it already holds the whole length, and 0 is the result; otherwise
// the server refused our offset, which is kRangeError. Other outcomes pass unchanged.
int ResultAfterUnsatisfiable(int result, long status, int64_t resumeFrom, int64_t sideFileSize,
                             double fileLength);

// Percentage done for the progress report; 0 means "nothing to report". With a known
// length the side file's earlier bytes count; otherwise libcurl's own totals, which cover
// only the part still to come.
double ProgressPercent(double fileLength, int64_t resumeFrom, int64_t now, int64_t total);

}  // namespace CurlRules
