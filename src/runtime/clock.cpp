#include "runtime/clock.h"

void startClock(DemoClock& clock, PixelDisplay::TimerInterface* timer) {
    const double now = timer ? timer->elapsed() : 0.0;
    clock.startTime = now;
    clock.currentTime = now;
}

double advanceClock(DemoClock& clock, PixelDisplay::TimerInterface* timer, double audioSeconds) {
    const double previous = clock.currentTime;
    clock.currentTime = timer ? timer->elapsed() : 0.0;
    clock.frameDelta = clock.currentTime - previous;

    const double row = audioSeconds * ROWS_PER_SECOND;
    // Audio positions arrive in device-buffer steps. While the position stands still, move on by
    // this frame's time only: the bridge never accumulates past one frame ahead of the audio.
    if (row == clock.lastAudioRow) return clock.lastAudioRow + ROWS_PER_SECOND * clock.frameDelta;
    clock.lastAudioRow = row;
    return row;
}
