// The package servers of the fixture, reached from inside Wine: if these fail, every
// download test's failure is about the fixture, not the downloader.

#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

#include "tests/support/PackageServer.h"
#include "utils/TextConversion.h"

namespace {

struct InternetCloser {
    void operator()(HINTERNET handle) const { ::WinHttpCloseHandle(handle); }
};
using UniqueInternet = std::unique_ptr<std::remove_pointer_t<HINTERNET>, InternetCloser>;

struct Answer {
    DWORD status = 0;
    std::string body;
    std::wstring location;  // of a redirect that was not followed
    std::wstring error;     // empty when the exchange itself worked
};

Answer Fail(const wchar_t* step) {
    Answer answer;
    answer.error = std::wstring(step) + L" failed with " + std::to_wstring(::GetLastError());
    return answer;
}

// A plain WinHTTP GET with an optional Range header.
Answer Get(const std::wstring& url, const std::wstring& range, bool followRedirects = true) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts))
        return Fail(L"WinHttpCrackUrl");
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    UniqueInternet session(::WinHttpOpen(L"LumivaneTest", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                         WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        return Fail(L"WinHttpOpen");
    ::WinHttpSetTimeouts(session.get(), 10000, 10000, 10000, 10000);
    UniqueInternet connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection)
        return Fail(L"WinHttpConnect");
    UniqueInternet request(::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request)
        return Fail(L"WinHttpOpenRequest");
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!followRedirects &&
        !::WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy)))
        return Fail(L"WinHttpSetOption");
    const std::wstring header = range.empty() ? L"" : L"Range: bytes=" + range;
    if (!::WinHttpSendRequest(request.get(), range.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : header.c_str(),
                              static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr))
        return Fail(L"sending the request");
    Answer answer;
    DWORD size = sizeof(answer.status);
    ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &answer.status, &size, WINHTTP_NO_HEADER_INDEX);
    wchar_t location[2048] = {};
    DWORD locationBytes = sizeof(location) - sizeof(wchar_t);
    if (::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location,
                              &locationBytes, WINHTTP_NO_HEADER_INDEX))
        answer.location = location;
    char block[65536];
    DWORD got = 0;
    while (::WinHttpReadData(request.get(), block, sizeof(block), &got) && got > 0)
        answer.body.append(block, got);
    return answer;
}

using UrlMaker = std::wstring (*)(const std::wstring&);

struct ServerCase {
    const char* name;
    UrlMaker url;
};

class PackageServerWinTest : public ::testing::TestWithParam<ServerCase> {};

TEST_P(PackageServerWinTest, RedirectedRangeRequestGivesTheExactBytes) {
    const std::string file = PackageServerFileBytes(L"package.bin");
    ASSERT_EQ(file.size(), 5000000u) << "the fixture's package.bin is missing or of the wrong size";
    const std::string md5 = FileMd5Hex(L"package.bin");
    ASSERT_EQ(md5.size(), 32u);

    struct {
        const wchar_t* range;
        DWORD status;
        size_t first;
        size_t count;
    } const cases[] = {
        {L"1000-1999", 206, 1000, 1000},
        {L"4999990-", 206, 4999990, 10},
        {L"", 200, 0, 5000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range);
        const Answer answer = Get(GetParam().url(L"/software/155"), c.range);
        ASSERT_EQ(answer.error, L"");
        EXPECT_EQ(answer.status, c.status);
        EXPECT_TRUE(answer.body == file.substr(c.first, c.count))
            << "body of " << answer.body.size() << " bytes";
    }
    // The distributor's layout: the digest folder, and the faults of the query kept.
    const Answer redirect = Get(GetParam().url(L"/software/155?close_after=7"), L"", false);
    EXPECT_EQ(redirect.status, 302u);
    EXPECT_EQ(redirect.location, GetParam().url(L"/" + Utils::ToWide(md5) + L"/package.bin?close_after=7"));
}

TEST_P(PackageServerWinTest, UnsatisfiableRangeAndMissingFile) {
    EXPECT_EQ(Get(GetParam().url(L"/small.bin"), L"300-").status, 416u);
    EXPECT_EQ(Get(GetParam().url(L"/no-such-file.bin"), L"").status, 404u);
    EXPECT_EQ(Get(GetParam().url(L"/small.bin"), L"").body, PackageServerFileBytes(L"small.bin"));
}

INSTANTIATE_TEST_SUITE_P(Servers, PackageServerWinTest,
                         ::testing::Values(ServerCase{"fault", &FaultServerUrl},
                                           ServerCase{"nginx", &NginxUrl}),
                         [](const auto& info) { return std::string(info.param.name); });

// The log is how download tests prove what was fetched: it must show every hop and the
// bytes that were really sent, including a connection the server cut.
TEST(PackageServerLogWinTest, RecordsRedirectRangeAndCutBody) {
    ClearFaultServerLog();
    ASSERT_EQ(Get(FaultServerUrl(L"/software/155?tag=log"), L"10-19").status, 206u);
    Get(FaultServerUrl(L"/small.bin?close_after=100"), L"");
    const auto entries = ReadFaultServerLog();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, "/software/155");
    EXPECT_EQ(entries[0].status, 302);
    EXPECT_EQ(entries[1].path, "/" + FileMd5Hex(L"package.bin") + "/package.bin");
    EXPECT_EQ(entries[1].query, "tag=log");
    EXPECT_TRUE(entries[1].hasRange);
    EXPECT_EQ(entries[1].range, "bytes=10-19");
    EXPECT_EQ(entries[1].status, 206);
    EXPECT_EQ(entries[1].sent, 10);
    EXPECT_FALSE(entries[2].hasRange);
    EXPECT_EQ(entries[2].sent, 100);
}

}  // namespace
