#pragma once
// The installation chain: optional removal of an old version, download of the package,
// silent run of the package. Owns the producers and forwards each of their events to the
// owner's callback first, then moves the chain on.
// Threads: SetParams, Start and destruction on the owner's (UI) thread; each step runs on
// its producer's worker, inside the report. The phases follow one another, so the steps
// never run at the same time and no lock is taken.
// Stopping: destruction releases the downloader (which stops its transfer), then the
// installer runner, then the uninstaller runner; each waits for its worker.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "download/Downloader.h"
#include "install/Installer.h"
#include "install/UnInstaller.h"
#include "utils/InstallEvents.h"

// The owner's choices that come from its settings, kept apart from the settings record
// so the chain does not depend on the application layer.
struct DownloadInstallerOptions {
    long downloadType = 1;        // 2: WinHTTP, 3: multi-part libcurl, else single-stream
    bool installNew = false;      // wait for a running "lumivane.exe" before uninstalling
    std::wstring extraArguments;  // the distributor's InstCmd, appended to the package's
};

class CDownloadInstaller {
public:
    using Options = DownloadInstallerOptions;

    CDownloadInstaller(EventCallback windowCallback, Options options = {});
    ~CDownloadInstaller();
    CDownloadInstaller(const CDownloadInstaller&) = delete;
    CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

    void SetParams(const std::wstring& downloadUrl, const std::wstring& oldUninstallerPath,
                   const std::wstring& installDir, bool desktopShortcut, bool quickLaunchShortcut,
                   bool userIsAdmin, bool processIsAdmin, const std::wstring& installLanguage);

    // Launches the first applicable step and returns.
    void Start();

    // "<dir>\__Package_Lumivane.exe".
    static std::wstring PackagePathFor(const std::wstring& installDir);
    // The package removed most recently by any pipeline of this process.
    static std::wstring lastRemovedPackage;

    const std::wstring& PackagePath() const { return packagePath; }

private:
    void CreateProducers();
    void StartUninstall();
    void StartDownloadAfterUninstall();
    // packageMayRun: the package reported its end and may still be running.
    void RemovePackage(bool packageMayRun);
    static void WaitWhileProductRuns();

    std::unique_ptr<CUnInstaller> uninstallerRunner;
    std::unique_ptr<CInstaller> installerRunner;
    std::unique_ptr<CDownloader> downloader;

    Options options;
    std::wstring downloadUrl;
    std::wstring oldUninstallerPath;
    std::wstring installDir;
    std::wstring packagePath;
    std::wstring installLanguage;
    bool desktopShortcut = true;
    bool quickLaunchShortcut = true;
    bool userIsAdmin = true;
    bool processIsAdmin = false;
    EventCallback windowCallback;

    // Destruction sets this (under the mutex) before releasing anything: a step still
    // reporting must not start a producer that is about to be, or has been, released.
    std::atomic<bool> stopping_{false};
    std::mutex downloaderMutex_;  // the uninstall step's start of the download vs. destruction
    // The downloader as its own step sees it: stays valid while the downloader's destructor
    // waits for the worker that is reporting, whereas the owning pointer is already empty.
    CDownloader* activeDownloader_ = nullptr;
};
