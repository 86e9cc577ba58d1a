// The platform timer of the SDL build: the standard library's monotonic clock, which every
// system SDL runs on here provides. Free of SDL, so that the programs that run the show
// without a window (capture tool, tests) link it without SDL.
#include "display/timer.h"

namespace PixelDisplay {

TimerInterface* createPlatformTimer() {
    return new MonotonicTimer;
}

}  // namespace PixelDisplay
