#include "runtime/clock.h"

void startClock(DemoClock& clock, PixelDisplay::TimerInterface* timer) {
    const double now = timer ? timer->elapsed() : 0.0;
    clock.startTime = now;
    clock.currentTime = now;
    clock.audioMovedAt = now;
    clock.timerRuns = false;
}

double advanceClock(DemoClock& clock, PixelDisplay::TimerInterface* timer, double audioSeconds) {
    const double previous = clock.currentTime;
    clock.currentTime = timer ? timer->elapsed() : 0.0;
    clock.frameDelta = clock.currentTime - previous;

    const double row = audioSeconds * ROWS_PER_SECOND;
    if (row != clock.lastAudioRow) {
        clock.lastAudioRow = row;
        clock.audioMovedAt = clock.currentTime;
        clock.timerRuns = false;
        return row;
    }
    if (clock.timerRuns) {
        return clock.timerBaseRow + ROWS_PER_SECOND * (clock.currentTime - clock.timerBaseTime);
    }
    // Audio positions arrive in device-buffer steps. While the position stands still, move on by
    // this frame's time only: the bridge never accumulates past one frame ahead of the audio.
    const double bridged = clock.lastAudioRow + ROWS_PER_SECOND * clock.frameDelta;
    if (clock.currentTime - clock.audioMovedAt > kAudioStallSeconds) {
        // Far longer than any device buffer: the music has ended (a file cut short) or its
        // device stopped. The timer carries the show on from this frame to its last row.
        clock.timerRuns = true;
        clock.timerBaseRow = bridged;
        clock.timerBaseTime = clock.currentTime;
    }
    return bridged;
}
