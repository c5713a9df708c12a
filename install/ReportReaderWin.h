#pragma once
// Turns one read from a child's output pipe into text: the bytes up to the first zero
// byte, decoded with the reader's current code page. A conversion that fails gives
// empty text.

#include <cstddef>
#include <cstdint>
#include <string>

std::wstring DecodeReportRead(const char* bytes, size_t count, uint32_t codePage);
