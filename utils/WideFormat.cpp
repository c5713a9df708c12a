#include "utils/WideFormat.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <new>
#include <string_view>

#include "utils/Utf8.h"

namespace Utils {
namespace {

enum class Length { None, Char, Short, Long, LongLong, Size, LongDouble };

struct Conversion {
    std::string flags;
    int width = -1;
    int precision = -1;
    Length length = Length::None;
    wchar_t letter = 0;
};

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Reads a width or precision: digits or '*'. Returns false on a number too large to be sane.
bool ReadCount(const wchar_t*& p, va_list& args, int& out) {
    if (*p == L'*') {
        out = va_arg(args, int);
        ++p;
        return true;
    }
    long value = 0;
    while (IsDigit(*p)) {
        value = value * 10 + (*p - L'0');
        if (value > 1'000'000) {
            return false;
        }
        ++p;
    }
    out = static_cast<int>(value);
    return true;
}

bool ParseConversion(const wchar_t*& p, va_list& args, Conversion& conversion) {
    while (*p && std::wstring_view(L"-+ #0").find(*p) != std::wstring_view::npos) {
        conversion.flags.push_back(static_cast<char>(*p++));
    }
    if (IsDigit(*p) || *p == L'*') {
        if (!ReadCount(p, args, conversion.width))
            return false;
        if (conversion.width < 0) {
            conversion.flags.push_back('-');
            conversion.width = conversion.width == INT_MIN ? 0 : -conversion.width;
        }
    }
    if (*p == L'.') {
        ++p;
        conversion.precision = 0;
        if ((IsDigit(*p) || *p == L'*') && !ReadCount(p, args, conversion.precision))
            return false;
    }
    if (p[0] == L'h' && p[1] == L'h') {
        conversion.length = Length::Char, p += 2;
    } else if (p[0] == L'h') {
        conversion.length = Length::Short, ++p;
    } else if (p[0] == L'l' && p[1] == L'l') {
        conversion.length = Length::LongLong, p += 2;
    } else if (p[0] == L'l') {
        conversion.length = Length::Long, ++p;
    } else if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
        conversion.length = Length::LongLong, p += 3;
    } else if (p[0] == L'z') {
        conversion.length = Length::Size, ++p;
    } else if (p[0] == L'L') {
        conversion.length = Length::LongDouble, ++p;
    }
    conversion.letter = *p;
    if (!conversion.letter)
        return false;
    ++p;
    return true;
}

// Numbers are formatted by the C library's narrow printf: its output is ASCII.
template <typename T>
bool AppendNumber(std::wstring& out, const Conversion& conversion, const char* lengthText, T value) {
    std::string format(1, '%');
    format.append(conversion.flags);
    if (conversion.width >= 0) format.append(std::to_string(conversion.width));
    if (conversion.precision >= 0) format.append(1, '.').append(std::to_string(conversion.precision));
    format.append(lengthText);
    format.push_back(static_cast<char>(conversion.letter));
    const int needed = std::snprintf(nullptr, 0, format.c_str(), value);
    if (needed < 0)
        return false;
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), value);
    text.resize(static_cast<size_t>(needed));
    out.append(text.begin(), text.end());
    return true;
}

void AppendPadded(std::wstring& out, const Conversion& conversion, std::wstring_view text) {
    if (conversion.precision >= 0 && text.size() > static_cast<size_t>(conversion.precision)) {
        text = text.substr(0, static_cast<size_t>(conversion.precision));
    }
    const size_t pad =
        conversion.width > 0 && static_cast<size_t>(conversion.width) > text.size() ? conversion.width - text.size() : 0;
    const bool left = conversion.flags.find('-') != std::string::npos;
    if (!left)
        out.append(pad, L' ');
    out.append(text);
    if (left)
        out.append(pad, L' ');
}

