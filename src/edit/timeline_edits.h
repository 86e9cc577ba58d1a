// The track editor's edits: functions from one TimelineState to the next, on the grid's columns
// (TimelineDocument::columns, by index) and rows. An edit that cannot be made returns false with
// the reason in `message` and leaves the state as it was.
//
// - A key that changes keeps its source (line, and index in an `every` line), so its line keeps
//   its layout and comment; a key put on the row of another key of its track takes that key's
//   place and line.
// - A new key takes the interpolation of the key before it (step when there is none).
// - Section lines start on bar lines: they move by whole bars, a new one goes only on a bar line,
//   and rows go in or out across the section column a bar at a time (rowStep).
// - A block moved by some rows lands as a whole: the keys in the rows it moves onto are
//   replaced, so no key passes another.
#pragma once

#include <string>
#include <vector>

#include "edit/timeline_document.h"

// Columns column0..column1 and rows row0..row1 of the grid, both ends included.
struct GridBlock {
    int column0, column1, row0, row1;
};

struct ClipKey {
    int row;  // from the block's first row
    DocKey key;
    DocSection section;
};

struct ClipColumn {
    bool sections = false;
    std::vector<ClipKey> keys;
};

struct Clipboard {
    int rows = 0;
    std::vector<ClipColumn> columns;
};

// The key of the track (or the section) at `row` in a column; null when there is none.
const DocKey* keyAt(const TimelineDocument& doc, const TimelineState& state, int column, int row);
const DocSection* sectionAt(const TimelineState& state, int row);

// Sets the key at the row to the value written `text` (a number; a scene number in the section
// column, on a bar line).
bool setKey(const TimelineDocument& doc, TimelineState& state, int column, int row,
            const std::string& text, std::string& message);
// Removes the block's keys and section lines; false when there are none.
bool deleteKeys(const TimelineDocument& doc, TimelineState& state, const GridBlock& block,
                std::string& message);
// Gives the block's keys the interpolation after the first one's (step, linear, smooth,
// quadratic, step ...) and its section lines the music's part after the first one's.
bool cycleInterpolation(const TimelineDocument& doc, TimelineState& state, const GridBlock& block,
                        std::string& message);
Clipboard copyBlock(const TimelineDocument& doc, const TimelineState& state,
                    const GridBlock& block);
// Puts the clipboard's columns from `column` on, its rows from `row` on, in place of what those
// rows held; a clipboard column lands only on a column of its kind (track or sections).
bool pasteBlock(const TimelineDocument& doc, TimelineState& state, const Clipboard& clipboard,
                int column, int row, std::string& message);
// The rows one step of a move or an insertion takes in these columns: a bar when they include
// the section column, else one row.
int rowStep(const TimelineDocument& doc, int column0, int column1);
// Moves the block's keys by `delta` rows (a multiple of rowStep).
bool moveKeys(const TimelineDocument& doc, TimelineState& state, const GridBlock& block, int delta,
              std::string& message);
// Adds `count` empty rows at `row` in the columns: every later key, and with the section column
// every later section line and the end, moves `count` rows later.
bool insertRows(const TimelineDocument& doc, TimelineState& state, int column0, int column1,
                int row, int count, std::string& message);
// Takes rows row..row+count-1 out of the columns: their keys go, later ones move up; a section
// that goes on past them starts at `row` (which must then be on a bar line).
bool removeRows(const TimelineDocument& doc, TimelineState& state, int column0, int column1,
                int row, int count, std::string& message);
