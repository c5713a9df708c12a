#include "utils/Log.h"

#include <atomic>
#include <cstdarg>
#include <string_view>

#include "utils/WideFormat.h"

namespace Utils {

// Written by the platform file: the debug output channel of this system.
void WriteToDebugChannel(const wchar_t* line);

namespace {

struct SinkSlot {
    std::atomic<LogSink> sink{nullptr};
    std::atomic<void*> context{nullptr};
};

SinkSlot& Slot() {
    static SinkSlot slot;
    return slot;
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '~' || c == '<' || c == '>';
}

// Drops every parenthesised group, "[with ...]" suffixes and everything after the last
// group that is not part of a name, leaving "ret Ns::Class::Function" style text.
std::string DropParameterLists(std::string_view text) {
    if (const size_t with = text.find(" [with "); with != std::string_view::npos) {
        text = text.substr(0, with);
    }
    std::string out;
    int depth = 0;
    for (char c : text) {
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (depth == 0) {
            out.push_back(c);
        }
    }
    return out;
}

// The last blank-separated token outside angle brackets, skipping trailing qualifiers.
std::string_view LastNameToken(std::string_view text) {
    static constexpr std::string_view kQualifiers[] = {"const", "volatile", "noexcept",
                                                       "&",     "&&",       "override"};
    while (true) {
        int angle = 0;
        size_t end = text.size();
        while (end > 0 && text[end - 1] == ' ')
            --end;
        size_t start = end;
        while (start > 0) {
            const char c = text[start - 1];
            if (c == '>')
                ++angle;
            if (c == '<')
                --angle;
            if (c == ' ' && angle <= 0)
                break;
            --start;
        }
        const std::string_view token = text.substr(start, end - start);
        bool qualifier = false;
        for (auto q : kQualifiers)
            qualifier = qualifier || token == q;
        if (!qualifier || start == 0)
            return token;
        text = text.substr(0, start);
    }
}

}  // namespace

std::wstring FunctionTag(const char* prettyFunction) {
    if (!prettyFunction)
        return {};
    std::string withoutParameters = DropParameterLists(prettyFunction);
    // Functions in unnamed namespaces are tagged like any other.
    for (size_t at; (at = withoutParameters.find("{anonymous}::")) != std::string::npos;) {
        withoutParameters.erase(at, 13);
    }
    std::string_view token = LastNameToken(withoutParameters);
    // A pointer or reference return type glued to the name ("int* Foo::Bar").
    while (!token.empty() && !IsNameChar(token.front()))
        token.remove_prefix(1);
    return std::wstring(token.begin(), token.end());
}

void SetLogSink(LogSink sink, void* context) {
    Slot().context.store(context);
    Slot().sink.store(sink);
}

void WriteLog(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::optional<std::wstring> line = FormatWideV(format, args);
    va_end(args);
    if (!line) {
        return;
    }
    if (const LogSink sink = Slot().sink.load()) {
        sink(line->c_str(), Slot().context.load());
    } else {
        WriteToDebugChannel(line->c_str());
    }
}

}  // namespace Utils
