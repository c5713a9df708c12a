#include "install/DownloadInstaller.h"

#include <windows.h>

#include "download/CurlDownloader.h"
#include "download/MTCurlDownloader.h"
#include "download/WinHttpDownloader.h"
#include "utils/Folders.h"
#include "utils/Log.h"
#include "utils/ProcessHelpers.h"

std::wstring CDownloadInstaller::lastRemovedPackage;

namespace {

bool firstStartDone = false;

constexpr wchar_t kProductExe[] = L"lumivane.exe";

bool IsExistingFile(const std::wstring& path) {
    if (path.empty())
        return false;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WithoutLastComponent(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::unique_ptr<CDownloader> MakeDownloader(long type, EventCallback step, const std::wstring& url,
                                            const std::wstring& path) {
    if (type == 2)
        return std::make_unique<WinHttpDownloader>(std::move(step), url, path);
    if (type == 3)
        return std::make_unique<CMTCurlDownloader>(std::move(step), url, path);
    return std::make_unique<CCurlDownloader>(std::move(step), url, path);
}

// The package reports its final line while it is still running, and a running program's
// file cannot be deleted: give it a moment to end. Runs on a producer's worker, never on
// the UI thread; any other failure is left alone.
void DeletePackageFile(const std::wstring& path, bool packageMayRun) {
    const int kAttempts = packageMayRun ? 50 : 1;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (::DeleteFileW(path.c_str()))
            return;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return;
        ::Sleep(100);
    }
}

}  // namespace

CDownloadInstaller::CDownloadInstaller(EventCallback windowCallback, Options options)
    : options(std::move(options)), windowCallback(std::move(windowCallback)) {}

CDownloadInstaller::~CDownloadInstaller() {
    {
        std::lock_guard<std::mutex> lock(downloaderMutex_);
        stopping_ = true;
    }
    // The downloader first: its worker may be about to start the installer runner, which
    // must still exist then; the uninstaller last, since its step may start the download.
    downloader.reset();
    activeDownloader_ = nullptr;
    installerRunner.reset();
    uninstallerRunner.reset();
}

void CDownloadInstaller::SetParams(const std::wstring& downloadUrl, const std::wstring& oldUninstallerPath,
                                   const std::wstring& installDir, bool desktopShortcut,
                                   bool quickLaunchShortcut, bool userIsAdmin, bool processIsAdmin,
                                   const std::wstring& installLanguage) {
    this->downloadUrl = downloadUrl;
    this->oldUninstallerPath = oldUninstallerPath;
    this->installDir = installDir;
    this->desktopShortcut = desktopShortcut;
    this->quickLaunchShortcut = quickLaunchShortcut;
    this->userIsAdmin = userIsAdmin;
    this->processIsAdmin = processIsAdmin;
    this->installLanguage = installLanguage;
}

std::wstring CDownloadInstaller::PackagePathFor(const std::wstring& installDir) {
    return installDir + L"\\__Package_Lumivane.exe";
}

void CDownloadInstaller::Start() {
    if (!firstStartDone) {
        firstStartDone = true;
        lastRemovedPackage.clear();
    }
    packagePath = PackagePathFor(installDir);
    UTILS_LOG(L"DL_TYPE=%d\r\n", static_cast<int>(options.downloadType));
    CreateProducers();

    installerRunner->installDir = installDir;
    installerRunner->desktopShortcut = desktopShortcut;
    installerRunner->quickLaunchShortcut = quickLaunchShortcut;
    installerRunner->userIsAdmin = userIsAdmin;
    installerRunner->processIsAdmin = processIsAdmin;
    installerRunner->installLanguage = installLanguage;
    installerRunner->extraArguments = options.extraArguments;

    if (IsExistingFile(oldUninstallerPath))
        StartUninstall();
    else
        downloader->Start();
}

// Made once: a retry reuses them, with the package path of the first Start (RemovePackage
// cleans up after that).
void CDownloadInstaller::CreateProducers() {
    if (!downloader) {
        auto downloadStep = [this](int32_t code, double value, const wchar_t* text) {
            windowCallback(code, value, text);
            switch (code) {
                case DL_CODE_START:
                    Utils::CreateDirectoryTree(installDir);
                    UTILS_LOG(L"DL_CODE_START\r\n");
                    break;
                case DL_CODE_PROGRESS:
                    UTILS_LOG(L"DL_CODE_PROGRESS\r\n");
                    break;
                case DL_CODE_SUCCESS:
                    UTILS_LOG(L"DOWNLOAD_SUCCESS\r\n");
                    if (!stopping_)
                        installerRunner->Start();
                    UTILS_LOG(L"DL_CODE_SUCCESS\r\n");
                    break;
                case DL_CODE_FAIL:
                    RemovePackage(false);
                    UTILS_LOG(L"DL_CODE_FAIL\r\n");
                    break;
                case DL_CODE_RETRY:
                    UTILS_LOG(L"DL_CODE_RETRY\r\n");
                    if (!stopping_)
                        activeDownloader_->Start();
                    break;
                default:
                    break;
            }
        };
        downloader = MakeDownloader(options.downloadType, downloadStep, downloadUrl, packagePath);
        activeDownloader_ = downloader.get();
    }
    if (!installerRunner) {
        auto installStep = [this](int32_t code, double value, const wchar_t* text) {
            windowCallback(code, value, text);
            switch (code) {
                case IST_CODE_START:
                    UTILS_LOG(L"IST_CODE_START\r\n");
                    break;
                case IST_CODE_PROGRESS:
                    UTILS_LOG(L"IST_CODE_PROGRESS %g\r\n", value);
                    break;
                case INSTALL_SUCCESS:
                    RemovePackage(true);
                    UTILS_LOG(L"INSTALL_SUCCESS\r\n");
                    break;
                case IST_CODE_FAIL:
                    RemovePackage(true);
                    UTILS_LOG(L"IST_CODE_FAIL\r\n");
                    break;
                default:
                    break;
            }
        };
        installerRunner = std::make_unique<CInstaller>(installStep, L"\"" + packagePath + L"\"", installDir);
    }
}

void CDownloadInstaller::StartUninstall() {
    // The folder ends in a backslash already; the doubled one is accepted by the file system.
    const std::wstring tempFolder = Utils::GetTempFolder();
    const std::wstring copyPath = tempFolder.empty() ? std::wstring() : tempFolder + L"\\Lumivane_un_asa.exe";
    const std::wstring uninstallDir = WithoutLastComponent(oldUninstallerPath);
    // A failed copy shows up as the runner's "missing copy" failure.
    if (!copyPath.empty())
        ::CopyFileW(oldUninstallerPath.c_str(), copyPath.c_str(), FALSE);

    auto uninstallStep = [this](int32_t code, double value, const wchar_t* text) {
        windowCallback(code, value, text);
        switch (code) {
            case UNIST_CODE_PROGRESS:
                UTILS_LOG(L"UNIST_CODE_PROGRESS\r\n");
                break;
            case UNIST_CODE_SUCCESS:
                UTILS_LOG(L"UNIST_CODE_SUCCESS\r\n");
                StartDownloadAfterUninstall();
                break;
            case UNIST_CODE_FAIL:
                UTILS_LOG(L"UNIST_CODE_FAIL\r\n");
                break;
            case UNIST_CODE_ERROR:
                UTILS_LOG(L"UNIST_CODE_ERROR\r\n");
                break;
            default:
                break;
        }
    };
    uninstallerRunner = std::make_unique<CUnInstaller>(uninstallStep, copyPath, uninstallDir);
    if (options.installNew)
        WaitWhileProductRuns();
    uninstallerRunner->Start();
}

// Runs on the uninstaller's worker; destruction may be releasing the downloader meanwhile.
void CDownloadInstaller::StartDownloadAfterUninstall() {
    std::lock_guard<std::mutex> lock(downloaderMutex_);
    if (!stopping_ && installerRunner && downloader)
        downloader->Start();
}

// Blocks the UI thread as the install-new mode requires, but keeps its window painting.
void CDownloadInstaller::WaitWhileProductRuns() {
    bool quit = false;
    WPARAM quitCode = 0;
    while (Utils::FindProcessByName(kProductExe) != 0) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = message.wParam;
                continue;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(100);
    }
    // The message loop that owns this thread must still see a quit taken off its queue here.
    if (quit)
        ::PostQuitMessage(static_cast<int>(quitCode));
}

void CDownloadInstaller::RemovePackage(bool packageMayRun) {
    DeletePackageFile(packagePath, packageMayRun);
    if (!lastRemovedPackage.empty())
        DeletePackageFile(lastRemovedPackage, packageMayRun);
    lastRemovedPackage = packagePath;
}
