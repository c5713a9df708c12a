#pragma once
// Records the events a runner raises, from whichever thread raises them.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "utils/InstallEvents.h"

struct RecordedEvent {
    int32_t code;
    double value;
    std::wstring text;
};

inline std::vector<int32_t> CodesOf(const std::vector<RecordedEvent>& events) {
    std::vector<int32_t> codes;
    for (const auto& event : events)
        codes.push_back(event.code);
    return codes;
}

class EventRecorder {
public:
    EventCallback Callback() {
        return [this](int32_t code, double value, const wchar_t* text) {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back({code, value, text ? text : L""});
        };
    }

    std::vector<RecordedEvent> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    std::vector<int32_t> Codes() const {
        std::vector<int32_t> codes;
        for (const auto& event : Events())
            codes.push_back(event.code);
        return codes;
    }

    // The events with this code, in order.
    std::vector<RecordedEvent> With(int32_t code) const {
        std::vector<RecordedEvent> found;
        for (const auto& event : Events()) {
            if (event.code == code)
                found.push_back(event);
        }
        return found;
    }

private:
    mutable std::mutex mutex_;
    std::vector<RecordedEvent> events_;
};
