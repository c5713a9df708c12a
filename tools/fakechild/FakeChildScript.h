#pragma once
// The script language of fake_child.exe, turned into steps without touching the system so
// that every byte the child will write can be checked on any platform. The syntax is
// described at the top of FakeChildMain.cpp.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace FakeChild {

enum class StepKind {
    WriteOut,  // bytes to standard output, in one write
    WriteErr,  // bytes to standard error, in one write
    Sleep,     // value milliseconds
    ReadIn,    // read standard input until it ends
    CloseOut,  // close standard output and keep running
    CloseErr,
    Flush,  // writes are unbuffered: accepted so scripts can say where a reader must see data
    Exit,   // value is the exit code
};

struct Step {
    StepKind kind = StepKind::Flush;
    std::string bytes;
    uint32_t value = 0;
};

// A single step may not produce more than this: a typo in a count must give an error,
// not an allocation failure.
constexpr size_t kMaxStepBytes = 64u * 1024u * 1024u;

struct StepResult {
    bool ok = false;
    Step step;
    std::wstring error;  // says what is wrong when !ok
};

// "\r \n \t \\ \xHH" become their bytes; any other character is written as UTF-8.
// Returns false and names the fault for a lone backslash, an unknown escape or a \x
// without two hex digits.
bool UnescapeText(std::wstring_view text, std::string& bytes, std::wstring& error);

StepResult ParseStep(std::wstring_view text);

// The same bytes for the same count on every run and platform, and count n gives a
// prefix of count n + 1: a reader's output can be compared with a second run.
std::string PseudoRandomBytes(size_t count);

// The steps of a script file: one a line, UTF-8, "\n" or "\r\n" line ends; empty lines and
// lines starting with '#' are skipped, and so is a UTF-8 byte order mark. Leading
// spaces are kept: they may be the text.
std::vector<std::wstring> ScriptFileSteps(std::string_view content);

}  // namespace FakeChild
