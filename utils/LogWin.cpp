#include <windows.h>

#include "utils/Log.h"

namespace Utils {

void WriteToDebugChannel(const wchar_t* line) {
    ::OutputDebugStringW(line);
}

LogStamp CurrentLogStamp() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    LogStamp stamp;
    stamp.processId = ::GetCurrentProcessId();
    stamp.threadId = ::GetCurrentThreadId();
    stamp.year = now.wYear;
    stamp.month = now.wMonth;
    stamp.day = now.wDay;
    stamp.hour = now.wHour;
    stamp.minute = now.wMinute;
    stamp.second = now.wSecond;
    stamp.millisecond = now.wMilliseconds;
    return stamp;
}

}  // namespace Utils
