#pragma once
// Addresses, files and request log of the package servers that the test fixture starts
// (scripts/package-servers; ctest runs it around windows_tests). Both servers listen on
// 127.0.0.1 only. The fault server misbehaves when the query asks it to, for example
// FaultServerUrl(L"/package.bin?close_after=1000"); see tools/packageserver/faultserver.py.
// Served files: package.bin (5,000,000 bytes), len1048575.bin, len1048576.bin, small.bin
// (300) and big.bin (25,000,001); "/software/155" redirects to "/<md5>/package.bin".
//
// When the servers are not running, each address helper records a test failure that says
// so and returns an address on which nothing listens, so the test fails fast.

#include <cstdint>
#include <string>
#include <vector>

// One request as the fault server saw it.
struct FaultLogEntry {
    std::string method;  // "GET" or "HEAD"
    std::string path;    // without the query, e.g. "/<md5>/package.bin"
    std::string query;   // e.g. "close_after=1000", empty when there was none
    std::string range;   // the Range header as sent, empty when hasRange is false
    bool hasRange = false;
    int status = 0;    // 0: the server answered nothing (close_before_headers)
    int64_t sent = 0;  // body bytes actually written
};

std::wstring FaultServerUrl(const std::wstring& pathAndQuery);
std::wstring NginxUrl(const std::wstring& pathAndQuery);

// Windows path (Z:\...) of a served file, to compare with what a downloader wrote.
std::wstring PackageServerFile(const std::wstring& name);
// The served file's bytes; empty when it cannot be read.
std::string PackageServerFileBytes(const std::wstring& name);
// 32 lower-case hexadecimal digits of the served file's MD5, empty when unknown.
std::string FileMd5Hex(const std::wstring& name);

// The server writes a request's line after its last byte: this first waits (at most two
// seconds) until the log has stopped growing, so the last request of a test is in it.
std::vector<FaultLogEntry> ReadFaultServerLog();
// Empties the log, after letting the previous test's last line arrive.
void ClearFaultServerLog();
