#include "download/MTCurlDownloader.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <string_view>
#include <thread>

#include "download/CurlSupport.h"
#include "download/Md5.h"
#include "utils/Log.h"
#include "utils/TextConversion.h"

using namespace CurlSupport;

namespace {

constexpr const wchar_t* kLibCurl = L"LibCurl";
constexpr const wchar_t* kDigestMismatch = L"mtcurl文件md5校验失败";
constexpr const wchar_t* kNoDigestInAddress = L"mtcurl获取url-md5失败";

constexpr long kConnectTimeoutSeconds = 60;
// The result of a part that broke the stall rule.
constexpr int kStalled = 28;
constexpr int kPartialFile = 18;
constexpr int kPartBudget = 12;
constexpr DWORD kPartRetryPauseMs = 400;
constexpr DWORD kPartLaunchGapMs = 100;
constexpr DWORD kWaiterPollMs = 200;
constexpr size_t kJoinBlock = 1024;

int64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool HeaderNameIs(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':')
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i])
            return false;
    }
    return true;
}

std::string_view HeaderValue(std::string_view line) {
    line.remove_prefix(line.find(':') + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.remove_suffix(1);
    return line;
}

// Certificates are always checked: the package is run elevated, so a swapped one must
// never be accepted.
int SetGuards(CURL* handle) {
    int result = curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    result |= curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    result |= curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaximumRedirects);
    result |= curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    result |= curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    return result;
}

}  // namespace

CMTCurlDownloader::CMTCurlDownloader(EventCallback callback, const std::wstring& url,
                                     const std::wstring& filePath)
    : callback(std::move(callback)),
      filePath(filePath),
      url(url),
      stopEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      lifetime_(std::make_shared<Lifetime>()) {
    EnsureCurlReady();
    // Every downloader object starts from nothing: part files of an earlier run may belong
    // to another package.
    if (!filePath.empty()) {
        ::DeleteFileW(filePath.c_str());
        deletePartFiles();
    }
}

CMTCurlDownloader::~CMTCurlDownloader() {
    std::unique_ptr<Utils::Thread> worker;
    {
        std::lock_guard<std::mutex> lock(workersMutex_);
        stopping_ = true;
        worker = std::move(startThread);
    }
    if (stopEvent_)
        ::SetEvent(stopEvent_.get());
    worker.reset();  // joins: after it no thread can be launched any more
    {
        std::unique_lock<std::mutex> lock(lifetime_->mutex);
        lifetime_->ended.wait(lock, [this] { return lifetime_->active == 0; });
    }
    clearParts();
}

void CMTCurlDownloader::Start() {
    std::lock_guard<std::mutex> lock(workersMutex_);
    if (stopping_)
        return;
    // The previous start worker ended long ago (it launched the waiter that may be calling
    // us now), so joining it here never waits for ourselves.
    Utils::StartThread(startThread, this, L"ABDEF", &CMTCurlDownloader::Start_Down);
}

void CMTCurlDownloader::Send(int32_t code, double value, const wchar_t* text) {
    // The owner is tearing us down: its callback may already refer to freed state.
    if (stopping_ || !callback)
        return;
    callback(code, value, text);
}

bool CMTCurlDownloader::Pause(DWORD milliseconds) {
    if (!stopEvent_) {
        ::Sleep(milliseconds);
        return !stopping_;
    }
    return ::WaitForSingleObject(stopEvent_.get(), milliseconds) == WAIT_TIMEOUT && !stopping_;
}

void CMTCurlDownloader::deletePartFiles() {
    for (int i = 0; i < MultiPartRules::kMaximumParts; ++i)
        ::DeleteFileW((filePath + L"_" + std::to_wstring(i)).c_str());
}

void CMTCurlDownloader::clearParts() {
    for (auto& part : parts) {
        if (part->curl)
            curl_easy_cleanup(part->curl);
        if (part->file)
            std::fclose(part->file);
    }
    parts.clear();
}

uint32_t CMTCurlDownloader::Start_Down(void* downloader) {
    auto* self = static_cast<CMTCurlDownloader*>(downloader);
    self->Send(DL_CODE_START, 1.0, L"");
    UTILS_LOG_LINE(L"start download");
    if (self->stopping_)
        return 0;
    // UTF-8 for every address: our libcurl is built for Unicode, so it reads file:// paths
    // as UTF-8 too.
    const std::string address = Utils::ToNarrow(self->url, Utils::kCodePageUtf8);
    ::DeleteFileW(self->filePath.c_str());
    double arrived = 0.0;
    {
        std::lock_guard<std::mutex> lock(self->progressMutex_);
        arrived = self->lastProgress;
    }
    if (arrived == 0.0)
        self->deletePartFiles();
    const bool known = !self->realUrl.empty() && MultiPartRules::IsAcceptedLength(self->fileLength);
    if (self->filePath.empty() || (!known && !self->getRealDownloadUrl(address))) {
        self->Send(DL_CODE_FAIL, 0.0, kLibCurl);
        return 0;
    }
    if (!self->LayOutParts()) {
        self->Send(DL_CODE_FAIL, 0.0, kLibCurl);
        return 0;
    }
    self->LaunchParts();
    return 0;
}

