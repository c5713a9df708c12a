#include "tools/cli/DownloadCommand.h"

#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>

#include "download/CurlDownloader.h"
#include "download/MTCurlDownloader.h"
#include "download/WinHttpDownloader.h"
#include "utils/TextConversion.h"

namespace Cli {

namespace {

struct Options {
    long type = 1;
    std::wstring url;
    std::wstring out;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    bool haveUrl = false, haveOut = false;
    for (int i = 0; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--type") {
            if (!ParseDownloadType(argv[i + 1], options.type))
                return false;
        } else if (name == L"--url") {
            options.url = argv[i + 1];
            haveUrl = true;
        } else if (name == L"--out") {
            options.out = argv[i + 1];
            haveOut = true;
        } else {
            return false;
        }
    }
    return argc % 2 == 0 && haveUrl && haveOut;
}

// Events come on the downloader's worker; the main thread only waits for the outcome.
class EventPrinter {
public:
    void SetDownloader(CDownloader* downloader) { downloader_ = downloader; }

    EventCallback Callback() {
        return [this](int32_t code, double value, const wchar_t* text) { OnEvent(code, value, text); };
    }

    int WaitForOutcome() {
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return exitCode_ >= 0; });
        return exitCode_;
    }

private:
    void OnEvent(int32_t code, double value, const wchar_t* text) {
        const std::string utf8 = Utils::ToNarrow(text ? text : L"", Utils::kCodePageUtf8);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::printf("%d\t%g\t%s\n", static_cast<int>(code), value, utf8.c_str());
            std::fflush(stdout);
        }
        // As the pipeline does: the retry is answered on the worker, from inside the event.
        if (code == DL_CODE_RETRY && downloader_)
            downloader_->Start();
        if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL) {
            std::lock_guard<std::mutex> lock(mutex_);
            exitCode_ = code == DL_CODE_SUCCESS ? kExitSuccess : kExitDownloadFailed;
            finished_.notify_all();
        }
    }

    CDownloader* downloader_ = nullptr;
    std::mutex mutex_;
    std::condition_variable finished_;
    int exitCode_ = -1;
};

}  // namespace

std::unique_ptr<CDownloader> MakeDownloader(long type, EventCallback callback, const std::wstring& url,
                                            const std::wstring& path, std::string& unavailable) {
    unavailable.clear();
    if (type == 2)
        return std::make_unique<WinHttpDownloader>(std::move(callback), url, path);
    if (type == 3)
        return std::make_unique<CMTCurlDownloader>(std::move(callback), url, path);
    return std::make_unique<CCurlDownloader>(std::move(callback), url, path);
}

int RunDownload(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: lumivane-cli download --type N --url URL --out PATH\n");
        return kExitUsage;
    }
    EventPrinter printer;
    std::string unavailable;
    std::unique_ptr<CDownloader> downloader =
        MakeDownloader(options.type, printer.Callback(), options.url, options.out, unavailable);
    if (!downloader) {
        std::fprintf(stderr, "%s\n", unavailable.c_str());
        return kExitUsage;
    }
    printer.SetDownloader(downloader.get());
    downloader->Start();
    const int exitCode = printer.WaitForOutcome();
    // The downloader's destruction waits for its worker, which may still be leaving.
    downloader.reset();
    return exitCode;
}

}  // namespace Cli

bool ParseDownloadType(const wchar_t* text, long& type) {
    wchar_t* end = nullptr;
    type = std::wcstol(text, &end, 10);
    return end != text && *end == L'\0';
}
