// The edit mode's transport: where a key moves the show, in rows, and how a row and a music
// byte position turn into each other.
//
// The row is always derived from the music position, as in the show: row = seconds * 44/3.
// Rows are not on the sample grid (one row is 3006.8 sample frames), so a seek goes to the
// sample frame nearest the row, and a position within half a sample frame of a whole row is
// that row exactly: stepping to row 600 shows row 600.0, the same frame as the capture tool's.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/bar_beat.h"

constexpr double kEditBytesPerSecond = 44100.0 * 4.0;

double rowAtBytes(uint64_t bytes);
uint64_t bytesAtRow(double row);

struct Transport {
    bool paused = false;
    bool looping = false;
    // The loop's rows [loopBegin, loopEnd) while looping.
    int loopBegin = 0;
    int loopEnd = 0;
    // Marks set with the [ and ] keys; -1 when unset. A loop uses them when both are set and
    // in order, else the current section.
    int markIn = -1;
    int markOut = -1;
};

// Section lines' first rows, ascending, and the row the show ends at.
struct SectionTable {
    std::vector<int> starts;
    int endRow = 0;
};

// The last row that can be shown: the show closes at endRow.
int lastShownRow(const SectionTable& sections);
int clampRow(const SectionTable& sections, int row);

// The row a relative move lands on: from the nearest whole row, by `delta` rows, clamped.
int movedRow(const SectionTable& sections, double row, int delta);

// The start of the next section after `row` (the last shown row when there is none), and of
// the section before: the current section's start unless `row` is within half a beat of it,
// so that pressing again while playing keeps going back.
int nextSectionRow(const SectionTable& sections, double row);
int previousSectionRow(const SectionTable& sections, double row);

// The section containing `row` as [begin, end).
void sectionAround(const SectionTable& sections, double row, int& begin, int& end);

// Turns looping on over the marked range (when both marks are set and in order) or the
// section around `row`, or off when it was on.
void toggleLoop(Transport& transport, const SectionTable& sections, double row);

// Where the music must jump while playing: the loop's start once `row` reaches its end
// (or lies before its start). -1 when it may play on.
int loopTarget(const Transport& transport, double row);
