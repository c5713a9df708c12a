#pragma once
// Text-to-value rules shared by the settings file and the command line.

#include <string_view>

#include "utils/NumberText.h"

using Utils::NumberStatus;
using Utils::ParsedDouble;
using Utils::ParsedInt;
using Utils::ParseLeadingDouble;
using Utils::ParseLeadingInt;

// True exactly for the whole text "true", case-sensitively.
inline bool ParseSettingsBool(std::wstring_view text) { return text == L"true"; }
