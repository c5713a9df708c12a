#include "download/CurlClient.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>

#include "download/CurlRules.h"
#include "download/CurlSupport.h"
#include "utils/Log.h"
#include "utils/TextConversion.h"

using namespace CurlSupport;

namespace {

constexpr long kConnectTimeoutSeconds = 60;
constexpr size_t kErrorTextLimit = 200;

std::wstring SystemErrorText(int error) {
    wchar_t text[kErrorTextLimit + 1] = {};
    if (_wcserror_s(text, kErrorTextLimit + 1, error) != 0) {
        return std::wstring();
    }
    return text;
}

bool HeaderNameIs(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') {
        return false;
    }
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

// Settings every request shares: certificates are always checked (the package is run
// elevated), redirects are bounded, and a stalled peer ends the request.
CURLcode SetGuards(CURL* handle, void* client, curl_xferinfo_callback progress) {
    int result = curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    result |= curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    result |= curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaximumRedirects);
    result |= curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerSecond);
    result |= curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    result |= curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    result |= curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    result |= curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, progress);
    result |= curl_easy_setopt(handle, CURLOPT_XFERINFODATA, client);
    return static_cast<CURLcode>(result);
}

}  // namespace

CurlClient::CurlClient(std::wstring url, std::wstring filePath, void* owner)
    : url(std::move(url)), filePath(std::move(filePath)), owner(owner) {
    EnsureCurlReady();
}

CurlClient::~CurlClient() {
    stopRequested = true;
    if (!filePath.empty()) {
        ::DeleteFileW(GetFilePath(true).c_str());
    }
}

std::wstring CurlClient::GetFilePath(bool part) const {
    return part ? filePath + L".part" : filePath;
}

int CurlClient::Start() {
    UTILS_LOG_LINE(L"start download");
    // UTF-8 for every address: our libcurl is built for Unicode, so it reads file:// paths
    // as UTF-8 too.
    const std::string address = Utils::ToNarrow(url, Utils::kCodePageUtf8);
    int result = CURLE_ABORTED_BY_CALLBACK;
    if (!stopRequested) {
        Probe(address);
        result = CurlRules::IsAcceptedLength(fileLength) ? RunTransfer() : kLengthRefused;
    }
    UTILS_LOG_LINE(L"error:%d:%s", result, CurlText(result).c_str());
    result = Finish(result);
    UTILS_LOG_LINE(L"end download");
    return result;
}

void CurlClient::Probe(const std::string& address) {
    if (realUrl.empty() || fileLength < CurlRules::kMinimumLength) {
        realUrl.clear();
        CurlHandle handle = Head(address);
        if (handle) {
            char* effective = nullptr;
            if (curl_easy_getinfo(handle.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
                realUrl = effective;
            fileLength = GetDownloadFileLength(handle.get());
        }
    }
    if (realUrl.empty() || fileLength < CurlRules::kMinimumLength) {
        realUrl = GetRealUrl_Str(address);
        if (!realUrl.empty())
            fileLength = GetDownloadFileLength_Str(realUrl);
    }
}

int CurlClient::RunTransfer() {
    CurlHandle handle(curl_easy_init());
    if (!handle) {
        return kNoHandle;
    }
    UniqueFile sideFile(_wfopen(GetFilePath(true).c_str(), L"ab+"));
    if (!sideFile) {
        errorText = SystemErrorText(errno);
        return kSideFileFailed;
    }
    // Large blocks to disk: the body arrives in receive-buffer sized pieces.
    std::setvbuf(sideFile.get(), nullptr, _IOFBF, kFileBufferBytes);
    curl = handle.get();
    sideFile_ = sideFile.get();
    const int result = Transfer();
    curl = nullptr;
    sideFile_ = nullptr;
    return result;
}

int CurlClient::Transfer() {
    CurlHeaderList headers(curl_slist_append(nullptr, "Connection: keep-alive"));
    curl_slist* all = headers ? curl_slist_append(headers.get(), "Accept-Encoding: gzip, deflate") : nullptr;
    if (!all) {
        return CURLE_OUT_OF_MEMORY;
    }
    int failed = SetTransferOptions(headers.get());
    resumeFrom = SideFileSize();
    if (resumeFrom > 0)
        failed |= curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(resumeFrom));
    if (failed != 0) {
        return failed;
    }
    answer_ = Answer{};
    lastBytes_ = 0;
    lastBytesTick_ = ::GetTickCount64();
    stalled_ = false;
    int result = curl_easy_perform(curl);
    if (stalled_)
        result = kStalled;
    if (std::fflush(sideFile_) != 0 && result == CURLE_OK)
        result = CURLE_WRITE_ERROR;
    if (answer_.refused) {
        result = CurlRules::kRangeError;
    } else {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        result = CurlRules::ResultAfterUnsatisfiable(result, status, resumeFrom, SideFileSize(), fileLength);
    }
    return result;
}

int CurlClient::SetTransferOptions(curl_slist* headers) {
    // Headers and keep-alive only tune the connection; a failure there must not stop the
    // download, so only the settings from the address onward count.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPIDLE, 10L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPINTVL, 10L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 0L);
    int result = curl_easy_setopt(curl, CURLOPT_URL, realUrl.c_str());
    result |= curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    result |= curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlClient::WriteBody);
    result |= curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    result |= curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CurlClient::ReadHeader);
    result |= curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    result |= SetGuards(curl, this, &CurlClient::ProgressCallback);
    result |= curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    result |= curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    // Every receive costs a round trip to the system (under Wine, to its server): the
    // largest buffer libcurl allows keeps the calls few, as curl's own tool does.
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    return result;
}

