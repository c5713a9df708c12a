// fake_child.exe: a child process that replays a script, for the edge cases of the
// package and uninstaller protocol that a real package cannot produce on demand (split
// characters, lines without an end, a flood on standard error, exact pauses).
//
//   fake_child.exe STEP... [--script=FILE] ...
//
// Each argument is one step; "--script=FILE" puts the steps of FILE (one a line, UTF-8,
// empty lines and lines starting with '#' skipped) in its place. Steps run in order:
//
//   out:TEXT              write TEXT to standard output in one WriteFile call
//   err:TEXT              the same to standard error
//   outrep:COUNT:TEXT     write TEXT COUNT times to standard output, in one call
//   errrep:COUNT:TEXT     the same to standard error
//   random:COUNT          write COUNT pseudo-random bytes (always the same ones) to standard output
//   sleep:MS              pause MS milliseconds
//   flush                 nothing: writes go straight to the handle, unbuffered
//   readin                read standard input until it ends
//   close:out | close:err close that handle and keep running (the reader sees the end early)
//   exit:CODE             exit now with CODE: decimal, -decimal or 0xHEX (32 bits)
//
// An argument "--" ends the steps: what follows (a runner's own switches) is ignored.
// When a file "<program name>.script" lies beside the program (Lumivane_un_asa.script
// beside Lumivane_un_asa.exe), its steps run and the whole command line is ignored: that
// is how a test scripts a child whose command line it does not control.
//
// Without an exit step the child exits with 0 after the last step. In TEXT the escapes
// \r \n \t \\ and \xHH (two hex digits: any byte, NUL and halves of UTF-8 characters
// included) stand for their bytes; every other character is written as UTF-8. "out:"
// with no text makes a write of zero bytes, which a pipe reader may see as a read of
// zero bytes before the end. No step writes more than 64 MiB. A script with any bad
// step runs no step at all: the child writes the fault to standard error and exits
// with 125. Arguments reach the child as Windows splits its command line, so a step
// with spaces is quoted as a whole: "out:two words\r\n".
//
// Example: fake_child.exe "out:Progress=0.5\r\n" sleep:200 "out:State=Success\r\n" exit:3
#include <windows.h>

#include <string>
#include <vector>

#include "tools/fakechild/FakeChildScript.h"
#include "utils/UniqueHandle.h"
#include "utils/Utf8.h"

namespace {

constexpr int kScriptErrorExitCode = 125;
constexpr DWORD kMaxScriptFileBytes = 16u * 1024u * 1024u;

bool ReadWholeFile(const std::wstring& path, std::string& content) {
    Utils::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxScriptFileBytes) {
        return false;
    }
    content.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return content.empty() ||
           (::ReadFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr) &&
            read == content.size());
}

void WriteAll(HANDLE handle, const std::string& bytes) {
    DWORD written = 0;
    // A reader that went away is not the child's problem: real packages carry on too.
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void ReadUntilEnd(HANDLE input) {
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    }
}

void CloseStandardHandle(DWORD which, HANDLE& handle) {
    if (handle && handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
    }
    handle = nullptr;
    ::SetStdHandle(which, nullptr);
}

int Fail(const std::wstring& message) {
    std::string bytes = "fake_child: " + Utils::EncodeUtf8(message) + "\r\n";
    WriteAll(::GetStdHandle(STD_ERROR_HANDLE), bytes);
    return kScriptErrorExitCode;
}

}  // namespace

// "<folder>\<name>.script" for this program "<folder>\<name>.exe".
std::wstring CompanionScriptPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    std::wstring script(path, length);
    const size_t dot = script.find_last_of(L'.');
    if (dot == std::wstring::npos || script.find(L'\\', dot) != std::wstring::npos)
        return {};
    return script.substr(0, dot) + L".script";
}

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> texts;
    std::string companion;
    const bool scripted = ReadWholeFile(CompanionScriptPath(), companion);
    if (scripted) {
        texts = FakeChild::ScriptFileSteps(companion);
    }
    for (int i = 1; i < argc && !scripted; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--") {
            break;
        }
        const std::wstring scriptOption = L"--script=";
        if (argument.compare(0, scriptOption.size(), scriptOption) != 0) {
            texts.push_back(argument);
            continue;
        }
        std::string content;
        if (!ReadWholeFile(argument.substr(scriptOption.size()), content)) {
            return Fail(L"cannot read the script file " + argument.substr(scriptOption.size()));
        }
        for (std::wstring& step : FakeChild::ScriptFileSteps(content)) {
            texts.push_back(std::move(step));
        }
    }

    std::vector<FakeChild::Step> steps;
    for (size_t i = 0; i < texts.size(); ++i) {
        FakeChild::StepResult parsed = FakeChild::ParseStep(texts[i]);
        if (!parsed.ok) {
            return Fail(L"step " + std::to_wstring(i + 1) + L" \"" + texts[i] + L"\": " + parsed.error);
        }
        steps.push_back(std::move(parsed.step));
    }

    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    for (const FakeChild::Step& step : steps) {
        switch (step.kind) {
            case FakeChild::StepKind::WriteOut:
                WriteAll(out, step.bytes);
                break;
            case FakeChild::StepKind::WriteErr:
                WriteAll(err, step.bytes);
                break;
            case FakeChild::StepKind::Sleep:
                ::Sleep(step.value);
                break;
            case FakeChild::StepKind::ReadIn:
                ReadUntilEnd(::GetStdHandle(STD_INPUT_HANDLE));
                break;
            case FakeChild::StepKind::CloseOut:
                CloseStandardHandle(STD_OUTPUT_HANDLE, out);
                break;
            case FakeChild::StepKind::CloseErr:
                CloseStandardHandle(STD_ERROR_HANDLE, err);
                break;
            case FakeChild::StepKind::Flush:
                break;
            case FakeChild::StepKind::Exit:
                return static_cast<int>(step.value);
        }
    }
    return 0;
}
