// The progress of a long run on stderr: frames drawn, frames drawn per second and time left, as
// one line rewritten in place on a terminal, otherwise a line every tenth of the run. A run's
// progress starts with its first drawn frame, and so does its clock.
#pragma once

#include <chrono>

class Progress {
public:
    // `total` frames to draw, from now on.
    Progress(const char* what, long total);
    // `done` frames of the total drawn.
    void step(long done);

    // The rate of the whole run on its own line: `frames` of show time at `fps`, all drawn,
    // whether written or not.
    void report(long frames, double fps);

private:
    using Clock = std::chrono::steady_clock;
    const char* what_;
    long total_;
    bool tty_;
    Clock::time_point start_;
    Clock::time_point lastPrint_{};
    int lastTenth_ = -1;
};

// Ends a terminal progress line still open, so that a message starts on a line of its own.
void endProgressLine();
