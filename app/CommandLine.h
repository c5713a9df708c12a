#pragma once
// The command line, the last settings layer. Options are "-name=value" arguments; the
// first occurrence of a name wins, names are case-sensitive, unknown names are ignored.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/InstallerSettings.h"

// Option name (text before the first "=", or the whole argument) to value.
using CommandLineArgs = std::map<std::wstring, std::wstring>;

CommandLineArgs BuildCommandLineArgs(const std::vector<std::wstring>& arguments);

// Applies every known option that is present over settings. resolveRoute turns a download
// address into its route-resolved form.
void ApplyCommandLine(const CommandLineArgs& args, InstallerSettings& settings,
                      const std::function<std::wstring(const std::wstring&)>& resolveRoute);

// Splits the process command line the way the system does and applies it to
// g_installerSettings. Runs once, after the single-instance guard is held.
void ParseCommandLine();
