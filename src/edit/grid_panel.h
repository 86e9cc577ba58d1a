// The track editor's panel: the grid drawn as ARGB words (display/overlay.h) that the display
// shows beside the picture, never in the frame. Our own 5 x 7 font in 6 x 9 cells; one grid
// row is one text line.
//
// Left to right: each row's position (BAR:BEAT on a beat, the row number on every row), the
// music's loudness in that row (a bar each way from the middle: the waveform on its side), the
// section column (scene and part at each section line), the tracks in the file's order, and
// the curve of the cursor's track over the visible rows with its keys as dots. Top to bottom:
// a title line (file, cursor, the key under it), the track names on two staggered lines, the
// rows with the cursor's row in the middle, the grid's message and a legend.
//
// A key shows its value as written and a mark of its interpolation (- step, / linear, ~ smooth,
// ^ quadratic); a key made by an `every` line is yellow; rows between keys show the value the
// show computes there, dimmed. Bar lines are ruled, rows past the show's end are dark.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "edit/track_grid.h"
#include "runtime/show.h"

struct GridPanel {
    int width = 0;
    int height = 0;
    std::unique_ptr<uint32_t[]> words;  // width x height, made once
};

// The panel for a picture `height` pixels high (its own height).
void makeGridPanel(GridPanel& panel, int height);

// What the panel shows besides the grid itself.
struct GridPanelView {
    int row = 0;                                   // the cursor's (the shown) row
    int endRow = 0;                                // the first row past the show
    const DemoTracks* tracks = nullptr;            // the tracks playing, for values between keys
    const std::vector<float>* loudness = nullptr;  // per row, 0..1
    bool hasKeyboard = false;
    bool unsaved = false;
    const char* fileName = "";
};

// Draws the whole panel; allocates nothing.
void drawGridPanel(GridPanel& panel, const TrackGrid& grid, const GridPanelView& view);

// The number of grid rows the panel shows, and the row at its top, for a cursor row.
int panelRows(const GridPanel& panel);
int panelTopRow(const GridPanel& panel, int row);
