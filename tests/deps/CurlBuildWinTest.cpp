// libcurl as we ship it: HTTP(S) and file:// only, Schannel TLS, IPv6.
#include <gtest/gtest.h>
#include <curl/curl.h>

#include <set>
#include <string>

namespace {

TEST(CurlBuildTest, OnlyHttpHttpsAndFile) {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    std::set<std::string> protocols;
    for (const char* const* protocol = info->protocols; *protocol; ++protocol)
        protocols.insert(*protocol);
    EXPECT_EQ(protocols, (std::set<std::string>{"file", "http", "https"}));
    EXPECT_EQ(info->version_num >> 8, 0x0758u);  // 7.88
}

TEST(CurlBuildTest, SchannelAndIpv6) {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->features & CURL_VERSION_IPV6);
    EXPECT_TRUE(info->features & CURL_VERSION_SSL);
    EXPECT_FALSE(info->features & CURL_VERSION_LIBZ);
    ASSERT_NE(info->ssl_version, nullptr);
    EXPECT_NE(std::string(info->ssl_version).find("Schannel"), std::string::npos) << info->ssl_version;
}

TEST(CurlBuildTest, OtherSchemesAreRefused) {
    CURL* curl = curl_easy_init();
    ASSERT_NE(curl, nullptr);
    curl_easy_setopt(curl, CURLOPT_URL, "ftp://127.0.0.1/x");
    EXPECT_EQ(curl_easy_perform(curl), CURLE_UNSUPPORTED_PROTOCOL);
    curl_easy_cleanup(curl);
}

}  // namespace
