#include "download/CurlSupport.h"

#include <curl/curl.h>

#include "utils/TextConversion.h"

namespace CurlSupport {

void EnsureCurlReady() {
    static const CURLcode ready = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)ready;
}

std::wstring CurlText(int result) {
    return Utils::ToWide(curl_easy_strerror(static_cast<CURLcode>(result)), Utils::kCodePageUtf8);
}

}  // namespace CurlSupport