bool CMTCurlDownloader::getRealDownloadUrl(const std::string& address) {
    realUrl.clear();
    urlMd5.clear();
    fileLength = 0;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    if (!handle)
        return false;
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
        curl_slist_append(nullptr, "Connection: keep-alive"), &curl_slist_free_all);
    CURL* h = handle.get();
    int failed = curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    failed |= curl_easy_setopt(h, CURLOPT_URL, address.c_str());
    failed |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    failed |= curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    failed |= curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CMTCurlDownloader::discardBody);
    failed |= SetGuards(h);
    failed |= curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    failed |= curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::probeProgress);
    failed |= curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    if (failed != 0 || curl_easy_perform(h) != CURLE_OK)
        return false;
    char* effective = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective && *effective) {
        realUrl = effective;
        UTILS_LOG_LINE(L"Download File real url %s", Utils::ToWide(realUrl, Utils::kCodePageUtf8).c_str());
        urlMd5 = GetUrlMd5(realUrl);
    }
    curl_off_t length = -1;
    long status = 0;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 && status <= 399) {
        // A length beyond 32 bits cannot be addressed by our offsets: refused, not truncated.
        fileLength = MultiPartRules::IsAcceptedLength(length) ? static_cast<int32_t>(length) : 0;
        UTILS_LOG_LINE(L"Download File Length %lld", static_cast<long long>(length));
    }
    return !realUrl.empty() && MultiPartRules::IsAcceptedLength(fileLength);
}

bool CMTCurlDownloader::LayOutParts() {
    clearParts();
    const std::vector<MultiPartRules::ByteRange> ranges = MultiPartRules::SplitIntoParts(fileLength);
    for (size_t i = 0; i < ranges.size(); ++i) {
        auto part = std::make_unique<DownloadPartNode>();
        part->owner = this;
        part->partPath = filePath + L"_" + std::to_wstring(i);
        part->url = realUrl;
        part->curl = curl_easy_init();
        if (!part->curl)
            return false;
        const int64_t existing = FileSize(part->partPath);
        const MultiPartRules::PartPlan plan = MultiPartRules::PlanPart(ranges[i], existing);
        part->downloaded = plan.existing;
        part->startPos = static_cast<int32_t>(plan.startPos);
        part->endPos = static_cast<int32_t>(plan.endPos);
        if (plan.complete) {
            part->status = 0;
        } else {
            // A part file the plan did not keep (longer than its range) starts over.
            part->file = _wfopen(part->partPath.c_str(), plan.existing == existing ? L"ab+" : L"wb+");
            if (part->file)
                std::setvbuf(part->file, nullptr, _IOFBF, kFileBufferBytes);
            part->status = part->file ? -1 : -2;
        }
        parts.push_back(std::move(part));
    }
    return !parts.empty();
}

bool CMTCurlDownloader::Launch(void (*body)(CMTCurlDownloader*, DownloadPartNode*), DownloadPartNode* part) {
    std::shared_ptr<Lifetime> lifetime = lifetime_;
    {
        std::lock_guard<std::mutex> lock(lifetime->mutex);
        ++lifetime->active;
    }
    auto leave = [](const std::shared_ptr<Lifetime>& lifetime) {
        std::lock_guard<std::mutex> lock(lifetime->mutex);
        --lifetime->active;
        lifetime->ended.notify_all();
    };
    try {
        std::thread([this, body, part, lifetime, leave] {
            body(this, part);
            leave(lifetime);
        }).detach();
    } catch (const std::system_error&) {
        leave(lifetime);
        return false;
    }
    return true;
}

void CMTCurlDownloader::LaunchParts() {
    for (auto& part : parts) {
        if (part->status != -1 || stopping_)
            continue;
        ++runningCount;
        if (!Launch(&CMTCurlDownloader::downloadThreadFun, part.get())) {
            --runningCount;
            continue;  // its status stays -1: the attempt fails with that error
        }
        if (!Pause(kPartLaunchGapMs))
            break;
    }
    Launch(&CMTCurlDownloader::waitForFinishThreadFun, nullptr);
}

