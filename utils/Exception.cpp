#include "utils/Exception.h"

#include "utils/TextConversion.h"

namespace Utils {

Exception::Exception(const std::wstring& message) : message_(ToNarrow(message, kCodePageAnsi)) {}

}  // namespace Utils
