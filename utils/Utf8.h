#pragma once
// A UTF-8 codec for platform-neutral code. Invalid input is replaced by U+FFFD, as the
// Windows converters do when called without flags. wchar_t is UTF-16 on Windows (code
// points above U+FFFF become surrogate pairs) and UTF-32 elsewhere.

#include <string>
#include <string_view>

namespace Utils {

std::wstring DecodeUtf8(std::string_view bytes);
std::string EncodeUtf8(std::wstring_view text);

}  // namespace Utils
