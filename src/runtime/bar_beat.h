// The show's musical time: 8 rows a beat, 4 beats a bar, and positions written BAR:BEAT with
// bars and beats counted from 1, as musicians count them: 1:1 is row 0, the first downbeat,
// and 47:2 is row 1480, the end. The beat may carry a fraction as long as the position lands on
// a whole row (13:1.5 is row 388). The timeline file, the capture tool's --from and --to, the
// edit mode's heads-up display and its grid all read and write positions through these.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

constexpr int kRowsPerBeat = 8;
constexpr int kBeatsPerBar = 4;
constexpr int kRowsPerBar = kRowsPerBeat * kBeatsPerBar;

// Bars up to this many (far beyond the show) are read; more is taken for a mistake.
constexpr int kMaxBar = 100000;

namespace bar_beat_detail {
inline bool number(std::string_view text, double& value) {
    if (text.empty() || text.size() > 32) return false;
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}
}  // namespace bar_beat_detail

// The row of "BAR:BEAT". False with a reason in `why` for a malformed position, one that does
// not land on a whole row, and one written counting from 0 (bar 0 or beat 0), whose reason
// names the position meant.
inline bool parseBarBeat(std::string_view text, int& row, std::string& why) {
    const size_t colon = text.find(':');
    double bar = 0.0, beat = 0.0;
    if (colon == std::string_view::npos || !bar_beat_detail::number(text.substr(0, colon), bar) ||
        !bar_beat_detail::number(text.substr(colon + 1), beat) || bar != std::floor(bar) ||
        bar < 0 || bar > kMaxBar || beat < 0 || beat >= kBeatsPerBar + 1) {
        why = "not BAR:BEAT";
        return false;
    }
    if (bar < 1 || beat < 1) {
        // Written counting from 0: the same moment counted from 1 is one bar and one beat on.
        char meant[64];
        std::snprintf(meant, sizeof meant, "%d:%g", static_cast<int>(bar) + 1, beat + 1);
        why =
            std::string("bars and beats count from 1 (1:1 is the first downbeat): write ") + meant;
        return false;
    }
    const double rows = (bar - 1) * kRowsPerBar + (beat - 1) * kRowsPerBeat;
    if (rows != std::floor(rows)) {
        why = "not on a whole row (a beat is 8 rows)";
        return false;
    }
    row = static_cast<int>(rows);
    return true;
}

// "BAR:BEAT" of a row (0 or more), the beat with its fraction when the row is not on a beat:
// row 0 is "1:1", row 388 "13:1.5", row 1 "1:1.125". A fixed buffer, so that the track
// editor's panel, redrawn as the play head moves, labels its rows without allocating.
struct BarBeatText {
    char text[32];
    const char* c_str() const { return text; }
    operator std::string() const { return text; }
};

inline BarBeatText formatBarBeat(int row) {
    BarBeatText out;
    const int bar = row / kRowsPerBar + 1;
    const int rowInBar = row % kRowsPerBar;
    if (rowInBar % kRowsPerBeat == 0) {
        std::snprintf(out.text, sizeof out.text, "%d:%d", bar, rowInBar / kRowsPerBeat + 1);
    } else {
        std::snprintf(out.text, sizeof out.text, "%d:%g", bar,
                      1.0 + static_cast<double>(rowInBar) / kRowsPerBeat);
    }
    return out;
}
