#pragma once
// "download --type N --url URL --out PATH": runs the downloader that the pipeline would
// pick for N and prints every event as "code<TAB>value<TAB>text" (text in UTF-8).

#include <memory>
#include <string>

#include "download/Downloader.h"
#include "utils/InstallEvents.h"

namespace Cli {

// Exit codes of the tool.
constexpr int kExitSuccess = 0;
constexpr int kExitDownloadFailed = 1;
constexpr int kExitUsage = 2;

// The downloader for a download type, as the pipeline chooses it; null with a reason when
// that type cannot run here.
std::unique_ptr<CDownloader> MakeDownloader(long type, EventCallback callback, const std::wstring& url,
                                            const std::wstring& path, std::string& unavailable);

// Runs the download command on the arguments after "download"; returns the exit code.
int RunDownload(int argc, wchar_t** argv);

}  // namespace Cli

// A whole decimal number, as --type takes it; false for anything else.
bool ParseDownloadType(const wchar_t* text, long& type);
