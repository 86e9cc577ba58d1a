// The two clocks of the show: the music position, turned into a fractional sync row, and the
// frame timer, which bridges the frames in which the audio position has not moved.
#pragma once

#include <cstdint>

#include "audio/music_player.h"
#include "display/timer.h"

// 110 beats per minute, 8 rows per beat: 110 * 8 / 60.
constexpr double ROWS_PER_SECOND = 44.0 / 3.0;
constexpr int kLastRow = 1480;

// An audio position that has not moved for this long (timer seconds) no longer steers the
// clock: the timer does, from the row the show had reached.
constexpr double kAudioStallSeconds = 1.0;

struct DemoClock {
    double startTime = 0.0;
    double currentTime = 0.0;
    double frameDelta = 0.0;
    double lastAudioRow = 0.0;
    double audioMovedAt = 0.0;  // timer reading when lastAudioRow last changed
    bool timerRuns = false;     // the audio has stalled; rows come from the timer
    double timerBaseRow = 0.0;
    double timerBaseTime = 0.0;
};

// Sets startTime and currentTime to one timer reading (0 without a timer).
void startClock(DemoClock& clock, PixelDisplay::TimerInterface* timer);

// The frame's row from the audio position in seconds. When the row equals lastAudioRow the
// audio has not moved since the last change: bridge one frame's worth of rows, not more. Once
// it has stood still for kAudioStallSeconds, rows follow the timer from there on, until the
// audio moves again.
double advanceClock(DemoClock& clock, PixelDisplay::TimerInterface* timer, double audioSeconds);

inline double sceneTime(const DemoClock& clock) {
    return clock.currentTime - clock.startTime;
}
