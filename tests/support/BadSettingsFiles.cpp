#include "tests/support/BadSettingsFiles.h"

std::vector<BadSettingsFile> BadSettingsFiles() {
    std::string garbage;
    for (int i = 0; i < 65536; ++i) {
        garbage.push_back(static_cast<char>((i * 7919 + 13) % 251));
    }
    const std::wstring utf16 = L"\xFEFF[Install]\r\nDownloadType=3\r\nDownloadUrl=http://h/宽\r\n";
    std::string utf16Bytes;
    for (wchar_t unit : utf16) {
        utf16Bytes.push_back(static_cast<char>(unit & 0xFF));
        utf16Bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    return {{"binary garbage", garbage},
            {"UTF-16 with BOM", utf16Bytes},
            {"one 1 MB line", "[Install]\r\nDownloadUrl=" + std::string(1 << 20, 'x')}};
}
