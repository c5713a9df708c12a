#include <windows.h>
#include <objbase.h>

#include <climits>
#include <vector>

#include "utils/StringUtils.h"
#include "utils/TextConversion.h"

namespace Utils {
namespace {

// Text ends at its first null, as it does for the system's converters.
template <typename Char>
std::basic_string_view<Char> UpToNull(std::basic_string_view<Char> text) {
    return text.substr(0, std::min(text.find(Char{}), text.size()));
}

}  // namespace

std::wstring ToWide(std::string_view narrow, unsigned codePage) {
    narrow = UpToNull(narrow);
    if (narrow.empty() || narrow.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(narrow.size());
    const int needed = ::MultiByteToWideChar(codePage, 0, narrow.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    try {
        std::wstring wide(static_cast<size_t>(needed), L'\0');
        if (::MultiByteToWideChar(codePage, 0, narrow.data(), length, wide.data(), needed) != needed) {
            return {};
        }
        return std::wstring(UpToNull(std::wstring_view(wide)));
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string ToNarrow(std::wstring_view wide, unsigned codePage) {
    wide = UpToNull(wide);
    if (wide.empty() || wide.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(wide.size());
    const int needed = ::WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    try {
        std::string narrow(static_cast<size_t>(needed), '\0');
        if (::WideCharToMultiByte(codePage, 0, wide.data(), length, narrow.data(), needed, nullptr,
                                  nullptr) != needed) {
            return {};
        }
        return std::string(UpToNull(std::string_view(narrow)));
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::wstring NewGuidText() {
    GUID guid{};
    if (FAILED(::CoCreateGuid(&guid))) {
        return {};
    }
    return FormatGuidText(guid.Data1, guid.Data2, guid.Data3, guid.Data4);
}

}  // namespace Utils
