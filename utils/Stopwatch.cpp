#include "utils/Stopwatch.h"

#include <windows.h>

namespace Utils {

void Stopwatch::Start() {
    startTick_ = ::GetTickCount();
    running_ = true;
}

float Stopwatch::ElapsedSeconds() const {
    if (!running_)
        return 0.0f;
    return ElapsedSecondsBetween(startTick_, ::GetTickCount());
}

}  // namespace Utils
