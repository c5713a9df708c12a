#include "install/ReportProtocol.h"

#include <array>

#include "utils/InstallEvents.h"
#include "utils/NumberText.h"
#include "utils/StringUtils.h"

namespace {

constexpr uint32_t kCodePageAnsi = 0;
constexpr uint32_t kCodePageUtf8 = 65001;

// The part after the key, as the fixed value buffer holds it.
std::wstring TextValue(std::wstring_view line, std::wstring_view key) {
    return std::wstring(line.substr(key.size(), kReportValueCapacity));
}

// State=, StartupStyle= and Encode= compare their value without surrounding white space.
std::wstring EnumValue(std::wstring_view line, std::wstring_view key) {
    return Utils::Trim(TextValue(line, key));
}

double FractionValue(std::wstring_view line, std::wstring_view key) {
    const Utils::ParsedDouble parsed = Utils::ParseLeadingDouble(line.substr(key.size()));
    return parsed.status == Utils::NumberStatus::Ok ? parsed.value : 0.0;
}

int32_t WholeValue(std::wstring_view value) {
    const Utils::ParsedInt parsed = Utils::ParseLeadingInt(value);
    return parsed.status == Utils::NumberStatus::Ok ? parsed.value : 0;
}

// A signed number passed on with the same bits as an unsigned one: "-1" is 4294967295.
double DetentionValue(std::wstring_view line, std::wstring_view key) {
    return static_cast<double>(static_cast<uint32_t>(WholeValue(line.substr(key.size()))));
}

// Splits at LF; a CR before it stays in the line. A text ending in LF has no empty tail.
std::vector<std::wstring_view> SplitLines(std::wstring_view text) {
    std::vector<std::wstring_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool HasKey(std::wstring_view line, std::wstring_view key) {
    return line.substr(0, key.size()) == key;
}

struct Report {
    ParsedReport parsed;
    void Raise(std::wstring_view key, int32_t code, double value, std::wstring text = {}) {
        parsed.events.push_back({key, code, value, std::move(text)});
    }
};

void ParseInstallerLine(std::wstring_view line, uint32_t& codePage, Report& report) {
    if (HasKey(line, L"Progress=")) {
        report.Raise(L"Progress=", IST_CODE_PROGRESS, FractionValue(line, L"Progress="));
    } else if (HasKey(line, L"InstPath=")) {
        report.Raise(L"InstPath=", RPT_INST_PATH, 0.0, TextValue(line, L"InstPath="));
    } else if (HasKey(line, L"State=")) {
        const std::wstring state = EnumValue(line, L"State=");
        if (state == L"Success") {
            report.Raise(L"State=", INSTALL_SUCCESS, 0.0);
            report.parsed.result = kReportSuccess;
        } else if (state == L"Fail") {
            report.Raise(L"State=", IST_CODE_FAIL, 0.0, L"安装包安装失败");
            report.parsed.result = kReportFailure;
        }
    } else if (HasKey(line, L"InstallVersion=")) {
        // Recognised, and nothing depends on it.
    } else if (HasKey(line, L"ExePath=")) {
        report.Raise(L"ExePath=", RPT_EXE_PATH, 0.0, TextValue(line, L"ExePath="));
    } else if (HasKey(line, L"StartExe=")) {
        report.Raise(L"StartExe=", RPT_EXE_PATH, 0.0, TextValue(line, L"StartExe="));
    } else if (HasKey(line, L"UninstExePath=")) {
        report.Raise(L"UninstExePath=", RPT_UNINST_EXE, 0.0, TextValue(line, L"UninstExePath="));
    } else if (HasKey(line, L"UninstExe=")) {
        report.Raise(L"UninstExe=", RPT_UNINST_EXE, 0.0, TextValue(line, L"UninstExe="));
    } else if (HasKey(line, L"UninstEp=")) {
        report.Raise(L"UninstEp=", RPT_UNINST_EP, 0.0, TextValue(line, L"UninstEp="));
    } else if (HasKey(line, L"Error=")) {
        report.Raise(L"Error=", IST_CODE_FAIL, 1000.0, TextValue(line, L"Error="));
        report.parsed.result = kReportFailure;
    } else if (HasKey(line, L"TopShowDetention=")) {
        report.Raise(L"TopShowDetention=", RPT_TOP_SHOW_DETENTION,
                     DetentionValue(line, L"TopShowDetention="));
    } else if (HasKey(line, L"FinsihCloseDetention=")) {
        report.Raise(L"FinsihCloseDetention=", RPT_FINISH_CLOSE_DETENTION,
                     DetentionValue(line, L"FinsihCloseDetention="));
    } else if (HasKey(line, L"StartUrl=")) {
        report.Raise(L"StartUrl=", RPT_START_URL, 0.0, TextValue(line, L"StartUrl="));
    } else if (HasKey(line, L"StartupStyle=")) {
        const std::wstring style = EnumValue(line, L"StartupStyle=");
        const double value = style == L"AutoStartup" ? 1.0 : style == L"UserStartup" ? 2.0 : 0.0;
        report.Raise(L"StartupStyle=", RPT_STARTUP_STYLE, value);
    } else if (HasKey(line, L"Encode=")) {
        const std::wstring encoding = EnumValue(line, L"Encode=");
        if (encoding == L"UTF8") {
            codePage = kCodePageUtf8;
        } else if (encoding == L"ACP") {
            codePage = kCodePageAnsi;
        } else {
            const Utils::ParsedInt number = Utils::ParseLeadingInt(encoding);
            codePage = number.status == Utils::NumberStatus::Ok ? static_cast<uint32_t>(number.value)
                                                                : kCodePageAnsi;
        }
    } else if (HasKey(line, L"Message=")) {
        report.Raise(L"Message=", RPT_MESSAGE, 0.0, TextValue(line, L"Message="));
    }
}

void ParseUninstallerLine(std::wstring_view line, uint32_t& codePage, Report& report) {
    if (HasKey(line, L"Progress=")) {
        report.Raise(L"Progress=", UNIST_CODE_PROGRESS, FractionValue(line, L"Progress="));
    } else if (HasKey(line, L"Error=")) {
        report.Raise(L"Error=", UNIST_CODE_ERROR, 0.0, TextValue(line, L"Error="));
        report.parsed.result = kReportFailure;
    } else if (HasKey(line, L"State=")) {
        const std::wstring state = EnumValue(line, L"State=");
        if (state == L"Success") {
            report.Raise(L"State=", UNIST_CODE_SUCCESS, 0.0);
            report.parsed.result = kReportSuccess;
        } else if (state == L"Fail") {
            report.Raise(L"State=", UNIST_CODE_ERROR, 0.0, L"安装包卸载失败");
            report.parsed.result = kReportFailure;
        }
    } else if (HasKey(line, L"Encode=")) {
        codePage = EnumValue(line, L"Encode=") == L"UTF8" ? kCodePageUtf8 : kCodePageAnsi;
    }
}

}  // namespace

ParsedReport ParseInstallerReport(std::wstring_view text, uint32_t& codePage) {
    Report report;
    for (std::wstring_view line : SplitLines(text))
        ParseInstallerLine(line, codePage, report);
    return std::move(report.parsed);
}

ParsedReport ParseUninstallerReport(std::wstring_view text, uint32_t& codePage) {
    Report report;
    for (std::wstring_view line : SplitLines(text))
        ParseUninstallerLine(line, codePage, report);
    return std::move(report.parsed);
}
