#include "download/WinHttpDownloader.h"

#include <windows.h>

#include <ctime>

#include "download/WinHttpClient.h"
#include "utils/Log.h"

WinHttpDownloader::WinHttpDownloader(EventCallback callback, std::wstring url, std::wstring filePath)
    : callback_(std::move(callback)), url_(std::move(url)), filePath_(std::move(filePath)) {}

WinHttpDownloader::~WinHttpDownloader() {
    stopping_ = true;
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        if (activeClient_)
            activeClient_->Abort();
    }
    worker_.reset();
    retired_.reset();
}

void WinHttpDownloader::Start() {
    if (worker_ && worker_->threadId == ::GetCurrentThreadId()) {
        // Called from our own callback: waiting for ourselves would never end. This worker
        // does nothing after the callback returns, so it is joined on a later occasion.
        retired_ = std::move(worker_);
    }
    Utils::StartThread(worker_, this, L"ABDEF", [this](void*) { return Run(); });
}

void WinHttpDownloader::Report(int32_t code, double value, const wchar_t* text) {
    // An owner that is destroying us no longer wants to hear about the transfer.
    if (!stopping_ && callback_)
        callback_(code, value, text);
}

void WinHttpDownloader::ReportProgress(uint64_t received, uint64_t total) {
    if (total == 0 || received == 0 || received > total)
        return;
    const int64_t second = static_cast<int64_t>(std::time(nullptr));
    if (second <= lastProgressSecond_)
        return;
    lastProgressSecond_ = second;
    Report(DL_CODE_PROGRESS, static_cast<double>(received) / static_cast<double>(total), L"");
}

uint32_t WinHttpDownloader::Run() {
    Report(DL_CODE_START, 1.0, L"");
    if (filePath_.empty()) {
        Report(DL_CODE_FAIL, 1.0, L"");
        return 0;
    }
    // A file left by an earlier run must not pass for this run's package, whatever happens
    // to the request.
    if (!::DeleteFileW(filePath_.c_str())) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            UTILS_LOG_LINE(L"stale file not removed, error:%d", static_cast<int>(error));
            Report(DL_CODE_FAIL, static_cast<double>(error), kEventText);
            return 0;
        }
    }

    WinHttpClient client(url_);
    client.responseFilePath = filePath_;
    lastProgressSecond_ = 0;
    client.progress = [this](uint64_t received, uint64_t total) { ReportProgress(received, total); };
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        activeClient_ = &client;
        if (stopping_)
            client.Abort();
    }
    const bool done = client.Request(L"GET");
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        activeClient_ = nullptr;
    }

    if (done) {
        Report(DL_CODE_SUCCESS, 0.0, kEventText);
        return 0;
    }
    uint32_t code = client.statusCode != 0 ? client.statusCode : client.lastError;
    if (code == 0)
        code = ERROR_GEN_FAILURE;
    UTILS_LOG_LINE(L"WinHttpDownLoader Code=%d", static_cast<int>(code));
    Report(DL_CODE_FAIL, static_cast<double>(code), kEventText);
    return 0;
}
