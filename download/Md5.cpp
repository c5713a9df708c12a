#include "download/Md5.h"

std::string GetUrlMd5(const std::string& address) {
    const std::string path = address.substr(0, address.find_first_of("?#"));
    const size_t lastSlash = path.rfind('/');
    if (path.empty() || lastSlash == std::string::npos || lastSlash == 0) {
        return std::string();
    }
    const size_t folderSlash = path.rfind('/', lastSlash - 1);
    if (folderSlash == std::string::npos) {
        return std::string();
    }
    return path.substr(folderSlash + 1, lastSlash - folderSlash - 1);
}

bool IsDigestText(const std::string& text) {
    return text.size() == 32;
}

bool DigestMismatch(const std::string& expected, const std::string& computed) {
    return IsDigestText(computed) && computed != expected;
}
