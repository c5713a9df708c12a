// The installer's digest of a file and how long it took, to compare with md5sum:
//   bench_md5 FILE
// prints "md5=<hex> wall_ms=<n>"; exits with 1 when the file gave no digest.

#include <chrono>
#include <cstdio>
#include <string>

#include "download/Md5.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_md5 FILE\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string digest = GetFileMd5(std::wstring(argv[1]));
    const auto wallMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    if (digest.empty()) {
        std::fprintf(stderr, "no digest for %ls\n", argv[1]);
        return 1;
    }
    std::printf("md5=%s wall_ms=%lld\n", digest.c_str(), static_cast<long long>(wallMs));
    return 0;
}
