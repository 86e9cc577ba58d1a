#include "edit/grid_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "display/overlay.h"
#include "runtime/bar_beat.h"

using namespace PixelDisplay;

namespace {

constexpr int kMargin = 4;
constexpr int kLine = kTextCellHeight;
constexpr int kLabelChars = 9;
constexpr int kColumnChars = 8;            // a value in 6, its interpolation mark, a space
constexpr int kColumnCount = kTrackCount;  // the section column and 17 tracks
constexpr int kLoudnessWidth = 36;
constexpr int kCurveWidth = 110;
constexpr int kGap = 6;

constexpr int kLabelX = kMargin;
constexpr int kLoudnessX = kLabelX + kLabelChars * kTextCellWidth + kMargin;
constexpr int kColumnsX = kLoudnessX + kLoudnessWidth + kGap;
constexpr int kColumnWidth = kColumnChars * kTextCellWidth;
constexpr int kCurveX = kColumnsX + kColumnCount * kColumnWidth + kGap;
constexpr int kPanelWidth = kCurveX + kCurveWidth + kMargin;
constexpr int kHeaderLines = 3;
constexpr int kFooterLines = 2;
constexpr int kGridTop = kMargin + kHeaderLines * kLine + 2;

constexpr uint32_t kBackground = 0xFF101418u;
constexpr uint32_t kBeatRow = 0xFF161C22u;
constexpr uint32_t kPastEnd = 0xFF07090Bu;
constexpr uint32_t kPlayRow = 0xFF263240u;
constexpr uint32_t kBarRule = 0xFF44505Eu;
constexpr uint32_t kSelection = 0xFF233C5Au;
constexpr uint32_t kCursor = 0xFF3C6EA8u;
constexpr uint32_t kCursorIdle = 0xFF3A4048u;  // the cursor while the grid lacks the keyboard
constexpr uint32_t kTyping = 0xFFFFE070u;
constexpr uint32_t kText = 0xFFE8ECF0u;
constexpr uint32_t kDim = 0xFF5C6874u;
constexpr uint32_t kBarLabel = 0xFFFFD27Au;
constexpr uint32_t kRepeatKey = 0xFFFFE27Au;
constexpr uint32_t kSectionText = 0xFF9FD8FFu;
constexpr uint32_t kError = 0xFFFF6A6Au;
constexpr uint32_t kLoudness = 0xFF3E8A62u;
constexpr uint32_t kLoudnessNow = 0xFF6CD69Au;
constexpr uint32_t kCurve = 0xFF7FD0FFu;
constexpr uint32_t kCurveKey = 0xFFFFFFFFu;
constexpr uint32_t kTypeColours[4] = {0xFF9AA4AEu, 0xFF7FD0FFu, 0xFF9CFF8Au, 0xFFFFB060u};
constexpr char kTypeMarks[4] = {'-', '/', '~', '^'};
const char* const kTypeNames[4] = {"step", "linear", "smooth", "quadratic"};

struct Canvas {
    uint32_t* words;
    int width, height;
    void fill(int x, int y, int w, int h, uint32_t colour) const {
        fillOverlayRect(words, width, height, x, y, w, h, colour);
    }
    int text(int x, int y, const char* s, uint32_t colour) const {
        return drawOverlayText(words, width, height, x, y, s, colour);
    }
};

// `value` in at most `width` characters, as precise as they allow.
void fitNumber(double value, int width, char* out, size_t size) {
    for (int precision = 6; precision >= 1; --precision) {
        std::snprintf(out, size, "%.*g", precision, value);
        if (static_cast<int>(std::strlen(out)) <= width) return;
    }
    std::snprintf(out, size, "%s", value < 0 ? "-big" : "big");
}

// The key's value as written when it fits, else the number in the room there is.
void keyText(const DocKey& key, int width, char* out, size_t size) {
    if (static_cast<int>(key.text.size()) <= width) {
        std::snprintf(out, size, "%s", key.text.c_str());
    } else {
        fitNumber(key.value, width, out, size);
    }
}

int columnX(int column) {
    return kColumnsX + column * kColumnWidth;
}

const DocKey* findKey(const std::vector<DocKey>& keys, int row) {
    const auto at = std::lower_bound(keys.begin(), keys.end(), row,
                                     [](const DocKey& key, int r) { return key.row < r; });
    return at != keys.end() && at->row == row ? &*at : nullptr;
}

const DocSection* findSection(const std::vector<DocSection>& sections, int row) {
    for (const DocSection& section : sections) {
        if (section.row == row) return &section;
    }
    return nullptr;
}

// Right-aligned in `width` cells ending at x + width cells.
void textRight(const Canvas& canvas, int x, int width, int y, const char* s, uint32_t colour) {
    const int length = static_cast<int>(std::strlen(s));
    canvas.text(x + (width - length) * kTextCellWidth, y, s, colour);
}

const SyncTrack* trackOf(const GridPanelView& view, int track) {
    return view.tracks ? view.tracks->tracks[track] : nullptr;
}

int trackOfColumn(const TrackGrid& grid, int column) {
    if (!grid.loaded || column < 0 || column >= static_cast<int>(grid.doc.columns.size()))
        return -1;
    const int track = grid.doc.columns[column];
    return track == kSectionColumn ? trackIndex("scene") : track;
}

// `underCursor`: values between keys are bright there, to read on the cursor's colour.
void drawCell(const Canvas& canvas, const TrackGrid& grid, const GridPanelView& view, int column,
              int row, int y, bool underCursor) {
    const int x = columnX(column) + 1;
    const uint32_t dim = underCursor ? kText : kDim;
    char text[32];
    const int track = grid.doc.columns[column];
    if (track == kSectionColumn) {
        if (const DocSection* section = findSection(grid.doc.state.sections, row)) {
            std::snprintf(text, sizeof text, "%d %.5s", section->scene, section->part.c_str());
            canvas.text(x, y, text, kSectionText);
        } else if (row == view.endRow) {
            canvas.text(x, y, "end", kSectionText);
        } else if (row < view.endRow) {
            std::snprintf(text, sizeof text, "%d",
                          roundChoice(trackValue(trackOf(view, trackIndex("scene")), row)));
            canvas.text(x, y, text, dim);
        }
        return;
    }
    if (row >= view.endRow) return;
    if (const DocKey* key = findKey(grid.doc.state.tracks[track], row)) {
        keyText(*key, 6, text, sizeof text);
        textRight(canvas, x, 6, y, text, key->repeat >= 0 ? kRepeatKey : kText);
        const char mark[2] = {kTypeMarks[key->type & 3], 0};
        canvas.text(x + 6 * kTextCellWidth, y, mark, kTypeColours[key->type & 3]);
        return;
    }
    fitNumber(trackValue(trackOf(view, track), row), 6, text, sizeof text);
    textRight(canvas, x, 6, y, text, dim);
}

void drawCurve(const Canvas& canvas, const TrackGrid& grid, const GridPanelView& view, int topRow,
               int rows) {
    const int track = trackOfColumn(grid, grid.column);
    if (track < 0) return;
    const SyncTrack* sync = trackOf(view, track);
    const int left = kCurveX + 2, width = kCurveWidth - 4;
    const int bottom = kGridTop + rows * kLine;
    // The value at the middle of each pixel row, and their range.
    double lo = 1e300, hi = -1e300;
    const auto rowAt = [&](int y) { return topRow + (y - kGridTop + 0.5) / kLine; };
    for (int y = kGridTop; y < bottom; ++y) {
        const double row = rowAt(y);
        if (row < 0.0 || row >= view.endRow) continue;
        const double value = trackValue(sync, row);
        lo = std::min(lo, value);
        hi = std::max(hi, value);
    }
    char text[48], low[16], high[16];
    std::snprintf(text, sizeof text, "%.17s", kTracks[track].name);
    canvas.text(kCurveX, kMargin + kLine, text, kText);
    if (lo > hi) return;
    fitNumber(lo, 7, low, sizeof low);
    fitNumber(hi, 7, high, sizeof high);
    std::snprintf(text, sizeof text, "%s..%s", low, high);
    canvas.text(kCurveX, kMargin + 2 * kLine, text, kDim);
    if (hi - lo < 1e-9) {
        lo -= 0.5;
        hi += 0.5;
    }
    const auto xOf = [&](double value) {
        return left + static_cast<int>(std::lround((value - lo) / (hi - lo) * (width - 1)));
    };
    canvas.fill(kCurveX, kGridTop, 1, bottom - kGridTop, kBarRule);
    int previous = -1;
    for (int y = kGridTop; y < bottom; ++y) {
        const double row = rowAt(y);
        if (row < 0.0 || row >= view.endRow) {
            previous = -1;
            continue;
        }
        const int x = xOf(trackValue(sync, row));
        const int from = previous < 0 ? x : std::min(previous, x);
        const int to = previous < 0 ? x : std::max(previous, x);
        canvas.fill(from, y, to - from + 1, 1, kCurve);
        previous = x;
    }
    // The keys as dots (the scene's at the section lines).
    if (sync) {
        for (int k = 0; k < sync->keyCount; ++k) {
            const int row = sync->keys[k].row;
            if (row < topRow || row >= topRow + rows || row >= view.endRow) continue;
            const int y = kGridTop + (row - topRow) * kLine + kLine / 2;
            canvas.fill(xOf(sync->keys[k].value) - 1, y - 1, 3, 3, kCurveKey);
        }
    }
}

}  // namespace

