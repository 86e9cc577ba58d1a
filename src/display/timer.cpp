#include "display/timer.h"

#include <chrono>
#include <thread>

namespace PixelDisplay {

// CounterTimer

void CounterTimer::start(int64_t frequency) {
    frequency_ = frequency;
    accumulated_ = 0.0;
    lastElapsed_ = counter();
    lastLap_ = lastElapsed_;
}

void CounterTimer::restart() {
    lastElapsed_ = counter();
    accumulated_ = 0.0;
    lastLap_ = lastElapsed_;
}

// Summing increments keeps each step's division small, so precision does not decay with
// the length of the run.
double CounterTimer::elapsed() {
    const int64_t now = counter();
    accumulated_ += static_cast<double>(now - lastElapsed_) / static_cast<double>(frequency_);
    lastElapsed_ = now;
    return accumulated_;
}

double CounterTimer::lap() {
    const int64_t now = counter();
    const double seconds = static_cast<double>(now - lastLap_) / static_cast<double>(frequency_);
    lastLap_ = now;
    return seconds;
}

double CounterTimer::tickLength() const {
    return 1.0 / static_cast<double>(frequency_);
}

// MonotonicTimer

MonotonicTimer::MonotonicTimer() {
    start(1000000000);
}

int64_t MonotonicTimer::counter() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

void MonotonicTimer::sleepSeconds(double seconds) {
    const double milliseconds = seconds * 1000.0;
    // Below one whole millisecond (and for a negative or NaN time, which callers must not
    // pass) only yield. The upper bound keeps the truncation to an integer defined.
    if (!(milliseconds >= 1.0)) {
        std::this_thread::yield();
        return;
    }
    constexpr double kLongestSleep = 1.0e12;  // milliseconds, about 31 years
    const int64_t whole =
        static_cast<int64_t>(milliseconds < kLongestSleep ? milliseconds : kLongestSleep);
    std::this_thread::sleep_for(std::chrono::milliseconds(whole));
}

}  // namespace PixelDisplay
