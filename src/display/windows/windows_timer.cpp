#include "display/windows/windows_timer.h"

namespace PixelDisplay {

WindowsTimer::WindowsTimer() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    start(frequency.QuadPart);
}

void WindowsTimer::sleepSeconds(double seconds) {
    const double milliseconds = seconds * 1000.0;
    // A negative or NaN time (which callers must not pass) only yields too. The bound keeps
    // the conversion defined and below INFINITE (0xFFFFFFFF), which never returns.
    constexpr double kLongestSleep = 4294967294.0;
    DWORD whole = 0;
    if (milliseconds >= 1.0)
        whole = static_cast<DWORD>(milliseconds < kLongestSleep ? milliseconds : kLongestSleep);
    Sleep(whole);
}

int64_t WindowsTimer::counter() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

TimerInterface* createPlatformTimer() {
    return new WindowsTimer;
}

}  // namespace PixelDisplay
