#pragma once
// The line protocol in which the package and an old uninstaller report on standard
// output: "Key=value" lines. Each read from the child's pipe is decoded on its own (see
// ReportReaderWin) and parsed here; nothing is carried from one read to the next.
// Platform-neutral: no <windows.h>.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What one read amounted to: no final line, a success line, or a failure line. The last
// final line of a read decides.
enum ReportResult : int32_t { kReportNoFinalLine = 0, kReportSuccess = 1, kReportFailure = 1000 };

// Text values are cut to this many characters.
inline constexpr size_t kReportValueCapacity = 771;

struct ReportLineEvent {
    std::wstring_view key;  // the matched key, such as L"ExePath="
    int32_t code;
    double value;
    std::wstring text;
};

struct ParsedReport {
    std::vector<ReportLineEvent> events;  // in line order
    int32_t result = kReportNoFinalLine;
};

// The package's lines. codePage changes on "Encode=" and applies from the next read on.
ParsedReport ParseInstallerReport(std::wstring_view text, uint32_t& codePage);

// An old uninstaller's lines: fewer keys, and "Encode=" knows only "UTF8".
ParsedReport ParseUninstallerReport(std::wstring_view text, uint32_t& codePage);
