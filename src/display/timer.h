// High-resolution timers. Time is summed from counter increments, not recomputed from a
// start value, so every platform shares the same arithmetic on its own counter.
#pragma once

#include <cstdint>

namespace PixelDisplay {

class TimerInterface {
public:
    virtual ~TimerInterface() = default;            // 0
    virtual void restart() = 0;                     // 1
    virtual double elapsed() = 0;                   // 2: seconds since construction or restart
    virtual double lap() = 0;                       // 3: seconds since the previous lap
    virtual double tickLength() const = 0;          // 4
    virtual void sleepSeconds(double seconds) = 0;  // 5: non-negative
};

// The timer arithmetic over any monotonic counter with a known frequency.
class CounterTimer : public TimerInterface {
public:
    void restart() override;
    double elapsed() override;
    double lap() override;
    double tickLength() const override;

protected:
    // Derived classes read their counter here; start() must be called from their constructor.
    virtual int64_t counter() const = 0;
    void start(int64_t frequency);

    double accumulated_ = 0.0;
    int64_t lastElapsed_ = 0;
    int64_t lastLap_ = 0;
    int64_t frequency_ = 1;
};

// The monotonic clock of the C++ library (nanosecond counts); the timer of every platform
// without a counter of its own.
class MonotonicTimer : public CounterTimer {
public:
    MonotonicTimer();
    void sleepSeconds(double seconds) override;

protected:
    int64_t counter() const override;
};

// The timer the demo makes. Each platform's display library defines it (WindowsTimer in the
// Windows one, MonotonicTimer in the SDL one), so that this layer names no platform.
TimerInterface* createPlatformTimer();

}  // namespace PixelDisplay
