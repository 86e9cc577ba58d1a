#include "display/timer.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace {

using namespace PixelDisplay;

// A counter the test moves by hand; `step` advances it after every read.
class FakeTimer : public CounterTimer {
public:
    FakeTimer(int64_t frequency, int64_t initial, int64_t step = 0) : value_(initial), step_(step) {
        start(frequency);
    }
    void set(int64_t value) { value_ = value; }
    void sleepSeconds(double) override {}

protected:
    int64_t counter() const override {
        const int64_t now = value_;
        value_ += step_;
        return now;
    }

private:
    mutable int64_t value_;
    int64_t step_;
};

TEST(CounterTimer, ElapsedSumsIncrements) {
    FakeTimer timer(1000, 5000);
    EXPECT_EQ(timer.elapsed(), 0.0);
    timer.set(5250);
    EXPECT_EQ(timer.elapsed(), 0.25);
    timer.set(6000);
    EXPECT_EQ(timer.elapsed(), 1.0);  // 0.25 + 0.75
    EXPECT_EQ(timer.elapsed(), 1.0);  // no counts, nothing added
    EXPECT_EQ(timer.tickLength(), 0.001);

    // Three increments of 1/10 s add up to 0.1 + 0.1 + 0.1, which is not 3/10 in doubles:
    // the time is summed, never recomputed from the start reading.
    FakeTimer tenths(10, 0);
    for (int64_t count = 1; count <= 3; ++count) {
        tenths.set(count);
        tenths.elapsed();
    }
    EXPECT_EQ(tenths.elapsed(), 0.1 + 0.1 + 0.1);
    EXPECT_NE(tenths.elapsed(), 0.3);
}

TEST(CounterTimer, LapIsIndependentOfElapsed) {
    FakeTimer timer(4, 100);
    timer.set(102);
    EXPECT_EQ(timer.elapsed(), 0.5);
    timer.set(104);
    EXPECT_EQ(timer.lap(), 1.0);  // since construction, not since the elapsed read
    timer.set(105);
    EXPECT_EQ(timer.lap(), 0.25);
    EXPECT_EQ(timer.elapsed(), 1.25);
    EXPECT_EQ(timer.lap(), 0.0);

    // Construction takes one reading for both: with a counter that moves on every read,
    // the first elapsed sees one count and the first lap after it two.
    FakeTimer moving(1, 0, 1);
    EXPECT_EQ(moving.elapsed(), 1.0);
    EXPECT_EQ(moving.lap(), 2.0);
}

TEST(CounterTimer, RestartClearsBoth) {
    FakeTimer timer(2, 0);
    timer.set(10);
    EXPECT_EQ(timer.elapsed(), 5.0);
    timer.set(20);
    timer.restart();
    EXPECT_EQ(timer.elapsed(), 0.0);
    EXPECT_EQ(timer.lap(), 0.0);
    timer.set(21);
    EXPECT_EQ(timer.elapsed(), 0.5);
    EXPECT_EQ(timer.lap(), 0.5);

    FakeTimer moving(1, 0, 1);
    moving.restart();                  // reads 1, one reading for both fields
    EXPECT_EQ(moving.lap(), 1.0);      // reads 2
    EXPECT_EQ(moving.elapsed(), 2.0);  // reads 3
}

TEST(MonotonicTimer, NeverRunsBackwards) {
    MonotonicTimer timer;
    EXPECT_EQ(timer.tickLength(), 1e-9);
    double previous = timer.elapsed();
    EXPECT_GE(previous, 0.0);
    for (int i = 0; i < 1000; ++i) {
        const double now = timer.elapsed();
        EXPECT_GE(now, previous);
        previous = now;
        EXPECT_GE(timer.lap(), 0.0);
    }

    // Sleeping 2 ms lasts at least 2 ms on the same clock.
    MonotonicTimer sleeper;
    sleeper.sleepSeconds(0.002);
    EXPECT_GE(sleeper.elapsed(), 0.002);

    // Sub-millisecond, zero and (forbidden but harmless) negative or NaN times only yield.
    sleeper.sleepSeconds(0.0009);
    sleeper.sleepSeconds(0.0);
    sleeper.sleepSeconds(-1.0);
    sleeper.sleepSeconds(std::numeric_limits<double>::quiet_NaN());
}

TEST(MonotonicTimer, RestartStartsAgain) {
    MonotonicTimer restarted;
    restarted.sleepSeconds(0.002);
    MonotonicTimer later;  // made after the sleep, before the restart
    restarted.restart();
    const double sinceRestart = restarted.elapsed();
    const double sinceLater = later.elapsed();
    EXPECT_GE(sinceRestart, 0.0);
    EXPECT_LE(sinceRestart, sinceLater);

    // lap right after construction is the time since construction.
    MonotonicTimer outer;
    MonotonicTimer inner;
    const double innerLap = inner.lap();
    EXPECT_GE(innerLap, 0.0);
    EXPECT_LE(innerLap, outer.elapsed());
}

TEST(MonotonicTimer, PlatformTimer) {
    std::unique_ptr<TimerInterface> timer(createPlatformTimer());
    ASSERT_NE(timer, nullptr);
#ifndef _WIN32
    EXPECT_NE(dynamic_cast<MonotonicTimer*>(timer.get()), nullptr);
#endif
    EXPECT_GE(timer->elapsed(), 0.0);
    EXPECT_GT(timer->tickLength(), 0.0);
}

}  // namespace
