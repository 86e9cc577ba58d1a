// The timeline file as the track editor holds it: its lines exactly as read, and what they say
// (every track's keys, the sections, the end), each with the line it came from, so that an edit
// rewrites only the lines whose keys it changes and a save writes every other byte as it was.
//
// Conventions:
// - lines[i] is the file's i-th line with its own ending ("\n", "\r\n", or none for a last line
//   without one); the file is the lines joined. Line indices count from 0 (the generator's
//   messages count from 1).
// - Rows are the timeline's: 8 a beat, 32 a bar, row 0 is 1:1 (runtime/bar_beat.h).
// - What the lines say is the generator's own reading of the text (assetgen::parseTimeline), so
//   the grid shows exactly what the build makes of the file.
// - A key's value keeps the text it was written with ("1.0" stays "1.0"); a value typed in the
//   grid is written as typed.
//
// How a changed state is written back (writeState):
// - An unchanged key, section or end keeps its line byte for byte; so do comments, blank lines,
//   the header and every other line the change does not touch.
// - A changed key keeps its line: its position written as before (BAR:BEAT, with the beat's
//   fraction when off a beat, or a row), each field at its column where the text before it
//   leaves room (one space at least; a separator holding a tab stays as it was), its comment.
// - A new key gets a line of its own right after the line of the track's key before it (right
//   after the `track` line when there is none), so that a comment line above a key stays with
//   that key. It is written as BAR:BEAT on a beat and as a row otherwise, aligned like the key
//   line it follows, with the interpolation word unless it is step.
// - An `every` line stays while its keys stay, and while they all move by the same rows (then
//   its from and to move). Any other change of its keys, or a key of another line among them,
//   writes it out in its place as one key line per key it made (the first keeps its comment).
// - Sections likewise: a new section line follows the section before it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "generator/timeline.h"

// One key of a track.
struct DocKey {
    int row = 0;
    float value = 0.0f;
    int8_t type = assetgen::kStep;
    std::string text;          // the value as written
    bool typeWritten = false;  // its interpolation is written out (step may be left unsaid)
    int line = -1;             // the line that holds it; -1 for a key not in the file yet
    int repeat = -1;           // its index among the keys of an `every` line; -1 on a key line
};

struct DocSection {
    int row = 0;
    int scene = 0;
    std::string part;
    int line = -1;  // -1 for a section not in the file yet
};

// What a timeline holds, each key and section with its source.
struct TimelineState {
    std::vector<DocKey> tracks[kTrackCount];  // by kTracks index, ascending rows; `scene` empty
    std::vector<DocSection> sections;         // ascending rows
    int endRow = 0;
};

// A grid column's kTracks index, or this for the column of section lines.
constexpr int kSectionColumn = -1;

struct TimelineDocument {
    std::string fileName;            // names the file in messages
    std::vector<std::string> lines;  // as read, each with its own ending
    TimelineState state;
    // The grid's columns in the order the file first mentions them: the section column where
    // the first section line is, each track where its `track` line is (17 tracks; `scene` is
    // the section column).
    std::vector<int> columns;
    int trackLine[kTrackCount] = {};  // each track's `track` line; -1 for `scene`
    int endLine = -1;
    assetgen::Timeline timeline;  // the generator's reading
};

// The text cut into lines, each keeping its ending.
std::vector<std::string> splitLines(const std::string& text);
std::string joinLines(const std::vector<std::string>& lines);

// Reads a timeline text. False, with the generator's message ("file:line: what"), when the
// build would refuse it.
bool readDocument(const std::string& text, const std::string& fileName, TimelineDocument& doc,
                  std::string& message);

// The document's lines rewritten to hold `state`, whose keys and sections carry the line they
// came from (line -1: new). Keys must stay in each line's order (no key moves past another
// that keeps its line); the result is checked by reading it (readDocument) before it is used.
std::vector<std::string> writeState(const TimelineDocument& doc, const TimelineState& state);

// A position as a line writes it: BAR:BEAT (the beat with its fraction when off a beat) or a
// row.
std::string positionText(int row, bool barBeat);