int CurlClient::Finish(int result) {
    const std::wstring sidePath = GetFilePath(true);
    if (result == CurlRules::kRangeError) {
        // The server would not continue our side file: keeping it would fail every later
        // attempt the same way, so the next one starts from zero.
        ::DeleteFileW(sidePath.c_str());
        return result;
    }
    if (result != CURLE_OK) {
        return result;
    }
    if (!::MoveFileExW(sidePath.c_str(), filePath.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        const DWORD error = ::GetLastError();
        UTILS_LOG_LINE(L"move failed:%lu:%s", static_cast<unsigned long>(error), filePath.c_str());
        return kMoveFailed;
    }
    return result;
}

int64_t CurlClient::SideFileSize() const {
    if (sideFile_)
        std::fflush(sideFile_);
    WIN32_FILE_ATTRIBUTE_DATA status{};
    if (!::GetFileAttributesExW(GetFilePath(true).c_str(), GetFileExInfoStandard, &status)) {
        return -1;
    }
    return static_cast<int64_t>((static_cast<uint64_t>(status.nFileSizeHigh) << 32) | status.nFileSizeLow);
}

CurlHandle CurlClient::NewProbe(const std::string& address, int& settingResult) {
    CurlHandle handle(curl_easy_init());
    if (!handle) {
        return handle;
    }
    settingResult = curl_easy_setopt(handle.get(), CURLOPT_URL, address.c_str());
    settingResult |= curl_easy_setopt(handle.get(), CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    settingResult |= curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
    settingResult |= curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &CurlClient::DiscardBody);
    settingResult |= SetGuards(handle.get(), this, &CurlClient::ProbeProgress);
    return handle;
}

CurlHandle CurlClient::Head(const std::string& address) {
    int result = CURLE_OK;
    CurlHandle handle = NewProbe(address, result);
    if (handle) {
        result |= curl_easy_setopt(handle.get(), CURLOPT_FOLLOWLOCATION, 1L);
        if (result == CURLE_OK) {
            result = curl_easy_perform(handle.get());
            if (result != CURLE_OK)
                UTILS_LOG(L"error:%d:%s", result, CurlText(result).c_str());
        }
    }
    UTILS_LOG_LINE(L"error:%d:%s", result, CurlText(result).c_str());
    return handle;
}

double CurlClient::GetDownloadFileLength(CURL* handle) {
    curl_off_t length = -1;
    const CURLcode result = curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    UTILS_LOG_LINE(L"error:%d:%s", static_cast<int>(result), CurlText(result).c_str());
    long status = 0;
    if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status < 200 ||
        status > 399) {
        return -1.0;
    }
    return result == CURLE_OK ? static_cast<double>(length) : -1.0;
}

