#pragma once
// Runs a real child process for end-to-end tests, optionally as its debugger so that the
// lines it writes to the debug output channel can be read, as a debug-output viewer would.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct ChildOptions {
    std::vector<std::wstring> extraEnvironment;  // "NAME=value", added to ours
    bool captureDebugOutput = true;
    DWORD timeoutMs = 60000;  // a child still running then is killed and the result says so
};

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::vector<std::wstring> debugLines;
    // Threads the child named for its debugger: thread id and name.
    std::vector<std::pair<DWORD, std::string>> threadNames;

    int ExitCode() const { return static_cast<int>(exitCode); }
    // The first debug line containing text, or empty.
    std::wstring LineWith(const std::wstring& text) const;
};

ChildResult RunChild(const std::wstring& application, const std::wstring& commandLine,
                     const ChildOptions& options = {});

// "\"path\"" for a command line.
std::wstring Quoted(const std::wstring& path);
