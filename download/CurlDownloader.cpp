#include "download/CurlDownloader.h"

#include "download/CurlRules.h"
#include "download/Md5.h"
#include "utils/Log.h"
#include "utils/TextConversion.h"

namespace {

constexpr const wchar_t* kLibCurl = L"LibCurl";
constexpr const wchar_t* kDigestMismatch = L"curl文件md5校验失败";
constexpr const wchar_t* kNoDigestInAddress = L"curl获取url-md5失败";

}  // namespace

CCurlDownloader::CCurlDownloader(EventCallback callback, const std::wstring& url,
                                 const std::wstring& filePath)
    : callback(std::move(callback)),
      filePath(filePath),
      url(url),
      client(url, filePath, this),
      stopEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    client.progressFn = &CCurlDownloader::OnProgress;
    // Every downloader object starts from nothing: a side file of an earlier run may
    // belong to another package.
    if (!filePath.empty())
        ::DeleteFileW(client.GetFilePath(true).c_str());
}

CCurlDownloader::~CCurlDownloader() {
    stopping_ = true;
    client.RequestStop();
    if (stopEvent_)
        ::SetEvent(stopEvent_.get());
    // A worker may still be handing over to a successor; join until no slot is filled.
    for (;;) {
        std::unique_ptr<Utils::Thread> older;
        std::unique_ptr<Utils::Thread> current = TakeWorkers(older);
        if (!current && !older)
            break;
        older.reset();
        current.reset();
    }
}

std::unique_ptr<Utils::Thread> CCurlDownloader::TakeWorkers(std::unique_ptr<Utils::Thread>& older) {
    std::lock_guard<std::mutex> lock(workersMutex_);
    older = std::move(retiredWorker_);
    return std::move(worker);
}

void CCurlDownloader::Start() {
    const DWORD self = ::GetCurrentThreadId();
    std::unique_ptr<Utils::Thread> toJoin[2];
    {
        std::lock_guard<std::mutex> lock(workersMutex_);
        if (stopping_)
            return;
        toJoin[0] = std::move(retiredWorker_);
        if (worker && worker->threadId == self) {
            retiredWorker_ = std::move(worker);
        } else {
            toJoin[1] = std::move(worker);
        }
    }
    // Neither can be this thread: the retired one is our predecessor, and our own worker
    // object was kept aside above.
    toJoin[0].reset();
    toJoin[1].reset();

    std::lock_guard<std::mutex> lock(workersMutex_);
    if (stopping_)
        return;
    std::unique_ptr<Utils::Thread> stale = std::move(worker);
    Utils::StartThread(worker, this, L"ABDEF", &CCurlDownloader::dlThreadFun);
    if (stale)
        retiredWorker_ = std::move(stale);
}

uint32_t CCurlDownloader::dlThreadFun(void* downloader) {
    auto* self = static_cast<CCurlDownloader*>(downloader);
    self->Send(DL_CODE_START, 1.0, L"");
    if (self->filePath.empty()) {
        self->Send(DL_CODE_FAIL, 1.0, L"");
        return 0;
    }
    int result = self->client.Start();
    CurlRules::RetryBudget budget;
    while (result != 0) {
        if (self->stopping_)
            return 0;
        if (!budget.Spend(result)) {
            self->Send(DL_CODE_FAIL, static_cast<double>(result), kLibCurl);
            return 0;
        }
        UTILS_LOG_LINE(L"CurlDownLoader Code=%d", result);
        if (!self->PauseBeforeRetry())
            return 0;
        result = self->client.Start();
    }
    self->CheckDigestAndReport();
    return 0;
}

void CCurlDownloader::CheckDigestAndReport() {
    const std::string expected = GetUrlMd5(client.realUrl);
    if (!IsDigestText(expected)) {
        Send(DL_CODE_ERROR, 0.0, kNoDigestInAddress);
        Send(DL_CODE_SUCCESS, 0.0, kLibCurl);
        return;
    }
    if (DigestMismatch(expected, GetFileMd5(filePath))) {
        Send(DL_CODE_ERROR, 0.0, kDigestMismatch);
        if (retried) {
            Send(DL_CODE_FAIL, 0.0, kLibCurl);
        } else {
            retried = true;
            Send(DL_CODE_RETRY, 0.0, kLibCurl);
        }
        return;
    }
    Send(DL_CODE_SUCCESS, 0.0, kLibCurl);
}

bool CCurlDownloader::PauseBeforeRetry() {
    if (!stopEvent_) {
        ::Sleep(kRetryPauseMs);
        return !stopping_;
    }
    return ::WaitForSingleObject(stopEvent_.get(), kRetryPauseMs) == WAIT_TIMEOUT && !stopping_;
}

void CCurlDownloader::Send(int32_t code, double value, const wchar_t* text) {
    // The owner is tearing us down: its callback may already refer to freed state.
    if (stopping_ || !callback)
        return;
    callback(code, value, text);
}

void CCurlDownloader::OnProgress(void* owner, double speed, double percent) {
    if (speed > 0.0 && percent <= 100.0)
        static_cast<CCurlDownloader*>(owner)->Send(DL_CODE_PROGRESS, percent / 100.0, L"");
}
