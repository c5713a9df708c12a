#pragma once
// Runs the downloaded package silently and turns its report lines into events.
// Threads: Start runs on the caller's thread (the downloader's, in the pipeline); Run and
// every event of a run are on the worker "ABDEF". Joining: Start and the destructor join
// the previous worker. Stopping: a run ends when the child ends; there is no time limit.

#include <cstdint>
#include <memory>
#include <string>

#include "utils/ChildProcess.h"
#include "utils/InstallEvents.h"
#include "utils/Thread.h"

class CInstaller {
public:
    CInstaller(EventCallback callback, std::wstring packageCommand, std::wstring installDir);
    ~CInstaller();
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // Builds the command line, waits for an earlier run to end, and starts a new run.
    void Start();
    uint32_t Run();

    // Decodes one read of the child's output and raises its events; returns its
    // ReportResult.
    int32_t Parse(const char* bytes, size_t count);

    EventCallback callback;
    std::wstring packageCommand;  // the package path in double quotes
    std::wstring installDir;
    std::wstring commandLine;
    bool quickLaunchShortcut = false;
    bool desktopShortcut = false;
    uint32_t codePage = 0;
    std::unique_ptr<Utils::Thread> readerThread;
    std::unique_ptr<Utils::ChildProcess> child;
    bool userIsAdmin = false;
    bool processIsAdmin = true;
    std::wstring installLanguage;
    std::wstring extraArguments;  // the distributor's InstCmd setting, set by the owner
};
