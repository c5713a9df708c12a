// The script language of fake_child.exe: the runner tests rely on it producing exactly
// the bytes a script names, and on a mistyped script failing before any step runs.
#include "tools/fakechild/FakeChildScript.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using FakeChild::ParseStep;
using FakeChild::StepKind;

std::string Bytes(std::initializer_list<unsigned char> values) {
    return std::string(values.begin(), values.end());
}

struct UnescapeCase {
    const wchar_t* text;
    std::string bytes;
};

TEST(FakeChildScriptTest, UnescapeGivesTheNamedBytes) {
    const UnescapeCase cases[] = {
        {L"", ""},
        {L"State=Success", "State=Success"},
        {L"Progress=0.5\\r\\n", "Progress=0.5\r\n"},
        {L"a\\tb", "a\tb"},
        {L"C:\\\\Apps\\\\Lumivane", "C:\\Apps\\Lumivane"},
        {L"x\\x00y", std::string("x\0y", 3)},
        {L"\\xe4\\xB8", Bytes({0xe4, 0xb8})},  // the first two bytes of a three-byte character
        {L"\\xFF\\xfe", Bytes({0xff, 0xfe})},
        {L"\u4e2d", Bytes({0xe4, 0xb8, 0xad})},  // literal text is written as UTF-8
        {L"Error=\u00e9\\n", Bytes({'E', 'r', 'r', 'o', 'r', '=', 0xc3, 0xa9, '\n'})},
        {L"\\\\x41", "\\x41"},  // an escaped backslash does not start an escape
        {L"\\x41\\x4a", "AJ"},
    };
    for (const UnescapeCase& c : cases) {
        std::string bytes = "stale";
        std::wstring error;
        EXPECT_TRUE(FakeChild::UnescapeText(c.text, bytes, error)) << c.text;
        EXPECT_EQ(bytes, c.bytes) << c.text;
        EXPECT_TRUE(error.empty()) << c.text;
    }
}

TEST(FakeChildScriptTest, EveryByteCanBeWrittenAsHexEscape) {
    for (int value = 0; value < 256; ++value) {
        wchar_t text[8];
        std::swprintf(text, 8, L"\\x%02X", value);
        std::string bytes;
        std::wstring error;
        ASSERT_TRUE(FakeChild::UnescapeText(text, bytes, error)) << text;
        ASSERT_EQ(bytes, std::string(1, static_cast<char>(value))) << text;
    }
}

