#pragma once
// What both curl downloaders share: libcurl's one-time set-up, result texts, and the
// transfer limits that keep a bad server from trapping a download.

#include <cstddef>
#include <string>

namespace CurlSupport {

// The stall rule: a transfer slower than one byte per second for five seconds ends with
// 28, so a server that stops sending hands control back to the retry budget instead of
// trapping the user on the progress page.
constexpr long kStallBytesPerSecond = 1;
constexpr long kStallSeconds = 5;
// libcurl 7.88 follows redirects without limit; a loop must end.
constexpr long kMaximumRedirects = 10;
// Every receive is a round trip to the system (under Wine, to its server): the largest
// buffer libcurl allows keeps the calls few, as curl's own tool does; the file gets large
// blocks in turn.
constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr size_t kFileBufferBytes = 1024 * 1024;

// libcurl's global state is set up once, before handles are made from several threads.
void EnsureCurlReady();

// curl_easy_strerror of a result, as wide text.
std::wstring CurlText(int result);

}  // namespace CurlSupport
