// The show's timeline: a text file of sections and keyed tracks, compiled into the 18 binary
// track files the demo reads ("sync_<track>.track").
//
// Text format, one statement a line, '#' starts a comment:
//   end <pos>                          row at which the show ends
//   section <pos> <scene> <part>       from <pos> on, scene <scene> runs and the music plays
//                                      its part <part>; the `scene` track is made from these
//   track <name>                       the keys that follow belong to track <name>
//   <pos> <value> [<interpolation>]    one key; step (default), linear, smooth or quadratic
//   every <period> from <pos> to <pos> : <offset> <value> [<interp>] [; <offset> ...]
//                                      repeats a group of keys at offset rows from each
//                                      period start in [from, to); period and offsets are
//                                      lengths in rows
// A position is a row (an integer) or BAR:BEAT with 32 rows a bar and 8 a beat, bars and
// beats counted from 1 (runtime/bar_beat.h): 1:1 is row 0, 13:1.5 is row 388. A position
// counted from 0 (bar or beat 0) is refused with the one meant. Sections start on bar lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "generator/common.h"
#include "runtime/bar_beat.h"
#include "scenes/track_values.h"

namespace assetgen {

using ::kRowsPerBar;
using ::kRowsPerBeat;
// The tracks, their names and order: the show's own table.
using ::kTrackCount;
using ::kTracks;

enum Interpolation : int8_t { kStep = 0, kLinear = 1, kSmooth = 2, kQuadratic = 3 };

struct TrackKey {
    int32_t row;
    float value;
    int8_t type;
};

struct Track {
    std::string name;
    std::vector<TrackKey> keys;
    // Where the text said it (lines counted from 1, 0 for none): the `track` line, and the
    // line of each key's statement (a key line, or the `every` line that made it).
    int line = 0;
    std::vector<int> keyLines;
};

struct Section {
    int row;           // first row, on a bar line
    int scene;         // value of the `scene` track from here on
    std::string part;  // the music's arrangement for these bars
    int line = 0;      // its line in the text, counted from 1
};

struct Timeline {
    int endRow = 0;
    int endLine = 0;  // the `end` line, counted from 1
    std::vector<Section> sections;
    std::vector<Track> tracks;  // all of kTracks, in its order, `scene` made from sections
};

// Parses a position ("396" or "13:1.5"). False, with the reason in `why`, when it is malformed,
// not a whole row or counted from 0.
bool parsePosition(const std::string& token, int& row, std::string& why);

// Parses and checks the whole text. On failure `message` names the file and line.
bool parseTimeline(const std::string& text, const std::string& fileName, Timeline& timeline,
                   std::string& message);

// The binary track file: int32 count, then per key int32 row, float32 value, int8 type,
// little-endian.
Bytes encodeTrack(const Track& track);

const Track* findTrack(const Timeline& timeline, const std::string& name);

}  // namespace assetgen