TEST(FakeChildScriptTest, BadEscapesAreRefusedWithAReason) {
    const wchar_t* const cases[] = {
        L"\\", L"abc\\", L"\\q", L"\\x", L"\\x4", L"\\x4g", L"\\xZZ", L"ok\\r\\n\\0",
    };
    for (const wchar_t* text : cases) {
        std::string bytes;
        std::wstring error;
        EXPECT_FALSE(FakeChild::UnescapeText(text, bytes, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

struct StepCase {
    const wchar_t* text;
    StepKind kind;
    std::string bytes;
    uint32_t value;
};

TEST(FakeChildScriptTest, StepsParseToTheirKindBytesAndValue) {
    const StepCase cases[] = {
        {L"out:Progress=0.5\\r\\n", StepKind::WriteOut, "Progress=0.5\r\n", 0},
        {L"out:", StepKind::WriteOut, "", 0},
        {L"out:a:b", StepKind::WriteOut, "a:b", 0},  // only the first colon separates
        {L"err:oops\\n", StepKind::WriteErr, "oops\n", 0},
        {L"outrep:3:ab", StepKind::WriteOut, "ababab", 0},
        {L"outrep:2:x:y", StepKind::WriteOut, "x:yx:y", 0},
        {L"errrep:4:\\x00", StepKind::WriteErr, std::string(4, '\0'), 0},
        {L"errrep:0:abc", StepKind::WriteErr, "", 0},
        {L"outrep:67108864:", StepKind::WriteOut, "", 0},  // any count of nothing is nothing
        {L"random:0", StepKind::WriteOut, "", 0},
        {L"sleep:0", StepKind::Sleep, "", 0},
        {L"sleep:200", StepKind::Sleep, "", 200},
        {L"sleep:4294967294", StepKind::Sleep, "", 4294967294u},
        {L"readin", StepKind::ReadIn, "", 0},
        {L"flush", StepKind::Flush, "", 0},
        {L"close:out", StepKind::CloseOut, "", 0},
        {L"close:err", StepKind::CloseErr, "", 0},
        {L"exit:0", StepKind::Exit, "", 0},
        {L"exit:3", StepKind::Exit, "", 3},
        {L"exit:4294967295", StepKind::Exit, "", 0xffffffffu},
        {L"exit:-1", StepKind::Exit, "", 0xffffffffu},
        {L"exit:-2147483648", StepKind::Exit, "", 0x80000000u},
        {L"exit:0xC0000005", StepKind::Exit, "", 0xc0000005u},
        {L"exit:0x1", StepKind::Exit, "", 1},
    };
    for (const StepCase& c : cases) {
        FakeChild::StepResult result = ParseStep(c.text);
        ASSERT_TRUE(result.ok) << c.text << L": " << result.error;
        EXPECT_EQ(result.step.kind, c.kind) << c.text;
        EXPECT_EQ(result.step.bytes, c.bytes) << c.text;
        EXPECT_EQ(result.step.value, c.value) << c.text;
    }
}

TEST(FakeChildScriptTest, BadStepsAreRefusedWithAReason) {
    const wchar_t* const cases[] = {
        L"",
        L"bogus",
        L"bogus:1",
        L"OUT:x",  // names are case-sensitive
        L"out",
        L"out:\\q",
        L"sleep:",
        L"sleep:-1",
        L"sleep: 5",
        L"sleep:1e3",
        L"sleep:4294967295",  // INFINITE is no pause
        L"sleep:99999999999999999999999",
        L"exit:",
        L"exit:x",
        L"exit:0x",
        L"exit:0xG",
        L"exit:0x123456789",
        L"exit:4294967296",
        L"exit:-2147483649",
        L"exit:--1",
        L"outrep:3",
        L"outrep::ab",
        L"outrep:abc:x",
        L"outrep:-1:x",
        L"outrep:67108865:",
        L"errrep:33554433:ab",  // twice the count is over the step limit
        L"errrep:2:\\x4",
        L"random:",
        L"random:x",
        L"random:67108865",
        L"readin:1",
        L"flush:",
        L"close:",
        L"close:in",
    };
    for (const wchar_t* text : cases) {
        FakeChild::StepResult result = ParseStep(text);
        EXPECT_FALSE(result.ok) << text;
        EXPECT_FALSE(result.error.empty()) << text;
    }
}

TEST(FakeChildScriptTest, RandomBytesAreRepeatableAndSpread) {
    const std::string first = FakeChild::PseudoRandomBytes(65536);
    ASSERT_EQ(first.size(), 65536u);
    EXPECT_EQ(FakeChild::PseudoRandomBytes(65536), first);
    // A shorter run is a prefix of a longer one, also when it ends inside a 64-bit draw.
    for (size_t count : {size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{1000}}) {
        EXPECT_EQ(FakeChild::PseudoRandomBytes(count), first.substr(0, count)) << count;
    }

    std::array<int, 256> counts = {};
    for (char c : first) {
        ++counts[static_cast<unsigned char>(c)];
    }
    // 256 of each on average; a stuck or biased generator falls far outside this.
    for (int value = 0; value < 256; ++value) {
        EXPECT_GT(counts[value], 128) << value;
        EXPECT_LT(counts[value], 384) << value;
    }

    FakeChild::StepResult step = ParseStep(L"random:1000");
    ASSERT_TRUE(step.ok);
    EXPECT_EQ(step.step.kind, StepKind::WriteOut);
    EXPECT_EQ(step.step.bytes, first.substr(0, 1000));
}

struct ScriptFileCase {
    std::string content;
    std::vector<std::wstring> steps;
};

TEST(FakeChildScriptTest, ScriptFilesGiveOneStepPerLine) {
    const ScriptFileCase cases[] = {
        {"", {}},
        {"\n\r\n\n", {}},
        {"out:a\nsleep:5\nexit:1\n", {L"out:a", L"sleep:5", L"exit:1"}},
        {"out:a\r\nsleep:5\r\n", {L"out:a", L"sleep:5"}},
        {"out:no line end", {L"out:no line end"}},
        {"# a comment\nout:x\n\n#out:skipped\n", {L"out:x"}},
        {"out: # kept\n", {L"out: # kept"}},
        {"  out:x\n", {L"  out:x"}},  // kept, and then refused by the parser, not guessed at
        {"\xef\xbb\xbfout:bom\n", {L"out:bom"}},
        {"out:\xe4\xb8\xad\n", {L"out:\u4e2d"}},
        {"out:\\r\\n\n", {L"out:\\r\\n"}},  // escapes are the step parser's business
    };
    for (const ScriptFileCase& c : cases) {
        EXPECT_EQ(FakeChild::ScriptFileSteps(c.content), c.steps) << c.content;
    }
}

}  // namespace
