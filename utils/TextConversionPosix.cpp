// Off Windows the system code page is UTF-8, so both code pages in use map to it.
#include <random>

#include "utils/StringUtils.h"
#include "utils/TextConversion.h"
#include "utils/Utf8.h"

namespace Utils {
namespace {

bool IsUtf8CodePage(unsigned codePage) {
    return codePage == kCodePageAnsi || codePage == kCodePageUtf8;
}

}  // namespace

std::wstring ToWide(std::string_view narrow, unsigned codePage) {
    if (!IsUtf8CodePage(codePage)) {
        return {};
    }
    return DecodeUtf8(narrow.substr(0, std::min(narrow.find('\0'), narrow.size())));
}

std::string ToNarrow(std::wstring_view wide, unsigned codePage) {
    if (!IsUtf8CodePage(codePage)) {
        return {};
    }
    return EncodeUtf8(wide.substr(0, std::min(wide.find(L'\0'), wide.size())));
}

std::wstring NewGuidText() {
    std::random_device device;
    std::mt19937_64 generator(device());
    std::uniform_int_distribution<uint32_t> word;
    uint8_t tail[8];
    for (auto& byte : tail) {
        byte = static_cast<uint8_t>(word(generator));
    }
    return FormatGuidText(word(generator), static_cast<uint16_t>(word(generator)),
                          static_cast<uint16_t>(word(generator)), tail);
}

}  // namespace Utils
