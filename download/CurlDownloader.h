#pragma once
// The single-stream downloader: CurlClient on a worker thread ("ABDEF"), with a retry
// budget across failed transfers and an MD5 check against the digest in the final address.
// Who runs what: the owner constructs, calls Start and destroys; every event and the owner's
// answer to DL_CODE_RETRY (a new Start) happen on the worker. Stopping: destruction stops a
// running attempt (the transfer aborts, the pause between attempts ends) and waits for it;
// nothing is reported after destruction has begun.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "download/CurlClient.h"
#include "download/Downloader.h"
#include "utils/InstallEvents.h"
#include "utils/Thread.h"
#include "utils/UniqueHandle.h"

class CCurlDownloader : public CDownloader {
public:
    CCurlDownloader(EventCallback callback, const std::wstring& url, const std::wstring& filePath);
    ~CCurlDownloader() override;

    void Start() override;

    static uint32_t dlThreadFun(void* downloader);

    // Pause between failed attempts, so a server that refuses quickly is not hammered.
    static constexpr DWORD kRetryPauseMs = 500;

private:
    static void OnProgress(void* owner, double speed, double percent);
    void Send(int32_t code, double value, const wchar_t* text);
    bool PauseBeforeRetry();
    void CheckDigestAndReport();
    std::unique_ptr<Utils::Thread> TakeWorkers(std::unique_ptr<Utils::Thread>& older);

    EventCallback callback;
    std::wstring filePath;
    std::wstring url;
    CurlClient client;
    bool retried = false;

    std::atomic<bool> stopping_{false};
    Utils::UniqueHandle stopEvent_;
    std::mutex workersMutex_;  // the two slots below; never held while joining
    std::unique_ptr<Utils::Thread> worker;
    // A worker that started its successor from inside its own callback: it cannot join
    // itself, so whoever starts or destroys next joins it.
    std::unique_ptr<Utils::Thread> retiredWorker_;
};
