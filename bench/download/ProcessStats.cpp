// Runs the command line given as its arguments and reports what it cost:
//   bench_process_stats PROGRAM [ARGS...]
// prints "wall_ms=<n> peak_working_set_bytes=<n> exit_code=<n>" once the program ended
// and exits with the program's exit code (kExitNotStarted when it could not start).

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr int kExitNotStarted = 125;

// The command line after our own program name, exactly as the caller quoted it: rebuilding
// it from argv would have to redo Windows' quoting rules and could change the arguments.
std::wstring ChildCommandLine(const wchar_t* line) {
    const wchar_t* p = line;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

constexpr DWORD kSampleMs = 20;

// Raises peak to the process's peak working set; kernel32's own export, so no psapi.dll.
bool SamplePeak(HANDLE process, unsigned long long& peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!K32GetProcessMemoryInfo(process, &counters, sizeof(counters)))
        return false;
    const unsigned long long seen = std::max(counters.PeakWorkingSetSize, counters.WorkingSetSize);
    if (seen == 0)
        return false;
    peak = std::max(peak, seen);
    return true;
}

struct Handles {
    PROCESS_INFORMATION info{};
    ~Handles() {
        if (info.hThread)
            CloseHandle(info.hThread);
        if (info.hProcess)
            CloseHandle(info.hProcess);
    }
};

}  // namespace

int wmain(int argc, wchar_t** /*argv*/) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_process_stats PROGRAM [ARGS...]\n");
        return kExitNotStarted;
    }
    // CreateProcessW may write into the command line, so it gets a buffer of its own.
    std::wstring command = ChildCommandLine(GetCommandLineW());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    Handles child;
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child.info)) {
        std::fprintf(stderr, "cannot start %ls: error %lu\n", command.c_str(), GetLastError());
        return kExitNotStarted;
    }
    // Wine keeps no counters for a process that has ended (it reads them from the live
    // Linux process), so the peak is also sampled while the program runs.
    unsigned long long peak = 0;
    bool counted = false;
    while (WaitForSingleObject(child.info.hProcess, kSampleMs) == WAIT_TIMEOUT)
        counted |= SamplePeak(child.info.hProcess, peak);
    const auto wallMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    counted |= SamplePeak(child.info.hProcess, peak);
    if (!counted)
        std::fprintf(stderr, "no memory counters: error %lu\n", GetLastError());

    DWORD exitCode = 0;
    GetExitCodeProcess(child.info.hProcess, &exitCode);
    std::printf("wall_ms=%lld peak_working_set_bytes=%llu exit_code=%lu\n", static_cast<long long>(wallMs),
                peak, exitCode);
    std::fflush(stdout);
    return static_cast<int>(exitCode);
}
