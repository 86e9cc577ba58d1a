#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

bool gProgressLineOpen = false;  // a terminal progress line without its newline yet

}  // namespace

void endProgressLine() {
    if (gProgressLineOpen) std::fputc('\n', stderr);
    gProgressLineOpen = false;
}

Progress::Progress(const char* what, long total)
    : what_(what), total_(std::max(total, 1L)), tty_(isatty(2)), start_(Clock::now()) {}

void Progress::step(long done) {
    const Clock::time_point now = Clock::now();
    const int tenth = static_cast<int>(10 * done / total_);
    if (tty_) {
        if (done != total_ && now - lastPrint_ < std::chrono::milliseconds(250)) return;
    } else if (tenth == lastTenth_) {
        return;
    }
    lastPrint_ = now;
    lastTenth_ = tenth;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? done / seconds : 0.0;
    const long left = rate > 0 ? std::lround((total_ - done) / rate) : 0;
    char line[160];
    std::snprintf(line, sizeof(line), "%s: %ld/%ld frames (%d%%), %.1f frames/s, %ld:%02ld left",
                  what_, done, total_, static_cast<int>(100 * done / total_), rate, left / 60,
                  left % 60);
    if (tty_) {
        std::fprintf(stderr, "\r%s\033[K", line);
        gProgressLineOpen = true;
        if (done == total_) endProgressLine();
    } else {
        std::fprintf(stderr, "%s\n", line);
    }
}

void Progress::report(long frames, double fps) {
    endProgressLine();
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double rate = seconds > 0 ? frames / seconds : 0.0;
    std::fprintf(stderr, "%s: %ld frames in %.1f s, %.1f frames/s, %.1fx real time\n", what_,
                 frames, seconds, rate, rate / fps);
}
