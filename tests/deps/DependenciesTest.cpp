// The third-party libraries as our build makes them: linked, and doing their job.
#include <gtest/gtest.h>

#include <json/json.h>

#include <memory>
#include <string>

extern "C" {
#include "7zCrc.h"
}

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include "stb_image.h"

namespace {

TEST(DependenciesTest, JsonCppParsesUtf8) {
    const std::string text = R"({"languages":[{"name":"简体中文","tag":"zh-CN"}]})";
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &root, &errors)) << errors;
    EXPECT_EQ(root["languages"][0]["tag"].asString(), "zh-CN");
    EXPECT_EQ(root["languages"][0]["name"].asString(), "简体中文");
    EXPECT_FALSE(reader->parse("{\"a\":", nullptr, &root, &errors));
}

TEST(DependenciesTest, SevenZipCrcMatchesTheCheckValue) {
    CrcGenerateTable();
    const char digits[] = "123456789";
    EXPECT_EQ(CrcCalc(digits, 9), 0xCBF43926u);
}

TEST(DependenciesTest, StbDecodesPngToRgba) {
    // 2x1 RGBA: opaque red, half-transparent blue.
    static const unsigned char kPng[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
        0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0xf4,
        0x22, 0x7f, 0x8a, 0x00, 0x00, 0x00, 0x0e, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8,
        0xcf, 0xc0, 0x00, 0x42, 0x0d, 0x00, 0x0f, 0x7a, 0x03, 0x7e, 0x77, 0xe9, 0x7f, 0x97, 0x00,
        0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(kPng, sizeof kPng, &width, &height, &channels, 4);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 1);
    const unsigned char expected[] = {255, 0, 0, 255, 0, 0, 255, 128};
    EXPECT_EQ(std::string(reinterpret_cast<char*>(pixels), 8),
              std::string(reinterpret_cast<const char*>(expected), 8));
    stbi_image_free(pixels);
    EXPECT_EQ(stbi_load_from_memory(kPng, 20, &width, &height, &channels, 4), nullptr);
}

}  // namespace