std::string CurlClient::GetRealUrl_Str(const std::string& address) {
    int result = CURLE_FAILED_INIT;
    CurlHandle handle = NewProbe(address, result);
    std::string effectiveUrl;
    if (handle) {
        result |= curl_easy_setopt(handle.get(), CURLOPT_FOLLOWLOCATION, 1L);
        if (result == CURLE_OK)
            result = curl_easy_perform(handle.get());
        char* effective = nullptr;
        if (result != CURLE_OK) {
            UTILS_LOG(L"error:%d:%s", result, CurlText(result).c_str());
        } else if (curl_easy_getinfo(handle.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
                   effective) {
            effectiveUrl = effective;
        }
    }
    return effectiveUrl.empty() ? address : effectiveUrl;
}

double CurlClient::GetDownloadFileLength_Str(const std::string& address) {
    int result = CURLE_FAILED_INIT;
    CurlHandle handle = NewProbe(address, result);
    if (!handle) {
        return -1.0;
    }
    curl_easy_setopt(handle.get(), CURLOPT_HEADER, 1L);
    curl_easy_perform(handle.get());
    curl_off_t length = -1;
    result = curl_easy_getinfo(handle.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    long status = 0;
    result = curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
    UTILS_LOG_LINE(L"error:%d:%s", result, CurlText(result).c_str());
    return static_cast<double>(length);
}

int CurlClient::ProgressCallback(void* client, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* self = static_cast<CurlClient*>(client);
    if (self->stopRequested) {
        return 1;
    }
    const uint64_t tick = ::GetTickCount64();
    if (now > self->lastBytes_) {
        self->lastBytes_ = now;
        self->lastBytesTick_ = tick;
    } else if (tick - self->lastBytesTick_ >= static_cast<uint64_t>(kStallSeconds) * 1000u) {
        self->stalled_ = true;
        return 1;
    }
    const int64_t second = static_cast<int64_t>(std::time(nullptr));
    if (second <= self->lastProgressTime) {
        return 0;
    }
    self->lastProgressTime = second;
    curl_off_t speedValue = 0;
    const double speed = curl_easy_getinfo(self->curl, CURLINFO_SPEED_DOWNLOAD_T, &speedValue) == CURLE_OK
                             ? static_cast<double>(speedValue)
                             : 0.0;
    const double percent = CurlRules::ProgressPercent(self->fileLength, self->resumeFrom, now, total);
    if (percent == 0.0) {
        return 0;
    }
    if (self->progressFn)
        self->progressFn(self->owner, speed, percent);
    if (total != 0) {
        UTILS_LOG(L" %dM %dM   progress:%f%%  speed:%f \n", static_cast<int>(now / 1048576),
                  static_cast<int>(total / 1048576), static_cast<double>(static_cast<float>(percent)),
                  static_cast<double>(static_cast<float>(speed / 1024.0)));
    }
    return 0;
}

int CurlClient::ProbeProgress(void* client, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<CurlClient*>(client)->stopRequested ? 1 : 0;
}

size_t CurlClient::DiscardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

size_t CurlClient::ReadHeader(char* data, size_t size, size_t count, void* client) {
    auto* self = static_cast<CurlClient*>(client);
    const std::string_view line(data, size * count);
    if (line.substr(0, 5) == "HTTP/") {
        self->answer_ = Answer{};  // a new answer (after a redirect or an interim one)
    } else if (HeaderNameIs(line, "content-range")) {
        self->answer_.rangeStart = CurlRules::ContentRangeStart(HeaderValue(line));
    }
    return size * count;
}

size_t CurlClient::WriteBody(char* data, size_t size, size_t count, void* client) {
    auto* self = static_cast<CurlClient*>(client);
    if (!self->answer_.checked) {
        self->answer_.checked = true;
        long status = 0;
        curl_easy_getinfo(self->curl, CURLINFO_RESPONSE_CODE, &status);
        self->answer_.refused =
            !CurlRules::AnswerFitsSideFile(status, self->answer_.rangeStart, self->resumeFrom);
    }
    if (self->answer_.refused) {
        return 0;
    }
    return std::fwrite(data, 1, size * count, self->sideFile_);
}
