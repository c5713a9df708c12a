// lumivane-cli: developer commands around the installer's parts: download and pipeline.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "tools/cli/DownloadCommand.h"
#include "tools/cli/PipelineCommand.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: lumivane-cli download --type N --url URL --out PATH\n"
                 "       lumivane-cli pipeline --url URL --dir DIR [options]\n"
                 "  N = 2: WinHTTP, 3: multi-part libcurl, anything else: single-stream libcurl\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Lines end in "\n" alone and the texts are UTF-8, whatever reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
    if (argc >= 2 && std::wstring(argv[1]) == L"download")
        return Cli::RunDownload(argc - 2, argv + 2);
    if (argc >= 2 && std::wstring(argv[1]) == L"pipeline")
        return Cli::RunPipeline(argc - 2, argv + 2);
    Usage();
    return Cli::kExitUsage;
}
