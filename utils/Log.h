#pragma once
// The one log writer. Every line is "<prefix><message>" where the prefix carries the
// process id, thread id, local time, the logging function's qualified name and the
// source line. Lines go to the debug output channel (OutputDebugStringW on Windows,
// standard error elsewhere); there is no log file, level or switch.
//
// Two statement forms:
//   UTILS_LOG(L"DL_TYPE=%d\r\n", type);     message as written, its own line end if any
//   UTILS_LOG_LINE(L"THREAD BEGIN");          message followed by "\r\n"
// The message format must be a wide string literal; "%s" takes a wide string.

#include <cstdint>
#include <string>

#define UTILS_LOG_PREFIX_FORMAT L"<P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: "

namespace Utils {

// Local wall-clock time and ids read at a logging statement.
struct LogStamp {
    uint32_t processId = 0;
    uint32_t threadId = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

LogStamp CurrentLogStamp();

// "Class::Function" from the compiler's decorated function name: the return type, the
// parameter lists and trailing qualifiers are dropped, so a lambda inside Foo::Bar
// yields "Foo::Bar::<lambda>".
std::wstring FunctionTag(const char* prettyFunction);

// What one logging statement passes besides its message arguments.
struct LogSite {
    explicit LogSite(const char* prettyFunction)
        : stamp(CurrentLogStamp()), tag(FunctionTag(prettyFunction)) {}
    LogStamp stamp;
    std::wstring tag;
};

// Formats the complete line (prefix format plus message format) and hands it to the sink
// in one call. Never throws; a line that cannot be formatted or allocated is dropped.
void WriteLog(const wchar_t* format, ...);

// Where finished lines go. Tests install their own sink to read the lines they cause;
// the program itself never changes it. Passing nullptr restores the default channel.
using LogSink = void (*)(const wchar_t* line, void* context);
void SetLogSink(LogSink sink, void* context);

}  // namespace Utils

#define UTILS_LOG_WRITE_(format, ...)                                                                  \
    do {                                                                                               \
        const ::Utils::LogSite utilsLogSite_(__PRETTY_FUNCTION__);                                     \
        const ::Utils::LogStamp& utilsStamp_ = utilsLogSite_.stamp;                                    \
        ::Utils::WriteLog(UTILS_LOG_PREFIX_FORMAT format, static_cast<int>(utilsStamp_.processId),     \
                          static_cast<int>(utilsStamp_.threadId), utilsStamp_.year, utilsStamp_.month, \
                          utilsStamp_.day, utilsStamp_.hour, utilsStamp_.minute, utilsStamp_.second,   \
                          utilsStamp_.millisecond, utilsLogSite_.tag.c_str(),                          \
                          static_cast<int>(__LINE__) __VA_OPT__(, ) __VA_ARGS__);                      \
    } while (0)

#define UTILS_LOG(format, ...) UTILS_LOG_WRITE_(format __VA_OPT__(, ) __VA_ARGS__)
#define UTILS_LOG_LINE(format, ...) UTILS_LOG_WRITE_(format L"\r\n" __VA_OPT__(, ) __VA_ARGS__)
