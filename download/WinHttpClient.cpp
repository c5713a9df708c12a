#include "download/WinHttpClient.h"

#include <cwchar>
#include <cwctype>
#include <memory>
#include <vector>

#include "utils/Log.h"
#include "utils/UniqueHandle.h"

namespace {

// Large enough that a fast local server is not slowed by per-call overhead, small enough
// that the package is never held in memory.
constexpr DWORD kReadBufferBytes = 256 * 1024;

struct InternetCloser {
    void operator()(HINTERNET handle) const { ::WinHttpCloseHandle(handle); }
};
using UniqueInternet = std::unique_ptr<void, InternetCloser>;

struct GlobalFreer {
    void operator()(wchar_t* text) const {
        if (text)
            ::GlobalFree(text);
    }
};
using UniqueGlobalText = std::unique_ptr<wchar_t, GlobalFreer>;

bool IsKnownVerb(const std::wstring& verb) {
    return ::_wcsicmp(verb.c_str(), L"GET") == 0 || ::_wcsicmp(verb.c_str(), L"POST") == 0;
}

// Statuses that a later attempt may well not see again.
bool IsTransientStatus(DWORD status) {
    return status >= 500 || status == 408 || status == 429;
}

// The Content-Length header as a number; false when absent or not a plain decimal that
// fits in 64 bits (such a body is read to its end and not measured).
bool QueryContentLength(HINTERNET request, uint64_t& length) {
    wchar_t text[32] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text,
                               &bytes, WINHTTP_NO_HEADER_INDEX)) {
        return false;
    }
    uint64_t value = 0;
    const wchar_t* digit = text;
    if (*digit == L'\0')
        return false;
    for (; *digit; ++digit) {
        if (*digit < L'0' || *digit > L'9' || value > (UINT64_MAX - 9) / 10)
            return false;
        value = value * 10 + static_cast<uint64_t>(*digit - L'0');
    }
    length = value;
    return true;
}

// We send no Accept-Encoding, so an encoded body is not the package: storing it as
// received would hand the installer a compressed file.
bool HasContentEncoding(HINTERNET request) {
    wchar_t text[64] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_ENCODING, WINHTTP_HEADER_NAME_BY_INDEX, text,
                               &bytes, WINHTTP_NO_HEADER_INDEX)) {
        // An encoding name too long for the buffer is still an encoding.
        return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    }
    return text[0] != L'\0' && ::_wcsicmp(text, L"identity") != 0;
}

bool WriteAll(HANDLE file, const char* data, DWORD size) {
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(file, data, size, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

WinHttpClient::WinHttpClient(std::wstring address) : url(std::move(address)) {
    abortEvent_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WinHttpClient::~WinHttpClient() {
    if (HINTERNET request = TakeRequest())
        ::WinHttpCloseHandle(request);
    if (session_)
        ::WinHttpCloseHandle(session_);
    if (abortEvent_)
        ::CloseHandle(abortEvent_);
}

void WinHttpClient::Abort() {
    aborted_ = true;
    if (abortEvent_)
        ::SetEvent(abortEvent_);
    if (HINTERNET request = TakeRequest())
        ::WinHttpCloseHandle(request);
}

HINTERNET WinHttpClient::TakeRequest() {
    std::lock_guard<std::mutex> lock(requestMutex_);
    HINTERNET request = request_;
    request_ = nullptr;
    return request;
}

WinHttpClient::Outcome WinHttpClient::Fail(DWORD error) {
    lastError = error;
    UTILS_LOG_LINE(L"error:%d", static_cast<int>(error));
    return aborted_ ? Outcome::GiveUp : Outcome::Retry;
}

bool WinHttpClient::OpenSession() {
    if (session_)
        return true;
    session_ = ::WinHttpOpen(userAgent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session_) {
        lastError = ::GetLastError();
        UTILS_LOG_LINE(L"error:%d", static_cast<int>(lastError));
        return false;
    }
    return true;
}

bool WinHttpClient::Request(const std::wstring& verb) {
    lastError = 0;
    statusCode = 0;
    if (url.empty()) {
        lastError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (!IsKnownVerb(verb)) {
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!OpenSession())
        return false;
    ::WinHttpSetTimeouts(session_, resolveTimeout, connectTimeout, sendTimeout, receiveTimeout);

    // Lengths of -1 ask for pointers into url itself, so no address is too long for a
    // buffer of ours.
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
        lastError = ::GetLastError();
        UTILS_LOG_LINE(L"error:%d", static_cast<int>(lastError));
        return false;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    UniqueInternet connection(::WinHttpConnect(session_, host.c_str(), parts.nPort, 0));
    if (!connection) {
        lastError = ::GetLastError();
        UTILS_LOG_LINE(L"error:%d", static_cast<int>(lastError));
        return false;
    }

    for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
        const Outcome outcome = Attempt(verb, connection.get(), parts);
        if (outcome == Outcome::Done)
            return true;
        if (outcome == Outcome::GiveUp || attempt == kSendAttempts)
            break;
        if (abortEvent_ && ::WaitForSingleObject(abortEvent_, kPauseBetweenAttemptsMs) == WAIT_OBJECT_0)
            break;
    }
    if (aborted_ && lastError == 0 && statusCode == 0)
        lastError = ERROR_OPERATION_ABORTED;
    return false;
}

WinHttpClient::Outcome WinHttpClient::Attempt(const std::wstring& verb, HINTERNET connection,
                                              const URL_COMPONENTS& parts) {
    if (aborted_)
        return Fail(ERROR_OPERATION_ABORTED);
    statusCode = 0;
    lastError = 0;
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    // Servers match methods case-sensitively; "get" is meant as GET.
    std::wstring method = verb;
    for (wchar_t& letter : method)
        letter = static_cast<wchar_t>(::towupper(letter));
    HINTERNET request = ::WinHttpOpenRequest(connection, method.c_str(), path.c_str(), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (!request)
        return Fail(::GetLastError());
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        request_ = request;
    }
    // Abort may have come between the check above and storing the handle.
    if (aborted_) {
        if (HINTERNET own = TakeRequest())
            ::WinHttpCloseHandle(own);
        return Fail(ERROR_OPERATION_ABORTED);
    }
    if (!namedProxy_.empty())
        ApplyNamedProxy(request);

    Outcome outcome = Outcome::Done;
    if (!SendWithProxyFallback(request)) {
        outcome = aborted_ ? Fail(ERROR_OPERATION_ABORTED) : Outcome::Retry;
    } else if (!::WinHttpReceiveResponse(request, nullptr)) {
        outcome = Fail(aborted_ ? ERROR_OPERATION_ABORTED : ::GetLastError());
    } else {
        outcome = ReceiveBody(request);
    }
    if (HINTERNET own = TakeRequest())
        ::WinHttpCloseHandle(own);
    return outcome;
}

bool WinHttpClient::SendWithProxyFallback(HINTERNET request) {
    if (::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return true;
    lastError = ::GetLastError();
    UTILS_LOG_LINE(L"error:%d", static_cast<int>(lastError));
    if (aborted_)
        return false;

    // The direct route failed; the user's own proxy settings may be what this network needs.
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        lastError = ::GetLastError();
        return false;
    }
    UniqueGlobalText autoConfigUrl(config.lpszAutoConfigUrl);
    UniqueGlobalText proxy(config.lpszProxy);
    UniqueGlobalText bypass(config.lpszProxyBypass);

    if (autoConfigUrl) {
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP;
        options.lpszAutoConfigUrl = autoConfigUrl.get();
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info = {};
        if (!::WinHttpGetProxyForUrl(session_, url.c_str(), &options, &info)) {
            lastError = ::GetLastError();
            return false;
        }
        UniqueGlobalText infoProxy(info.lpszProxy);
        UniqueGlobalText infoBypass(info.lpszProxyBypass);
        if (!::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info)))
            return false;
        if (::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            return true;
        lastError = ::GetLastError();
        return false;
    }
    if (proxy) {
        // Used from the next attempt on.
        namedProxy_ = proxy.get();
        proxyBypass_ = bypass ? bypass.get() : L"";
    }
    return false;
}

void WinHttpClient::ApplyNamedProxy(HINTERNET request) {
    WINHTTP_PROXY_INFO info = {};
    info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    info.lpszProxy = namedProxy_.data();
    info.lpszProxyBypass = proxyBypass_.empty() ? nullptr : proxyBypass_.data();
    ::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info));
}

