#pragma once
// Collects the log lines written while it lives (from any thread).

#include <mutex>
#include <string>
#include <vector>

#include "utils/Log.h"

class LogCapture {
public:
    LogCapture() { Utils::SetLogSink(&LogCapture::Receive, this); }
    ~LogCapture() { Utils::SetLogSink(nullptr, nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::wstring> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    static void Receive(const wchar_t* line, void* context) {
        auto* self = static_cast<LogCapture*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->lines_.emplace_back(line);
    }

    mutable std::mutex mutex_;
    std::vector<std::wstring> lines_;
};
