#include "tools/cli/PipelineCommand.h"

#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>

#include "app/InstallerSettings.h"
#include "install/DownloadInstaller.h"
#include "tools/cli/DownloadCommand.h"
#include "utils/TextConversion.h"

namespace Cli {

namespace {

struct Options {
    std::wstring url = g_installerSettings.DownloadUrl;
    std::wstring dir;
    std::wstring oldUninstaller;
    std::wstring retryDir;
    std::wstring language;
    long type = g_installerSettings.DownloadType;
    bool installNew = g_installerSettings.installNew;
    bool desktop = true;
    bool quickLaunch = true;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 0; i < argc; ++i) {
        const std::wstring name = argv[i];
        if (name == L"--insnew") {
            options.installNew = true;
        } else if (name == L"--no-desktop") {
            options.desktop = false;
        } else if (name == L"--no-quicklaunch") {
            options.quickLaunch = false;
        } else if (i + 1 >= argc) {
            return false;
        } else if (name == L"--url") {
            options.url = argv[++i];
        } else if (name == L"--dir") {
            options.dir = argv[++i];
        } else if (name == L"--old-uninstaller") {
            options.oldUninstaller = argv[++i];
        } else if (name == L"--retry-dir") {
            options.retryDir = argv[++i];
        } else if (name == L"--lang") {
            options.language = argv[++i];
        } else if (name == L"--type") {
            if (!ParseDownloadType(argv[++i], options.type))
                return false;
        } else {
            return false;
        }
    }
    return !options.url.empty() && !options.dir.empty();
}

// Events arrive on the producers' workers; only the main thread calls SetParams, Start
// and destroys the pipeline, as the window would.
class Outcome {
public:
    EventCallback Callback() {
        return [this](int32_t code, double value, const wchar_t* text) { OnEvent(code, value, text); };
    }

    // The exit code once a final event arrived.
    int Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return exitCode_ >= 0; });
        const int code = exitCode_;
        exitCode_ = -1;
        return code;
    }

private:
    void OnEvent(int32_t code, double value, const wchar_t* text) {
        const std::string utf8 = Utils::ToNarrow(text ? text : L"", Utils::kCodePageUtf8);
        std::lock_guard<std::mutex> lock(mutex_);
        std::printf("%d\t%g\t%s\n", static_cast<int>(code), value, utf8.c_str());
        std::fflush(stdout);
        const int exitCode = ExitCodeFor(code);
        if (exitCode >= 0) {
            exitCode_ = exitCode;
            finished_.notify_all();
        }
    }

    static int ExitCodeFor(int32_t code) {
        switch (code) {
            case INSTALL_SUCCESS:
                return kExitSuccess;
            case DL_CODE_FAIL:
            case IST_CODE_FAIL:
            case UNIST_CODE_FAIL:
            case UNIST_CODE_ERROR:
                return kExitDownloadFailed;
            default:
                return -1;
        }
    }

    std::mutex mutex_;
    std::condition_variable finished_;
    int exitCode_ = -1;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: lumivane-cli pipeline --url URL --dir DIR [--old-uninstaller PATH] [--type N]\n"
                 "       [--insnew] [--lang TAG] [--no-desktop] [--no-quicklaunch] [--retry-dir DIR2]\n");
}

}  // namespace

int RunPipeline(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return kExitUsage;
    }
    Outcome outcome;
    CDownloadInstaller::Options pipelineOptions;
    pipelineOptions.downloadType = options.type;
    pipelineOptions.installNew = options.installNew;
    pipelineOptions.extraArguments = g_installerSettings.InstCmd;
    CDownloadInstaller pipeline(outcome.Callback(), pipelineOptions);
    pipeline.SetParams(options.url, options.oldUninstaller, options.dir, options.desktop, options.quickLaunch,
                       true, false, options.language);
    pipeline.Start();
    int exitCode = outcome.Wait();
    if (exitCode != kExitSuccess && !options.retryDir.empty()) {
        pipeline.SetParams(options.url, options.oldUninstaller, options.retryDir, options.desktop,
                           options.quickLaunch, true, false, options.language);
        pipeline.Start();
        exitCode = outcome.Wait();
    }
    return exitCode;
}

}  // namespace Cli
