#pragma once
// The downloader of DownloadType 2: one GET through WinHTTP (three send attempts) straight
// into the target file, reporting like the other downloaders. No resume, no digest check.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "download/Downloader.h"
#include "utils/InstallEvents.h"
#include "utils/Thread.h"

class WinHttpClient;

class WinHttpDownloader : public CDownloader {
public:
    // Text of its success and failure events, telling the owner which downloader spoke.
    static constexpr const wchar_t* kEventText = L"WinHttp";

    WinHttpDownloader(EventCallback callback, std::wstring url, std::wstring filePath);
    // Aborts a running transfer and waits for the worker; reports nothing more.
    ~WinHttpDownloader() override;
    WinHttpDownloader(const WinHttpDownloader&) = delete;
    WinHttpDownloader& operator=(const WinHttpDownloader&) = delete;

    void Start() override;

private:
    uint32_t Run();
    void Report(int32_t code, double value, const wchar_t* text);
    void ReportProgress(uint64_t received, uint64_t total);

    EventCallback callback_;
    std::wstring url_;
    std::wstring filePath_;
    std::unique_ptr<Utils::Thread> worker_;
    // A worker that called Start from its own callback; joined later from another thread.
    std::unique_ptr<Utils::Thread> retired_;
    std::atomic<bool> stopping_{false};
    std::mutex clientMutex_;
    WinHttpClient* activeClient_ = nullptr;  // guarded; lives on the worker's stack
    int64_t lastProgressSecond_ = 0;
};
