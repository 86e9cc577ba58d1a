// The platform timer of the web page: the standard library's monotonic clock, which the
// browser's performance clock drives.
#include "display/timer.h"

namespace PixelDisplay {

TimerInterface* createPlatformTimer() {
    return new MonotonicTimer;
}

}  // namespace PixelDisplay
