#pragma once
// Settings files a distributor should never ship, but users may still end up with.

#include <string>
#include <vector>

struct BadSettingsFile {
    const char* name;
    std::string bytes;
};

// Binary garbage; a UTF-16 file with byte-order mark holding "DownloadType=3" and a
// non-ASCII "DownloadUrl=http://h/宽"; and a single line of 1 MB ("DownloadUrl=xxx...").
std::vector<BadSettingsFile> BadSettingsFiles();
