// The timer on the Windows performance counter. Header-only, so that the portable timer
// factory (display/timer.cpp) can make it without linking the Windows display library.
#pragma once

#include <windows.h>

#include <cstdint>

#include "display/timer.h"

namespace PixelDisplay {

class WindowsTimer : public CounterTimer {
public:
    WindowsTimer() {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        start(frequency.QuadPart);
    }

    // The product is truncated toward zero; below one millisecond this only yields.
    void sleepSeconds(double seconds) override {
        const double milliseconds = seconds * 1000.0;
        // A negative or NaN time (which callers must not pass) only yields too. The bound
        // keeps the conversion defined and below INFINITE (0xFFFFFFFF), which never returns.
        constexpr double kLongestSleep = 4294967294.0;
        DWORD whole = 0;
        if (milliseconds >= 1.0)
            whole = static_cast<DWORD>(milliseconds < kLongestSleep ? milliseconds : kLongestSleep);
        Sleep(whole);
    }

protected:
    int64_t counter() const override {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return now.QuadPart;
    }
};

}  // namespace PixelDisplay
