// The progress of a long run on stderr: frames done, frames per second and time left, as one
// line rewritten in place on a terminal, otherwise a line every tenth of the run.
#pragma once

#include <chrono>

class Progress {
public:
    // Frames are numbered from `first` to total - 1; the line counts them from 1.
    Progress(const char* what, long total, long first = 0);
    void step(long number);

    // The rate of the whole run on its own line: `frames` of show time at `fps`, all rendered,
    // whether written or not.
    void report(long frames, double fps);

private:
    using Clock = std::chrono::steady_clock;
    const char* what_;
    long total_;
    long first_;
    bool tty_;
    Clock::time_point start_;
    Clock::time_point lastPrint_{};
    int lastTenth_ = -1;
};

// Ends a terminal progress line still open, so that a message starts on a line of its own.
void endProgressLine();
