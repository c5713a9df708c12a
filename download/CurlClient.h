#pragma once
// One file over HTTP (or from a "file:///" address) into a local path, resuming from the
// side file "<path>.part" that an earlier attempt left. Probes the final address and the
// length first, streams the body to the side file block by block, and moves the side file
// into place only after a complete transfer. Never retries by itself: the owner decides.
// Who runs what: Start, the probes and the callbacks run on the owner's worker;
// RequestStop may come from any thread and ends a running transfer or probe.

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlEasyCleanup>;

struct CurlHeaderListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHeaderList = std::unique_ptr<curl_slist, CurlHeaderListFree>;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

class CurlClient {
public:
    using ProgressFn = void (*)(void* owner, double speed, double percent);

    // Results of Start besides 0 (done) and libcurl's own codes.
    static constexpr int kMoveFailed = -995;      // the finished side file could not replace the target
    static constexpr int kSideFileFailed = -996;  // errorText says why
    static constexpr int kNoHandle = -997;
    static constexpr int kLengthRefused = -998;
    static constexpr int kStalled =
        28;  // CURLE_OPERATION_TIMEDOUT  // unknown, below 1 MiB or implausibly large

    CurlClient(std::wstring url, std::wstring filePath, void* owner);
    ~CurlClient();
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    int Start();
    std::wstring GetFilePath(bool part) const;

    // Ends a running transfer or probe at its next progress call (within about a second)
    // and makes later ones end at once.
    void RequestStop() { stopRequested = true; }

    CurlHandle Head(const std::string& address);
    double GetDownloadFileLength(CURL* handle);
    std::string GetRealUrl_Str(const std::string& address);
    double GetDownloadFileLength_Str(const std::string& address);

    static int ProgressCallback(void* client, curl_off_t total, curl_off_t now, curl_off_t uploadTotal,
                                curl_off_t uploadNow);

    const std::wstring url;
    const std::wstring filePath;
    void* const owner;
    CURL* curl = nullptr;  // the transfer in progress, only inside Start
    ProgressFn progressFn = nullptr;
    double fileLength = -1.0;  // kept across Start calls, like realUrl, so retries do not probe again
    int64_t resumeFrom = -1;
    int64_t lastProgressTime = 0;
    std::atomic<bool> stopRequested{false};
    std::wstring errorText;
    std::string realUrl;

private:
    // What the transfer has learnt of the latest answer (redirects reset it).
    struct Answer {
        long status = 0;
        std::optional<int64_t> rangeStart;
        bool checked = false;
        bool refused = false;  // its body did not fit the side file and was not written
    };

    CurlHandle NewProbe(const std::string& address, int& settingResult);
    void Probe(const std::string& address);
    int RunTransfer();
    int Transfer();
    int SetTransferOptions(curl_slist* headers);
    int Finish(int result);
    int64_t SideFileSize() const;

    static size_t DiscardBody(char* data, size_t size, size_t count, void* unused);
    static size_t WriteBody(char* data, size_t size, size_t count, void* client);
    static size_t ReadHeader(char* data, size_t size, size_t count, void* client);
    static int ProbeProgress(void* client, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    // The stall rule, measured by us: libcurl's own low-speed check averages over a window
    // and so notices a stall only several seconds late.
    int64_t lastBytes_ = 0;
    uint64_t lastBytesTick_ = 0;
    bool stalled_ = false;

    FILE* sideFile_ = nullptr;  // owned by Start's UniqueFile; the write function's target
    Answer answer_;
};
