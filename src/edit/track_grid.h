// The track editor's grid without its drawing: the timeline document being edited, its history,
// the cursor's column, the selected block, the clipboard and the number being typed, and what
// each key does to them. The row is not held here: the cursor's row is the edit mode's row
// (the row shown and heard), so a key that moves the cursor asks for a seek.
//
// Keys while the grid has the keyboard (KeyCode values, modifiers from keyChanged):
//   Up / Down, Page Up / Page Down, Home / End    a row, a bar, the first / last row
//   Left / Right                                  a column
//   Shift + any of these                          selects the block from where it started
//   0-9 . -  then Enter                           sets a key at the cursor (Backspace: a digit
//                                                 back; moving or Escape drops the number)
//   Delete                                        removes the key (the block's keys)
//   I                                             cycles the interpolation (a section: its part)
//   Insert / Backspace                            adds / takes out a row at the cursor in the
//                                                 selected columns (all without a selection)
//   Ctrl+C, Ctrl+X, Ctrl+V                        copy, cut, paste the block at the cursor
//   Ctrl+Up / Ctrl+Down                           moves the block's keys a row (a bar with the
//                                                 section column)
//   Ctrl+Z, Ctrl+Y (or Ctrl+Shift+Z)              undo, redo, without limit
//   Ctrl+S                                        save (asked of the edit mode)
// History: each change is one step holding the lines it replaced and the cursor before and
// after, so undo and redo give back the same bytes.
#pragma once

#include <string>
#include <vector>

#include "display/display.h"
#include "edit/timeline_document.h"
#include "edit/timeline_edits.h"

namespace GridKeys {
constexpr PixelDisplay::KeyCode kShift = 16;
constexpr PixelDisplay::KeyCode kControl = 17;
constexpr PixelDisplay::KeyCode kBackspace = 8;
constexpr PixelDisplay::KeyCode kPageUp = 33;
constexpr PixelDisplay::KeyCode kPageDown = 34;
constexpr PixelDisplay::KeyCode kEnd = 35;
constexpr PixelDisplay::KeyCode kHome = 36;
constexpr PixelDisplay::KeyCode kLeft = 37;
constexpr PixelDisplay::KeyCode kUp = 38;
constexpr PixelDisplay::KeyCode kRight = 39;
constexpr PixelDisplay::KeyCode kDown = 40;
constexpr PixelDisplay::KeyCode kDelete = 127;
constexpr PixelDisplay::KeyCode kInsert = 155;
constexpr PixelDisplay::KeyCode kMinus = 108;  // the main keyboard's, as displays send it
constexpr PixelDisplay::KeyCode kKeypadMinus = 109;
constexpr PixelDisplay::KeyCode kKeypadPeriod = 110;
constexpr PixelDisplay::KeyCode kKeypad0 = 96;  // .. 105 for 9
constexpr PixelDisplay::KeyCode kPanel = 113;   // F2
}  // namespace GridKeys

struct GridHistoryStep {
    int at;                           // first line replaced
    std::vector<std::string> before;  // the lines there before the change
    std::vector<std::string> after;   // and after it
    int columnBefore, rowBefore, columnAfter, rowAfter;
};

struct TrackGrid {
    bool loaded = false;  // false until a timeline text could be read
    TimelineDocument doc;
    std::string text;      // the document's text (its lines joined)
    std::string baseText;  // the file as the grid last read or wrote it
    std::vector<GridHistoryStep> history;
    size_t done = 0;   // steps of history in effect; the rest can be redone
    int revision = 0;  // moves on with every change of the document (edits, undo, redo, loads)

    int column = 0;
    bool selecting = false;  // a block from the anchor to the cursor
    int anchorColumn = 0;
    int anchorRow = 0;
    Clipboard clipboard;
    std::string typed;
    bool shift = false;
    bool control = false;

    std::string status;  // the last thing said, shown on the panel
    bool statusIsError = false;
};

// Takes `text` as the document: at the start, and for a save by another program while nothing
// is unsaved (then one step of history, so it can be undone). False, with the generator's
// message, when it cannot be read; the grid stays as it was.
bool loadGridText(TrackGrid& grid, const std::string& text, const std::string& fileName,
                  std::string& message);
// The grid wrote its text to the file.
void markGridSaved(TrackGrid& grid);
bool gridUnsaved(const TrackGrid& grid);

// The selected block, or the cursor's cell, at the cursor's `row`.
GridBlock gridBlock(const TrackGrid& grid, int row);

// Makes `state` the document's (one step of history; the cursor goes to `column`, `row`).
// False, with the message on the grid, when the result would not be a valid timeline.
bool commitGridState(TrackGrid& grid, const TimelineState& state, int rowBefore, int column,
                     int row);
// Undo and redo one step; the cursor's row they return to is put in `row`.
bool undoGrid(TrackGrid& grid, int& row);
bool redoGrid(TrackGrid& grid, int& row);

// What a key asked of the edit mode.
struct GridKeyResult {
    bool taken = false;  // the grid used the key (or keeps it from the camera)
    int seekRow = -1;    // move the cursor (the show) to this row
    bool save = false;   // Ctrl+S
    bool hide = false;   // F2
};

// One key stroke while the grid has the keyboard; `row` is the cursor's row, `lastRow` the last
// row it may reach. Shift and Control come as keyChanged.
GridKeyResult gridKey(TrackGrid& grid, PixelDisplay::KeyCode key, int row, int lastRow);
void gridKeyChanged(TrackGrid& grid, PixelDisplay::KeyCode key, bool down);
// The character a key types into a number, 0 for none.
char typedCharacter(PixelDisplay::KeyCode key);