int CMTCurlDownloader::SetPartOptions(DownloadPartNode* part, const std::string& range) {
    CURL* h = part->curl;
    int failed = curl_easy_setopt(h, CURLOPT_URL, part->url.c_str());
    failed |= curl_easy_setopt(h, CURLOPT_TIMEOUT, 0L);
    failed |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    failed |= curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CMTCurlDownloader::writeCallback);
    failed |= curl_easy_setopt(h, CURLOPT_WRITEDATA, part);
    failed |= curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CMTCurlDownloader::headerCallback);
    failed |= curl_easy_setopt(h, CURLOPT_HEADERDATA, part);
    failed |= curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    failed |= curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::progressCallback);
    failed |= curl_easy_setopt(h, CURLOPT_XFERINFODATA, part);
    failed |= curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    failed |= SetGuards(h);
    failed |= curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerSecond);
    failed |= curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    failed |= curl_easy_setopt(h, CURLOPT_RANGE, range.c_str());
    // Few, large receives and writes: each receive is a round trip to the system.
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    return failed;
}

int CMTCurlDownloader::downloadExe(DownloadPartNode* part) {
    part->asked = {part->startPos, part->endPos};
    const std::string range = MultiPartRules::RangeText(part->startPos, part->endPos);
    const int failed = SetPartOptions(part, range);
    if (failed != 0) {
        curl_easy_reset(part->curl);
        return failed;
    }
    part->contentRange.reset();
    part->answerChecked = false;
    part->answerRefused = false;
    part->lastBytes = 0;
    part->lastBytesTick = ::GetTickCount64();
    part->stalled = false;
    int result = curl_easy_perform(part->curl);
    if (part->stalled)
        result = kStalled;
    if (part->file && std::fflush(part->file) != 0 && result == CURLE_OK)
        result = CURLE_WRITE_ERROR;
    // A body that ended cleanly but short (a server that lied about its length) is resumed.
    if (result == CURLE_OK && part->startPos <= part->endPos)
        result = kPartialFile;
    if (result != CURLE_OK) {
        UTILS_LOG_LINE(L"error:%d:%s", result, CurlText(result).c_str());
    } else {
        UTILS_LOG_LINE(L"curl_easy_cleanup");
    }
    curl_easy_reset(part->curl);
    if (result == CURLE_OK && part->file) {
        if (std::fclose(part->file) != 0)
            result = CURLE_WRITE_ERROR;
        part->file = nullptr;
    }
    part->status = result;
    return result;
}

void CMTCurlDownloader::downloadThreadFun(CMTCurlDownloader* self, DownloadPartNode* part) {
    int budget = kPartBudget;
    int result = self->stopping_ ? CURLE_ABORTED_BY_CALLBACK : self->downloadExe(part);
    while (result != 0 && budget > 0 && !self->stopping_) {
        budget -= result == kPartialFile ? 1 : 2;
        UTILS_LOG_LINE(L"CurlDownLoader Code=%d", result);
        if (!self->Pause(kPartRetryPauseMs))
            break;
        result = self->downloadExe(part);
    }
    if (part->file) {
        std::fclose(part->file);
        part->file = nullptr;
    }
    --self->runningCount;
}

void CMTCurlDownloader::waitForFinishThreadFun(CMTCurlDownloader* self, DownloadPartNode*) {
    while (self->runningCount > 0) {
        if (!self->Pause(kWaiterPollMs))
            return;
    }
    if (self->stopping_)
        return;
    int error = 0;
    for (const auto& part : self->parts) {
        if (part->status != 0) {
            error = part->status;
            break;
        }
    }
    if (error == 0) {
        self->FinishAttempt();
    } else {
        self->FailAttempt(error);
    }
}

int CMTCurlDownloader::JoinParts() {
    FILE* first = parts.empty() ? nullptr : _wfopen(parts[0]->partPath.c_str(), L"ab+");
    if (!first) {
        UTILS_LOG_LINE(L"partPath::%s", parts.empty() ? L"" : parts[0]->partPath.c_str());
        return kJoinFailed;
    }
    bool joined = true;
    char block[kJoinBlock];
    for (size_t i = 1; i < parts.size(); ++i) {
        FILE* next = _wfopen(parts[i]->partPath.c_str(), L"rb");
        if (!next) {
            joined = false;
        } else {
            size_t read = 0;
            while (joined && (read = std::fread(block, 1, sizeof(block), next)) > 0)
                joined = std::fwrite(block, 1, read, first) == read;
            joined = joined && !std::ferror(next);
            std::fclose(next);
        }
        UTILS_LOG_LINE(L"partPath::%s", parts[i]->partPath.c_str());
    }
    if (std::fclose(first) != 0)
        joined = false;
    return joined ? 0 : kJoinFailed;
}

