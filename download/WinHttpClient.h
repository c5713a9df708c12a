#pragma once
// One GET (or POST) through the system's WinHTTP service, the body streamed into a file.
// Lives on one worker; only Abort may be called from another thread.

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class WinHttpClient {
public:
    // (bytes received so far, total length); called only when the length is known.
    using ProgressFn = std::function<void(uint64_t received, uint64_t total)>;

    explicit WinHttpClient(std::wstring url);
    ~WinHttpClient();
    WinHttpClient(const WinHttpClient&) = delete;
    WinHttpClient& operator=(const WinHttpClient&) = delete;

    // Up to kSendAttempts attempts. True only when a 2xx answer delivered its whole body
    // into responseFilePath; otherwise lastError holds the system error, or statusCode the
    // HTTP status that ended the last attempt, and nothing is left at responseFilePath.
    bool Request(const std::wstring& verb);

    // Ends a running Request as soon as WinHTTP lets go: closes the request handle, which
    // makes blocked calls return, and stops further attempts.
    void Abort();

    static constexpr int kSendAttempts = 3;
    static constexpr DWORD kPauseBetweenAttemptsMs = 500;

    // There is deliberately no way to ignore certificate errors: the package we fetch is
    // run elevated, so a swapped package must never get through.
    std::wstring url;
    std::wstring userAgent = L"WinHttpClient";
    int32_t resolveTimeout = 0;
    int32_t connectTimeout = 60000;
    int32_t sendTimeout = 30000;
    // A server that stops sending ends the transfer after this long, so the attempts
    // budget can take over instead of waiting forever.
    int32_t receiveTimeout = 30000;
    std::wstring responseFilePath;
    uint32_t lastError = 0;
    uint32_t statusCode = 0;
    ProgressFn progress;

private:
    enum class Outcome { Done, Retry, GiveUp };

    bool OpenSession();
    Outcome Attempt(const std::wstring& verb, HINTERNET connection, const URL_COMPONENTS& parts);
    Outcome Fail(DWORD error);
    bool SendWithProxyFallback(HINTERNET request);
    void ApplyNamedProxy(HINTERNET request);
    Outcome ReceiveBody(HINTERNET request);
    HINTERNET TakeRequest();

    HINTERNET session_ = nullptr;
    std::mutex requestMutex_;
    HINTERNET request_ = nullptr;  // guarded: Abort closes it from another thread
    std::atomic<bool> aborted_{false};
    HANDLE abortEvent_ = nullptr;
    std::wstring namedProxy_;
    std::wstring proxyBypass_;
};