void makeGridPanel(GridPanel& panel, int height) {
    panel.width = kPanelWidth;
    panel.height = std::max(height, kGridTop + (kFooterLines + 8) * kLine);
    panel.words.reset(new uint32_t[size_t(panel.width) * panel.height]());
}

int panelRows(const GridPanel& panel) {
    return (panel.height - kMargin - kFooterLines * kLine - 2 - kGridTop) / kLine;
}

int panelTopRow(const GridPanel& panel, int row) {
    return row - panelRows(panel) / 2;
}

void drawGridPanel(GridPanel& panel, const TrackGrid& grid, const GridPanelView& view) {
    const Canvas canvas{panel.words.get(), panel.width, panel.height};
    canvas.fill(0, 0, panel.width, panel.height, kBackground);
    const int rows = panelRows(panel);
    const int topRow = panelTopRow(panel, view.row);
    const int columns = grid.loaded ? static_cast<int>(grid.doc.columns.size()) : 0;
    const GridBlock block = gridBlock(grid, view.row);
    const int rowsRight = kCurveX - kLabelX;
    char text[256];

    for (int i = 0; i < rows; ++i) {
        const int row = topRow + i;
        const int y = kGridTop + i * kLine;
        if (row < 0) continue;
        if (row >= view.endRow) {
            canvas.fill(kLabelX, y, rowsRight, kLine, kPastEnd);
        } else if (row == view.row) {
            canvas.fill(kLabelX, y, rowsRight, kLine, kPlayRow);
        } else if (row % kRowsPerBeat == 0) {
            canvas.fill(kLabelX, y, rowsRight, kLine, kBeatRow);
        }
        if (row % kRowsPerBar == 0) canvas.fill(kLabelX, y - 1, rowsRight, 1, kBarRule);
        // The position: BAR:BEAT on a beat, the row on every row.
        if (row % kRowsPerBeat == 0) {
            canvas.text(kLabelX, y + 1, formatBarBeat(row).c_str(),
                        row % kRowsPerBar == 0 ? kBarLabel : kText);
        }
        std::snprintf(text, sizeof text, "%d", row);
        textRight(canvas, kLabelX, kLabelChars, y + 1, text, row == view.row ? kText : kDim);
        // The loudness, a bar each way from the middle.
        if (view.loudness && row < static_cast<int>(view.loudness->size())) {
            const int half =
                static_cast<int>(std::lround((*view.loudness)[row] * (kLoudnessWidth / 2 - 1)));
            canvas.fill(kLoudnessX + kLoudnessWidth / 2 - half, y + 1, 2 * half + 1, kGlyphHeight,
                        row == view.row ? kLoudnessNow : kLoudness);
        }
        for (int column = 0; column < columns; ++column) {
            const int x = columnX(column);
            const bool selected = grid.selecting && column >= block.column0 &&
                                  column <= block.column1 && row >= block.row0 && row <= block.row1;
            const bool cursor = row == view.row && column == grid.column;
            if (cursor) {
                canvas.fill(x, y, kColumnWidth - 2, kLine,
                            view.hasKeyboard ? kCursor : kCursorIdle);
            } else if (selected) {
                canvas.fill(x, y, kColumnWidth - 2, kLine, kSelection);
            }
            if (cursor && !grid.typed.empty()) {
                canvas.fill(x, y, kColumnWidth - 2, kLine, kTyping);
                std::snprintf(
                    text, sizeof text, "%.7s",
                    grid.typed.c_str() + (grid.typed.size() > 7 ? grid.typed.size() - 7 : 0));
                canvas.text(x + 1, y + 1, text, 0xFF000000u);
                continue;
            }
            drawCell(canvas, grid, view, column, row, y + 1, cursor);
        }
    }

    // Header: the title line, then the column names on two staggered lines.
    const int cursorRow = view.row;
    char cursorText[160] = "";
    if (grid.loaded) {
        const int track = grid.doc.columns[grid.column];
        if (track == kSectionColumn) {
            const DocSection* section = findSection(grid.doc.state.sections, cursorRow);
            if (section) {
                std::snprintf(text, sizeof text, "section %d %s (line %d)", section->scene,
                              section->part.c_str(), section->line + 1);
            } else {
                std::snprintf(text, sizeof text, "sections: a scene number on a bar line");
            }
        } else if (const DocKey* key = findKey(grid.doc.state.tracks[track], cursorRow)) {
            std::snprintf(text, sizeof text, "%s key %s %s (%s line %d)", kTracks[track].name,
                          key->text.c_str(), kTypeNames[key->type & 3],
                          key->repeat >= 0 ? "every" : "key", key->line + 1);
        } else {
            char value[16];
            fitNumber(trackValue(trackOf(view, track), cursorRow), 8, value, sizeof value);
            std::snprintf(text, sizeof text, "%s %s", kTracks[track].name, value);
        }
        std::snprintf(cursorText, sizeof cursorText, "%s", text);
    }
    std::snprintf(text, sizeof text, "%s%s  %s (row %d)  %s%s", view.fileName,
                  view.unsaved ? " *unsaved*" : "", formatBarBeat(cursorRow).c_str(), cursorRow,
                  cursorText, view.hasKeyboard ? "" : "   [F2: keyboard to the grid]");
    canvas.text(kMargin, kMargin, text, view.unsaved ? kTyping : kText);
    canvas.text(kLabelX, kMargin + 2 * kLine, "bar:b row", kDim);
    canvas.text(kLoudnessX, kMargin + 2 * kLine, "loud", kDim);
    for (int column = 0; column < columns; ++column) {
        const int track = grid.doc.columns[column];
        const char* name = track == kSectionColumn ? "section" : kTracks[track].name;
        canvas.text(columnX(column) + 1, kMargin + (1 + column % 2) * kLine, name,
                    column == grid.column ? kTyping : kText);
    }
    drawCurve(canvas, grid, view, topRow, rows);

    // Footer: the grid's message, then the legend.
    const int footer = panel.height - kMargin - kFooterLines * kLine;
    canvas.text(kMargin, footer, grid.status.c_str(), grid.statusIsError ? kError : kTyping);
    int x = kMargin;
    for (int type = 0; type < 4; ++type) {
        const char mark[2] = {kTypeMarks[type], 0};
        x = canvas.text(x, footer + kLine, mark, kTypeColours[type]);
        std::snprintf(text, sizeof text, " %s  ", kTypeNames[type]);
        x = canvas.text(x, footer + kLine, text, kDim);
    }
    x = canvas.text(x, footer + kLine, "every-line key", kRepeatKey);
    canvas.text(x, footer + kLine,
                "   number+Enter, Del, I, Ins/Bksp rows, Shift select, Ctrl+C/X/V, "
                "Ctrl+Up/Dn move, Ctrl+Z/Y, Ctrl+S save, Esc",
                kDim);
}
