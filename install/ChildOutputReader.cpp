#include "install/ChildOutputReader.h"

#include <windows.h>

void ReadChildOutput(Utils::ChildProcess& child, const std::function<void(const char*, size_t)>& onRead) {
    // Idle pause between looks at the pipe; output that keeps coming is read at once.
    constexpr DWORD kIdlePauseMs = 100;
    char buffer[kReportReadSize];
    bool childEnded = false;
    while (true) {
        bool pipeClosed = false;
        const size_t got = child.ReadAvailable(buffer, sizeof buffer, pipeClosed);
        if (got > 0) {
            onRead(buffer, got);
            continue;
        }
        if (pipeClosed || childEnded) {
            return;
        }
        // Seen ended only after an empty look: the next pass still drains what the child
        // wrote just before it ended.
        childEnded = child.HasEnded();
        if (!childEnded) {
            ::Sleep(kIdlePauseMs);
        }
    }
}
