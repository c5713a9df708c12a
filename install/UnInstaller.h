#pragma once
// Runs a copy of an old version's uninstaller silently and turns its report lines into
// events. Threads: Start runs on the owner's thread; Run and every event are on the
// worker "UnInstaller". Joining: the destructor joins it. Stopping: a run ends when the
// child ends; there is no time limit.

#include <cstdint>
#include <memory>
#include <string>

#include "utils/ChildProcess.h"
#include "utils/InstallEvents.h"
#include "utils/Thread.h"

class CUnInstaller {
public:
    CUnInstaller(EventCallback callback, std::wstring uninstallerPath, std::wstring uninstallDir);
    ~CUnInstaller();
    CUnInstaller(const CUnInstaller&) = delete;
    CUnInstaller& operator=(const CUnInstaller&) = delete;

    void Start();
    uint32_t Run();

    // Decodes one read of the child's output and raises its events; returns its
    // ReportResult.
    int32_t Parse(const char* bytes, size_t count);

    EventCallback callback;
    std::wstring commandLine;
    std::wstring uninstallerPath;
    std::wstring uninstallDir;
    uint32_t codePage = 0;
    std::unique_ptr<Utils::Thread> readerThread;
    std::unique_ptr<Utils::ChildProcess> child;
};
