#include "install/ReportReaderWin.h"

#include <cstring>

#include "utils/TextConversion.h"

std::wstring DecodeReportRead(const char* bytes, size_t count, uint32_t codePage) {
    const void* zero = std::memchr(bytes, 0, count);
    const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : count;
    return Utils::ToWide(std::string_view(bytes, length), codePage);
}
