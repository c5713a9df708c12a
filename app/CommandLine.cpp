#include "app/CommandLine.h"

#include "app/SettingsValues.h"

CommandLineArgs BuildCommandLineArgs(const std::vector<std::wstring>& arguments) {
    CommandLineArgs args;
    for (const std::wstring& argument : arguments) {
        const size_t equals = argument.find(L'=');
        const bool isOption = !argument.empty() && argument[0] == L'-' && equals != std::wstring::npos;
        // try_emplace keeps an existing entry: the first occurrence wins.
        if (isOption) {
            args.try_emplace(argument.substr(0, equals), argument.substr(equals + 1));
        } else {
            args.try_emplace(argument, std::wstring());
        }
    }
    return args;
}

namespace {

const std::wstring* Find(const CommandLineArgs& args, const wchar_t* name) {
    const auto it = args.find(name);
    return it == args.end() ? nullptr : &it->second;
}

// Integers without a leading number read as 0; out-of-range numbers leave the field alone.
void ApplyInt(const CommandLineArgs& args, const wchar_t* name, int32_t& field) {
    if (const std::wstring* value = Find(args, name)) {
        const ParsedInt parsed = ParseLeadingInt(*value);
        if (parsed.status != NumberStatus::OutOfRange)
            field = parsed.value;
    }
}

void ApplyBool(const CommandLineArgs& args, const wchar_t* name, bool& field) {
    if (const std::wstring* value = Find(args, name))
        field = ParseSettingsBool(*value);
}

void ApplyText(const CommandLineArgs& args, const wchar_t* name, std::wstring& field) {
    if (const std::wstring* value = Find(args, name))
        field = *value;
}

}  // namespace

void ApplyCommandLine(const CommandLineArgs& args, InstallerSettings& settings,
                      const std::function<std::wstring(const std::wstring&)>& resolveRoute) {
    if (const std::wstring* url = Find(args, L"-downloadurl"))
        settings.DownloadUrl = resolveRoute(*url);
    ApplyInt(args, L"-downloadtype", settings.DownloadType);
    if (const std::wstring* scale = Find(args, L"-downloadscale")) {
        // A value that is no ordinary number would poison the progress arithmetic: keep
        // what the settings file or the defaults gave.
        const ParsedDouble parsed = ParseLeadingDouble(*scale);
        if (parsed.status == NumberStatus::Ok)
            settings.DownloadScale = parsed.value;
    }
    ApplyBool(args, L"-ischecknet", settings.IsCheckNet);
    ApplyBool(args, L"-isenableappsensors", settings.IsEnableAppSensors);
    ApplyText(args, L"-dlappnamesuffix", settings.DlAppNameSuffix);
    ApplyText(args, L"-dlappversion", settings.m_DlAppVersion);
    ApplyText(args, L"-instcmd", settings.InstCmd);
    ApplyInt(args, L"-language", settings.languageIndex);
    ApplyBool(args, L"-insnew", settings.installNew);
}
