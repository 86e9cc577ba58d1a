// The performance-counter timer: counts from its construction, sums increments, sleeps.
#include "display/windows/windows_timer.h"

#include <gtest/gtest.h>

#include <memory>

using namespace PixelDisplay;

TEST(WindowsTimer, CountsForwardAndSleeps) {
    std::unique_ptr<TimerInterface> timer(createPlatformTimer());
    ASSERT_NE(dynamic_cast<WindowsTimer*>(timer.get()), nullptr);

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(timer->tickLength(), 1.0 / static_cast<double>(frequency.QuadPart));

    const double first = timer->elapsed();
    const double second = timer->elapsed();
    EXPECT_GE(first, 0.0);
    EXPECT_GE(second, first);

    timer->sleepSeconds(0.05);  // 50 ms
    const double slept = timer->elapsed();
    EXPECT_GE(slept - second, 0.045);
    const double lap = timer->lap();  // since construction: at least the sleep
    EXPECT_GE(lap, 0.045);
    // The next lap counts from this one, not from construction: it fits in the time between
    // the readings around both laps, however long the machine kept the test waiting.
    const double nextLap = timer->lap();
    const double after = timer->elapsed();
    EXPECT_LE(nextLap, after - slept + 1e-9);

    // Below a millisecond, and a negative time, only yield: they return (a negative time taken
    // for a huge Sleep would hang here), well within a minute even on a busy machine.
    timer->restart();
    timer->sleepSeconds(0.0004);
    timer->sleepSeconds(-1.0);
    EXPECT_LT(timer->elapsed(), 60.0);
}
