#pragma once
// Leading numbers of text, as settings values and child report lines hold them. They follow the C library's
// text-to-number rules (leading white space skipped, the longest leading number taken, the rest ignored), but
// report overflow and the non-numbers "inf" and "nan" instead of storing them.

#include <cstdint>
#include <string_view>

namespace Utils {

enum class NumberStatus { Ok, NoNumber, OutOfRange };

struct ParsedInt {
    NumberStatus status;
    int32_t value;  // 0 unless status is Ok
};

struct ParsedDouble {
    NumberStatus status;
    double value;  // 0.0 unless status is Ok; never NaN or infinite
};

ParsedInt ParseLeadingInt(std::wstring_view text);
ParsedDouble ParseLeadingDouble(std::wstring_view text);

}  // namespace Utils
