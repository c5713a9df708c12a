#pragma once
// Elapsed time of the current download for the speed and time-left display, from the
// system's millisecond tick counter.

#include <cstdint>

namespace Utils {

class Stopwatch {
public:
    void Start();
    bool IsRunning() const { return running_; }
    // Seconds since Start(); 0 before the first Start().
    float ElapsedSeconds() const;

    // The tick counter wraps after about 49.7 days; unsigned subtraction keeps the
    // difference right across one wrap.
    static float ElapsedSecondsBetween(uint32_t startTick, uint32_t nowTick) {
        return static_cast<float>(static_cast<uint32_t>(nowTick - startTick)) / 1000.0f;
    }

private:
    uint32_t startTick_ = 0;
    bool running_ = false;
};

}  // namespace Utils
