#include "utils/Utf8.h"

#include <cstdint>

namespace Utils {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendCodePoint(std::wstring& out, char32_t codePoint) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (codePoint > 0xFFFF) {
            codePoint -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(codePoint));
}

// Length of the sequence a lead byte announces, or 0 for a byte that cannot lead.
int SequenceLength(uint8_t lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// The second byte's range is narrower than 80..BF for some leads: that rules out
// overlong forms, surrogates and code points above U+10FFFF.
bool SecondByteFits(uint8_t lead, uint8_t second) {
    switch (lead) {
        case 0xE0:
            return second >= 0xA0 && second <= 0xBF;
        case 0xED:
            return second >= 0x80 && second <= 0x9F;
        case 0xF0:
            return second >= 0x90 && second <= 0xBF;
        case 0xF4:
            return second >= 0x80 && second <= 0x8F;
        default:
            return second >= 0x80 && second <= 0xBF;
    }
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

}  // namespace

std::wstring DecodeUtf8(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<uint8_t>(bytes[i]);
        const int length = SequenceLength(lead);
        if (length == 1) {
            out.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        // A malformed sequence is replaced by one U+FFFD per maximal invalid prefix.
        size_t taken = 1;
        bool valid =
            length > 0 && i + 1 < bytes.size() && SecondByteFits(lead, static_cast<uint8_t>(bytes[i + 1]));
        if (valid) {
            taken = 2;
            while (static_cast<int>(taken) < length && i + taken < bytes.size() &&
                   (static_cast<uint8_t>(bytes[i + taken]) & 0xC0) == 0x80) {
                ++taken;
            }
            valid = static_cast<int>(taken) == length;
        }
        if (!valid) {
            AppendCodePoint(out, kReplacement);
            i += taken;
            continue;
        }
        char32_t codePoint = lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            codePoint = (codePoint << 6) | (static_cast<uint8_t>(bytes[i + k]) & 0x3F);
        }
        AppendCodePoint(out, codePoint);
        i += length;
    }
    return out;
}

std::string EncodeUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            unit &= 0xFFFF;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            const auto next = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        const bool lone = unit >= 0xD800 && unit <= 0xDFFF;
        AppendUtf8(out, lone || unit > 0x10FFFF ? kReplacement : unit);
    }
    return out;
}

}  // namespace Utils