bool AppendSigned(std::wstring& out, const Conversion& conversion, va_list& args) {
    switch (conversion.length) {
        case Length::Char:
            return AppendNumber(out, conversion, "hh", static_cast<signed char>(va_arg(args, int)));
        case Length::Short:
            return AppendNumber(out, conversion, "h", static_cast<short>(va_arg(args, int)));
        case Length::Long:
            return AppendNumber(out, conversion, "l", va_arg(args, long));
        case Length::LongLong:
            return AppendNumber(out, conversion, "ll", va_arg(args, long long));
        case Length::Size:
            return AppendNumber(out, conversion, "ll", static_cast<long long>(va_arg(args, ptrdiff_t)));
        default:
            return AppendNumber(out, conversion, "", va_arg(args, int));
    }
}

bool AppendUnsigned(std::wstring& out, const Conversion& conversion, va_list& args) {
    switch (conversion.length) {
        case Length::Char:
            return AppendNumber(out, conversion, "hh", static_cast<unsigned char>(va_arg(args, unsigned)));
        case Length::Short:
            return AppendNumber(out, conversion, "h", static_cast<unsigned short>(va_arg(args, unsigned)));
        case Length::Long:
            return AppendNumber(out, conversion, "l", va_arg(args, unsigned long));
        case Length::LongLong:
            return AppendNumber(out, conversion, "ll", va_arg(args, unsigned long long));
        case Length::Size:
            return AppendNumber(out, conversion, "ll", static_cast<unsigned long long>(va_arg(args, size_t)));
        default:
            return AppendNumber(out, conversion, "", va_arg(args, unsigned));
    }
}

bool AppendConversion(std::wstring& out, const Conversion& conversion, va_list& args) {
    switch (conversion.letter) {
        case L'd':
        case L'i':
            return AppendSigned(out, conversion, args);
        case L'u':
        case L'o':
        case L'x':
        case L'X':
            return AppendUnsigned(out, conversion, args);
        case L'f':
        case L'F':
        case L'e':
        case L'E':
        case L'g':
        case L'G':
        case L'a':
        case L'A':
            if (conversion.length == Length::LongDouble)
                return AppendNumber(out, conversion, "L", va_arg(args, long double));
            return AppendNumber(out, conversion, "", va_arg(args, double));
        case L'p':
            return AppendNumber(out, conversion, "", va_arg(args, void*));
        case L'c': {
            const wchar_t unit = conversion.length == Length::Short
                                     ? static_cast<wchar_t>(static_cast<unsigned char>(va_arg(args, int)))
                                     : static_cast<wchar_t>(va_arg(args, int));
            AppendPadded(out, conversion, std::wstring_view(&unit, 1));
            return true;
        }
        case L'C': {
            const auto unit = static_cast<wchar_t>(static_cast<unsigned char>(va_arg(args, int)));
            AppendPadded(out, conversion, std::wstring_view(&unit, 1));
            return true;
        }
        case L's':
            if (conversion.length != Length::Short) {
                const wchar_t* text = va_arg(args, const wchar_t*);
                AppendPadded(out, conversion, text ? text : L"(null)");
                return true;
            }
            [[fallthrough]];
        case L'S': {
            const char* text = va_arg(args, const char*);
            AppendPadded(out, conversion, text ? DecodeUtf8(text) : L"(null)");
            return true;
        }
        default:
            return false;  // includes %n, which would write through an argument
    }
}

}  // namespace

std::optional<std::wstring> FormatWideV(const wchar_t* format, va_list args) {
    if (!format)
        return std::nullopt;
    va_list local;
    va_copy(local, args);
    std::optional<std::wstring> result;
    try {
        std::wstring out;
        bool ok = true;
        for (const wchar_t* p = format; *p && ok;) {
            const wchar_t* percent = std::wcschr(p, L'%');
            if (!percent) {
                out.append(p);
                break;
            }
            out.append(p, percent);
            p = percent + 1;
            if (*p == L'%') {
                out.push_back(L'%');
                ++p;
                continue;
            }
            Conversion conversion;
            ok = ParseConversion(p, local, conversion) && AppendConversion(out, conversion, local);
        }
        if (ok)
            result = std::move(out);
    } catch (const std::bad_alloc&) {
        result.reset();
    }
    va_end(local);
    return result;
}

std::optional<std::wstring> FormatWide(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    auto result = FormatWideV(format, args);
    va_end(args);
    return result;
}

}  // namespace Utils
