#pragma once
// Questions about this process, the signed-in user and the running programs that the
// installer asks before it replaces a copy of the product.

#include <cstdint>
#include <string>

namespace Utils {

// True when this process's token is an enabled member of the built-in Administrators
// group (elevated, under UAC). Any failure counts as not.
bool IsProcessAdmin();

// True when the local account userName has administrator privilege. An empty name, an
// unknown account or a failed query count as not.
bool IsUserAdmin(const std::wstring& userName);

// The user signed in at the physical console. False, with name unchanged, when nobody is
// or the session cannot be asked.
bool GetConsoleUserName(std::wstring& name);

// Id of the first running process whose executable file name (without folder) is exactly
// exeName, letter case included; 0 when none is found or the process list is unavailable.
uint32_t FindProcessByName(const std::wstring& exeName);

}  // namespace Utils
