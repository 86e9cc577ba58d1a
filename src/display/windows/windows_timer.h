// The timer on the Windows performance counter; the Windows display library's platform timer.
#pragma once

#include <windows.h>

#include <cstdint>

#include "display/timer.h"

namespace PixelDisplay {

class WindowsTimer : public CounterTimer {
public:
    WindowsTimer();

    // The product is truncated toward zero; below one millisecond this only yields.
    void sleepSeconds(double seconds) override;

protected:
    int64_t counter() const override;
};

}  // namespace PixelDisplay
