// Off Windows there is no debug output channel; lines go to standard error in UTF-8.
#include <unistd.h>
#include <sys/syscall.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "utils/Log.h"
#include "utils/Utf8.h"

namespace Utils {

void WriteToDebugChannel(const wchar_t* line) {
    const std::string bytes = EncodeUtf8(line);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

LogStamp CurrentLogStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    LogStamp stamp;
    stamp.processId = static_cast<uint32_t>(getpid());
    stamp.threadId = static_cast<uint32_t>(syscall(SYS_gettid));
    stamp.year = local.tm_year + 1900;
    stamp.month = local.tm_mon + 1;
    stamp.day = local.tm_mday;
    stamp.hour = local.tm_hour;
    stamp.minute = local.tm_min;
    stamp.second = local.tm_sec;
    stamp.millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    return stamp;
}

}  // namespace Utils