WinHttpClient::Outcome WinHttpClient::ReceiveBody(HINTERNET request) {
    DWORD status = 0;
    DWORD statusBytes = sizeof(status);
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusBytes,
                               WINHTTP_NO_HEADER_INDEX)) {
        return Fail(::GetLastError());
    }
    if (status < 200 || status > 299) {
        // An error page, or a redirect WinHTTP gave up following: never the package.
        statusCode = status;
        UTILS_LOG_LINE(L"status:%d", static_cast<int>(status));
        return IsTransientStatus(status) && !aborted_ ? Outcome::Retry : Outcome::GiveUp;
    }
    if (HasContentEncoding(request))
        return Fail(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    uint64_t total = 0;
    const bool lengthKnown = QueryContentLength(request, total);

    Utils::UniqueHandle file;
    if (!responseFilePath.empty()) {
        file.reset(::CreateFileW(responseFilePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) {
            file.release();
            lastError = ::GetLastError();
            UTILS_LOG_LINE(L"Failed to open response file. Error code: %d", static_cast<int>(lastError));
            // Another attempt would meet the same folder.
            return Outcome::GiveUp;
        }
    }
    // Whatever ends this attempt early must not leave a partial package behind.
    auto discard = [&](Outcome outcome) {
        if (file) {
            file.reset();
            ::DeleteFileW(responseFilePath.c_str());
        }
        return outcome;
    };

    std::vector<char> buffer(kReadBufferBytes);
    uint64_t received = 0;
    for (;;) {
        DWORD read = 0;
        if (!::WinHttpReadData(request, buffer.data(), kReadBufferBytes, &read))
            return discard(Fail(aborted_ ? ERROR_OPERATION_ABORTED : ::GetLastError()));
        if (aborted_)
            return discard(Fail(ERROR_OPERATION_ABORTED));
        if (read == 0)
            break;
        if (file && !WriteAll(file.get(), buffer.data(), read)) {
            lastError = ::GetLastError();
            UTILS_LOG_LINE(L"Failed to write response data. Error code: %d", static_cast<int>(lastError));
            return discard(Outcome::GiveUp);
        }
        received += read;
        if (lengthKnown && progress)
            progress(received, total);
    }
    if (lengthKnown && received != total) {
        UTILS_LOG_LINE(L"short body: %lld of %lld", static_cast<long long>(received),
                       static_cast<long long>(total));
        return discard(Fail(ERROR_WINHTTP_INVALID_SERVER_RESPONSE));
    }
    return Outcome::Done;
}
