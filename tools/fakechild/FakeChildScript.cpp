#include "tools/fakechild/FakeChildScript.h"

#include <limits>
#include <optional>

#include "utils/Utf8.h"

namespace FakeChild {
namespace {

std::optional<int> HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return std::nullopt;
}

// Plain decimal digits only, no sign or spaces, so that "sleep: 5" is an error rather
// than a sleep of some other length.
std::optional<uint64_t> ParseDecimal(std::wstring_view text, uint64_t maximum) {
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        const auto digit = static_cast<uint64_t>(c - L'0');
        if (value > (maximum - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

// Decimal, negative decimal or 0x hex: a test can ask for -1 as well as 0xC0000005.
std::optional<uint32_t> ParseExitCode(std::wstring_view text) {
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        std::wstring_view digits = text.substr(2);
        if (digits.size() > 8) {
            return std::nullopt;
        }
        uint32_t value = 0;
        for (wchar_t c : digits) {
            std::optional<int> digit = HexDigit(c);
            if (!digit) {
                return std::nullopt;
            }
            value = value * 16 + static_cast<uint32_t>(*digit);
        }
        return value;
    }
    if (!text.empty() && text[0] == L'-') {
        std::optional<uint64_t> magnitude = ParseDecimal(text.substr(1), uint64_t{1} << 31);
        if (!magnitude) {
            return std::nullopt;
        }
        return static_cast<uint32_t>(0u - static_cast<uint32_t>(*magnitude));
    }
    std::optional<uint64_t> value = ParseDecimal(text, std::numeric_limits<uint32_t>::max());
    if (!value) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(*value);
}

StepResult Failure(std::wstring error) {
    StepResult result;
    result.error = std::move(error);
    return result;
}

StepResult Success(StepKind kind, std::string bytes = {}, uint32_t value = 0) {
    StepResult result;
    result.ok = true;
    result.step.kind = kind;
    result.step.bytes = std::move(bytes);
    result.step.value = value;
    return result;
}

StepResult ParseWrite(StepKind kind, std::wstring_view text) {
    std::string bytes;
    std::wstring error;
    if (!UnescapeText(text, bytes, error)) {
        return Failure(error);
    }
    if (bytes.size() > kMaxStepBytes) {
        return Failure(L"the text is longer than one step may write");
    }
    return Success(kind, std::move(bytes));
}

// "<count>:<text>"
StepResult ParseRepeatedWrite(StepKind kind, std::wstring_view argument) {
    const size_t colon = argument.find(L':');
    if (colon == std::wstring_view::npos) {
        return Failure(L"expected <count>:<text>");
    }
    std::optional<uint64_t> count = ParseDecimal(argument.substr(0, colon), kMaxStepBytes);
    if (!count) {
        return Failure(L"the count is no decimal number up to the step limit");
    }
    std::string unit;
    std::wstring error;
    if (!UnescapeText(argument.substr(colon + 1), unit, error)) {
        return Failure(error);
    }
    if (!unit.empty() && *count > kMaxStepBytes / unit.size()) {
        return Failure(L"count times text is more than one step may write");
    }
    std::string bytes;
    if (!unit.empty()) {
        bytes.reserve(unit.size() * *count);
        for (uint64_t i = 0; i < *count; ++i) {
            bytes += unit;
        }
    }
    return Success(kind, std::move(bytes));
}

}  // namespace

bool UnescapeText(std::wstring_view text, std::string& bytes, std::wstring& error) {
    bytes.clear();
    size_t literalStart = 0;
    auto flushLiteral = [&](size_t end) {
        bytes += Utils::EncodeUtf8(text.substr(literalStart, end - literalStart));
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\') {
            continue;
        }
        flushLiteral(i);
        if (i + 1 >= text.size()) {
            error = L"a backslash ends the text; write \\\\ for one backslash";
            return false;
        }
        switch (text[i + 1]) {
            case L'r':
                bytes += '\r';
                break;
            case L'n':
                bytes += '\n';
                break;
            case L't':
                bytes += '\t';
                break;
            case L'\\':
                bytes += '\\';
                break;
            case L'x': {
                std::optional<int> high = i + 2 < text.size() ? HexDigit(text[i + 2]) : std::nullopt;
                std::optional<int> low = i + 3 < text.size() ? HexDigit(text[i + 3]) : std::nullopt;
                if (!high || !low) {
                    error = L"\\x needs two hex digits";
                    return false;
                }
                bytes += static_cast<char>(*high * 16 + *low);
                i += 2;
                break;
            }
            default:
                error = L"unknown escape \\" + std::wstring(1, text[i + 1]) +
                        L"; known are \\r \\n \\t \\\\ \\xHH";
                return false;
        }
        ++i;
        literalStart = i + 1;
    }
    flushLiteral(text.size());
    return true;
}

StepResult ParseStep(std::wstring_view text) {
    const size_t colon = text.find(L':');
    const std::wstring_view name = text.substr(0, colon);
    const bool hasArgument = colon != std::wstring_view::npos;
    const std::wstring_view argument = hasArgument ? text.substr(colon + 1) : std::wstring_view();

    if (name == L"flush" || name == L"readin") {
        if (hasArgument) {
            return Failure(std::wstring(name) + L" takes no argument");
        }
        return Success(name == L"flush" ? StepKind::Flush : StepKind::ReadIn);
    }
    if (!hasArgument) {
        return Failure(L"unknown step \"" + std::wstring(text) +
                       L"\"; expected out: err: outrep: errrep: random: sleep: close: exit: flush readin");
    }
    if (name == L"out") {
        return ParseWrite(StepKind::WriteOut, argument);
    }
    if (name == L"err") {
        return ParseWrite(StepKind::WriteErr, argument);
    }
    if (name == L"outrep") {
        return ParseRepeatedWrite(StepKind::WriteOut, argument);
    }
    if (name == L"errrep") {
        return ParseRepeatedWrite(StepKind::WriteErr, argument);
    }
    if (name == L"random") {
        std::optional<uint64_t> count = ParseDecimal(argument, kMaxStepBytes);
        if (!count) {
            return Failure(L"random: needs a decimal byte count up to the step limit");
        }
        return Success(StepKind::WriteOut, PseudoRandomBytes(static_cast<size_t>(*count)));
    }
    if (name == L"sleep") {
        std::optional<uint64_t> ms = ParseDecimal(argument, std::numeric_limits<uint32_t>::max() - 1);
        if (!ms) {
            return Failure(L"sleep: needs decimal milliseconds");
        }
        return Success(StepKind::Sleep, {}, static_cast<uint32_t>(*ms));
    }
    if (name == L"close") {
        if (argument == L"out") {
            return Success(StepKind::CloseOut);
        }
        if (argument == L"err") {
            return Success(StepKind::CloseErr);
        }
        return Failure(L"close: takes out or err");
    }
    if (name == L"exit") {
        std::optional<uint32_t> code = ParseExitCode(argument);
        if (!code) {
            return Failure(L"exit: needs a decimal, negative decimal or 0x hex code of 32 bits");
        }
        return Success(StepKind::Exit, {}, *code);
    }
    return Failure(L"unknown step \"" + std::wstring(name) + L"\"");
}

std::string PseudoRandomBytes(size_t count) {
    // SplitMix64: tiny, fully specified, and the same everywhere, unlike the standard
    // library's distributions.
    uint64_t state = 0x4c756d6976616e65ull;
    std::string bytes;
    bytes.reserve(count);
    while (bytes.size() < count) {
        state += 0x9e3779b97f4a7c15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        for (int shift = 0; shift < 64 && bytes.size() < count; shift += 8) {
            bytes += static_cast<char>((z >> shift) & 0xff);
        }
    }
    return bytes;
}

std::vector<std::wstring> ScriptFileSteps(std::string_view content) {
    std::vector<std::wstring> steps;
    constexpr std::string_view byteOrderMark = "\xef\xbb\xbf";
    size_t start = content.substr(0, byteOrderMark.size()) == byteOrderMark ? byteOrderMark.size() : 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos) {
            end = content.size();
        }
        std::string_view line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty() && line.front() != '#') {
            steps.push_back(Utils::DecodeUtf8(line));
        }
        start = end + 1;
    }
    return steps;
}

}  // namespace FakeChild
