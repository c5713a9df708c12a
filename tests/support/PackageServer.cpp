#include "tests/support/PackageServer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "utils/TextConversion.h"
#include "utils/UniqueHandle.h"

namespace {

// Nothing listens there: a test without servers fails at once instead of waiting.
constexpr const wchar_t* kNoServer = L"http://127.0.0.1:1";
// The fixture's files stay below this; the request log is the largest thing read whole.
constexpr int64_t kMaxReadBytes = 64LL * 1024 * 1024;

// A host path ("/work/...") as Wine's drive Z: shows it.
std::wstring HostPathToWindows(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return Utils::ToWide(path, Utils::kCodePageUtf8);
    std::wstring windows = L"Z:" + Utils::ToWide(path, Utils::kCodePageUtf8);
    for (auto& c : windows) {
        if (c == L'/')
            c = L'\\';
    }
    return windows;
}

std::wstring ServersFolder() {
    // Set by hand to use servers started elsewhere; ctest relies on the built-in folder.
    if (const char* override = std::getenv("LUMIVANE_PACKAGE_SERVERS_DIR"); override && *override)
        return HostPathToWindows(override);
#ifdef LUMIVANE_PACKAGE_SERVERS_DIR
    return HostPathToWindows(LUMIVANE_PACKAGE_SERVERS_DIR);
#else
    return L"";
#endif
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    Utils::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxReadBytes)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
    return true;
}

std::wstring ServerUrl(const wchar_t* portFile, const std::wstring& pathAndQuery) {
    const std::wstring folder = ServersFolder();
    std::string text;
    if (folder.empty() || !ReadWholeFile(folder + L"\\" + portFile, text)) {
        ADD_FAILURE() << "The package servers are not running (no " << Utils::ToNarrow(portFile)
                      << "): start them with scripts/package-servers start "
                      << Utils::ToNarrow(folder.empty() ? L"DIR" : folder, Utils::kCodePageUtf8);
        return kNoServer + pathAndQuery;
    }
    const unsigned long port = std::strtoul(text.c_str(), nullptr, 10);
    if (port == 0 || port > 65535) {
        ADD_FAILURE() << "The port file " << Utils::ToNarrow(portFile) << " holds no port: " << text;
        return kNoServer + pathAndQuery;
    }
    return L"http://127.0.0.1:" + std::to_wstring(port) + pathAndQuery;
}

// The value after "key": in one line of the log; false for null or a missing key.
bool JsonField(const std::string& line, const std::string& key, std::string& value) {
    const std::string marker = "\"" + key + "\": ";
    size_t at = line.find(marker);
    if (at == std::string::npos)
        return false;
    at += marker.size();
    value.clear();
    if (line.compare(at, 4, "null") == 0)
        return false;
    if (line[at] != '"') {
        const size_t end = line.find_first_of(",}", at);
        value = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
        return true;
    }
    // The server writes ASCII only; \uXXXX beyond it is kept as '?', which no test compares.
    for (size_t i = at + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            return true;
        if (c != '\\' || i + 1 >= line.size()) {
            value += c;
            continue;
        }
        const char escaped = line[++i];
        switch (escaped) {
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            case 't':
                value += '\t';
                break;
            case 'u': {
                const unsigned long code =
                    i + 4 < line.size() ? std::strtoul(line.substr(i + 1, 4).c_str(), nullptr, 16) : 0x3f;
                value += code < 0x80 ? static_cast<char>(code) : '?';
                i += 4;
                break;
            }
            default:
                value += escaped;
        }
    }
    return false;  // an unterminated string: the line is incomplete
}

bool ParseLogLine(const std::string& line, FaultLogEntry& entry) {
    if (line.empty() || line.front() != '{' || line.back() != '}')
        return false;
    std::string number;
    if (!JsonField(line, "method", entry.method) || !JsonField(line, "path", entry.path) ||
        !JsonField(line, "status", number))
        return false;
    entry.status = std::atoi(number.c_str());
    JsonField(line, "query", entry.query);
    entry.hasRange = JsonField(line, "range", entry.range);
    if (JsonField(line, "sent", number))
        entry.sent = std::strtoll(number.c_str(), nullptr, 10);
    return true;
}

std::wstring FaultLogPath() {
    return ServersFolder() + L"\\fault.log";
}

// Waits until the log's size holds still for 150 ms, two seconds at most.
void WaitForQuietLog() {
    const std::wstring path = FaultLogPath();
    int64_t last = -1;
    for (int round = 0; round < 20; ++round) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const int64_t size = ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)
                                 ? (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow
                                 : -1;
        if (size == last)
            return;
        last = size;
        ::Sleep(150);
    }
}

}  // namespace

std::wstring FaultServerUrl(const std::wstring& pathAndQuery) {
    return ServerUrl(L"fault.port", pathAndQuery);
}

std::wstring NginxUrl(const std::wstring& pathAndQuery) {
    return ServerUrl(L"nginx.port", pathAndQuery);
}

std::wstring PackageServerFile(const std::wstring& name) {
    return ServersFolder() + L"\\files\\" + name;
}

std::string PackageServerFileBytes(const std::wstring& name) {
    std::string bytes;
    ReadWholeFile(PackageServerFile(name), bytes);
    return bytes;
}

std::string FileMd5Hex(const std::wstring& name) {
    std::string sums;
    if (!ReadWholeFile(PackageServerFile(L"MD5SUMS"), sums))
        return "";
    const std::string wanted = Utils::ToNarrow(name, Utils::kCodePageUtf8);
    std::istringstream lines(sums);
    std::string digest, file;
    while (lines >> digest >> file) {
        if (file == wanted && digest.size() == 32)
            return digest;
    }
    return "";
}

std::vector<FaultLogEntry> ReadFaultServerLog() {
    WaitForQuietLog();
    std::string text;
    std::vector<FaultLogEntry> entries;
    if (!ReadWholeFile(FaultLogPath(), text))
        return entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        FaultLogEntry entry;
        if (ParseLogLine(line, entry))
            entries.push_back(std::move(entry));
    }
    return entries;
}

void ClearFaultServerLog() {
    WaitForQuietLog();
    // The server reopens the log for every line, so emptying it in place is safe.
    Utils::UniqueHandle file(::CreateFileW(FaultLogPath().c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        file.release();
}