void CMTCurlDownloader::FinishAttempt() {
    {
        std::lock_guard<std::mutex> lock(progressMutex_);
        lastProgress = 0.0;
    }
    int error = JoinParts();
    if (error == 0 && !::MoveFileExW(parts[0]->partPath.c_str(), filePath.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        UTILS_LOG_LINE(L"move failed:%lu:%s", static_cast<unsigned long>(::GetLastError()), filePath.c_str());
        error = kRenameFailed;
    }
    deletePartFiles();
    if (error != 0) {
        // A missing or half-joined target is never the package.
        ::DeleteFileW(filePath.c_str());
        FailAttempt(error);
        return;
    }
    if (IsDigestText(urlMd5)) {
        if (DigestMismatch(urlMd5, GetFileMd5(filePath))) {
            Send(DL_CODE_ERROR, 0.0, kDigestMismatch);
            ::DeleteFileW(filePath.c_str());
            clearParts();
            if (retried) {
                UTILS_LOG_LINE(L"finish recv, md5 chaek failed and retry failed.");
                Send(DL_CODE_FAIL, 0.0, kLibCurl);
            } else {
                retried = true;
                UTILS_LOG_LINE(L"finish recv, md5 chaek failed retry once.");
                Send(DL_CODE_RETRY, 0.0, kLibCurl);
            }
            return;
        }
    } else {
        Send(DL_CODE_ERROR, 0.0, kNoDigestInAddress);
    }
    UTILS_LOG_LINE(L"finish recv");
    clearParts();
    Send(DL_CODE_SUCCESS, 0.0, kLibCurl);
}

void CMTCurlDownloader::FailAttempt(int error) {
    clearParts();
    bool arrived = false;
    {
        std::lock_guard<std::mutex> lock(progressMutex_);
        arrived = lastProgress != 0.0;
        if (retried)
            lastProgress = 0.0;
    }
    if (!arrived)
        deletePartFiles();
    if (retried) {
        Send(DL_CODE_FAIL, static_cast<double>(error), kLibCurl);
    } else {
        retried = true;
        Send(DL_CODE_RETRY, static_cast<double>(error), kLibCurl);
    }
}

int CMTCurlDownloader::progressCallback(void* data, curl_off_t, curl_off_t now, curl_off_t, curl_off_t) {
    auto* part = static_cast<DownloadPartNode*>(data);
    CMTCurlDownloader* self = part->owner;
    if (self->stopping_)
        return 1;
    const uint64_t tick = ::GetTickCount64();
    if (now > part->lastBytes) {
        part->lastBytes = now;
        part->lastBytesTick = tick;
    } else if (tick - part->lastBytesTick >= static_cast<uint64_t>(kStallSeconds) * 1000u) {
        part->stalled = true;
        return 1;
    }
    std::lock_guard<std::mutex> lock(self->progressMutex_);
    const int64_t second = static_cast<int64_t>(std::time(nullptr));
    if (second <= self->lastProgressTime)
        return 0;
    self->lastProgressTime = second;
    std::vector<int64_t> downloaded;
    for (const auto& each : self->parts)
        downloaded.push_back(each->downloaded);
    const double percent = MultiPartRules::PercentDone(self->fileLength, downloaded);
    if (percent > 100.0 || percent - self->lastProgress < 1.0)
        return 0;
    self->lastProgress = percent;
    self->Send(DL_CODE_PROGRESS, percent / 100.0, L"");
    return 0;
}

int CMTCurlDownloader::probeProgress(void* downloader, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<CMTCurlDownloader*>(downloader)->stopping_ ? 1 : 0;
}

size_t CMTCurlDownloader::discardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

size_t CMTCurlDownloader::headerCallback(char* data, size_t size, size_t count, void* data2) {
    auto* part = static_cast<DownloadPartNode*>(data2);
    const std::string_view line(data, size * count);
    if (line.substr(0, 5) == "HTTP/") {
        // A new answer (after a redirect or an interim one) says nothing yet.
        part->contentRange.reset();
        part->answerChecked = false;
        part->answerRefused = false;
    } else if (HeaderNameIs(line, "content-range")) {
        part->contentRange = MultiPartRules::ParseContentRange(HeaderValue(line));
    }
    return size * count;
}

size_t CMTCurlDownloader::writeCallback(char* data, size_t size, size_t count, void* data2) {
    auto* part = static_cast<DownloadPartNode*>(data2);
    if (!part || !part->file)
        return 0;
    if (!part->answerChecked) {
        part->answerChecked = true;
        long status = 0;
        curl_easy_getinfo(part->curl, CURLINFO_RESPONSE_CODE, &status);
        part->answerRefused = !MultiPartRules::AnswerFitsPart(status, part->contentRange, part->asked);
        if (part->answerRefused)
            UTILS_LOG_LINE(L"range refused:%ld:%s", status, part->partPath.c_str());
    }
    if (part->answerRefused || part->startPos > part->endPos)
        return 0;
    const size_t room = static_cast<size_t>(part->endPos - part->startPos + 1);
    const size_t wanted = std::min(size * count, room);
    const size_t written = std::fwrite(data, 1, wanted, part->file);
    part->startPos += static_cast<int32_t>(written);
    part->downloaded += static_cast<int64_t>(written);
    return written;
}
