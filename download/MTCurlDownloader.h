#pragma once
// The multi-part downloader: the package in at most two byte ranges fetched at once, each
// on its own thread into its own part file ("<target>_0", "<target>_1"), joined into the
// target and checked against the digest in the final address.
// Who runs what: the owner constructs, calls Start and destroys. A start worker ("ABDEF")
// probes and lays out the parts, detached threads fetch them, and a detached finish waiter
// joins, verifies and reports; the owner's answer to DL_CODE_RETRY (a new Start) runs on
// that waiter. Stopping: destruction raises the stop flag, which aborts every transfer at
// its next progress call and ends every pause, then waits for all of these threads;
// nothing is reported after destruction has begun.

#include <windows.h>
#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/Downloader.h"
#include "download/MultiPartRules.h"
#include "utils/InstallEvents.h"
#include "utils/Thread.h"
#include "utils/UniqueHandle.h"

class CMTCurlDownloader : public CDownloader {
public:
    // One range of the file. Touched only by its own part thread while that runs, and by
    // the finish waiter after every part thread has ended.
    struct DownloadPartNode {
        FILE* file = nullptr;  // open for appending; null when closed
        int32_t startPos = 0;  // next byte to fetch
        int32_t endPos = -1;   // last byte of the range, inclusive
        CURL* curl = nullptr;  // reused for every attempt of this part
        std::string url;
        std::wstring partPath;
        int32_t status = -1;                 // -1 to fetch, 0 complete, -2 no part file, else curl's result
        std::atomic<int64_t> downloaded{0};  // read by every part's progress call

        CMTCurlDownloader* owner = nullptr;
        // What the running attempt asked for and what the answer says about itself.
        MultiPartRules::ByteRange asked;
        std::optional<MultiPartRules::ByteRange> contentRange;
        bool answerChecked = false;
        bool answerRefused = false;
        // The stall rule's measure for the running attempt.
        int64_t lastBytes = 0;
        uint64_t lastBytesTick = 0;
        bool stalled = false;
    };

    // Attempt errors besides libcurl's codes and the part states -1 and -2.
    static constexpr int kJoinFailed = -3;    // the first part file could not take the others
    static constexpr int kRenameFailed = -4;  // the joined file could not become the target

    CMTCurlDownloader(EventCallback callback, const std::wstring& url, const std::wstring& filePath);
    ~CMTCurlDownloader() override;

    void Start() override;

private:
    // Counts the detached threads; shared with them so that the count outlives this object
    // until the last one has let go of it.
    struct Lifetime {
        std::mutex mutex;
        std::condition_variable ended;
        int active = 0;
    };

    static uint32_t Start_Down(void* downloader);
    bool getRealDownloadUrl(const std::string& address);
    bool LayOutParts();
    void LaunchParts();
    bool Launch(void (*body)(CMTCurlDownloader*, DownloadPartNode*), DownloadPartNode* part);
    int downloadExe(DownloadPartNode* part);
    int SetPartOptions(DownloadPartNode* part, const std::string& range);
    static void downloadThreadFun(CMTCurlDownloader* self, DownloadPartNode* part);
    static void waitForFinishThreadFun(CMTCurlDownloader* self, DownloadPartNode* unused);
    void FinishAttempt();
    int JoinParts();
    void FailAttempt(int error);
    void deletePartFiles();
    void clearParts();
    bool Pause(DWORD milliseconds);
    void Send(int32_t code, double value, const wchar_t* text);

    static int progressCallback(void* part, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t);
    static int probeProgress(void* downloader, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static size_t writeCallback(char* data, size_t size, size_t count, void* part);
    static size_t headerCallback(char* data, size_t size, size_t count, void* part);
    static size_t discardBody(char* data, size_t size, size_t count, void* unused);

    std::vector<std::unique_ptr<DownloadPartNode>> parts;
    EventCallback callback;
    std::wstring filePath;
    std::wstring url;
    std::string realUrl;
    int32_t fileLength = 0;
    std::string urlMd5;
    double lastProgress = 0.0;  // under progressMutex_
    std::atomic<int32_t> runningCount{0};
    int64_t lastProgressTime = 0;  // under progressMutex_
    bool retried = false;

    std::mutex progressMutex_;
    std::atomic<bool> stopping_{false};
    Utils::UniqueHandle stopEvent_;
    std::shared_ptr<Lifetime> lifetime_;
    std::mutex workersMutex_;  // startThread and the stop flag's first raise
    std::unique_ptr<Utils::Thread> startThread;
};
