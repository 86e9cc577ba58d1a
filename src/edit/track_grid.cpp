#include "edit/track_grid.h"

#include <algorithm>

#include "runtime/bar_beat.h"

using namespace GridKeys;

namespace {

// The history step that turns `before` into `after`: the lines between their common start and
// their common end.
GridHistoryStep difference(const std::vector<std::string>& before,
                           const std::vector<std::string>& after) {
    size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
    size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    GridHistoryStep step{};
    step.at = static_cast<int>(head);
    step.before.assign(before.begin() + head, before.end() - tail);
    step.after.assign(after.begin() + head, after.end() - tail);
    return step;
}

std::vector<std::string> replaced(const std::vector<std::string>& lines, int at,
                                  const std::vector<std::string>& from,
                                  const std::vector<std::string>& to) {
    std::vector<std::string> out(lines.begin(), lines.begin() + at);
    out.insert(out.end(), to.begin(), to.end());
    out.insert(out.end(), lines.begin() + at + from.size(), lines.end());
    return out;
}

void say(TrackGrid& grid, const std::string& text, bool error) {
    grid.status = text;
    grid.statusIsError = error;
}

// Reads the lines as the new document; false (the grid unchanged) when they are not a timeline.
bool takeLines(TrackGrid& grid, const std::vector<std::string>& lines, std::string& message) {
    const std::string text = joinLines(lines);
    TimelineDocument doc;
    if (!readDocument(text, grid.doc.fileName, doc, message)) return false;
    grid.doc = std::move(doc);
    grid.text = text;
    ++grid.revision;
    grid.column = std::min(grid.column, static_cast<int>(grid.doc.columns.size()) - 1);
    grid.anchorColumn = std::min(grid.anchorColumn, grid.column);
    return true;
}

bool applyStep(TrackGrid& grid, const std::vector<std::string>& lines, GridHistoryStep step) {
    std::string message;
    if (!takeLines(grid, lines, message)) {
        say(grid, "refused: " + message, true);
        return false;
    }
    grid.history.resize(grid.done);
    grid.history.push_back(std::move(step));
    grid.done = grid.history.size();
    return true;
}

// A key that moves the cursor; Shift selects from where the cursor was.
void moveCursor(TrackGrid& grid, GridKeyResult& result, int row, int lastRow, int column,
                int targetRow) {
    if (grid.shift && !grid.selecting) {
        grid.selecting = true;
        grid.anchorColumn = grid.column;
        grid.anchorRow = row;
    } else if (!grid.shift) {
        grid.selecting = false;
    }
    grid.typed.clear();
    grid.column = std::clamp(column, 0, static_cast<int>(grid.doc.columns.size()) - 1);
    targetRow = std::clamp(targetRow, 0, lastRow);
    if (targetRow != row) result.seekRow = targetRow;
}

}  // namespace

char typedCharacter(PixelDisplay::KeyCode key) {
    if (key >= '0' && key <= '9') return static_cast<char>(key);
    if (key >= kKeypad0 && key <= kKeypad0 + 9) return static_cast<char>('0' + key - kKeypad0);
    if (key == '.' || key == kKeypadPeriod) return '.';
    if (key == kMinus || key == kKeypadMinus) return '-';
    return 0;
}

bool loadGridText(TrackGrid& grid, const std::string& text, const std::string& fileName,
                  std::string& message) {
    TimelineDocument doc;
    if (!readDocument(text, fileName, doc, message)) return false;
    if (grid.loaded && text != grid.text) {
        // A step of history like any change, with the cursor where it is.
        GridHistoryStep step = difference(grid.doc.lines, doc.lines);
        step.columnBefore = step.columnAfter = grid.column;
        step.rowBefore = step.rowAfter = -1;
        grid.history.resize(grid.done);
        grid.history.push_back(std::move(step));
        grid.done = grid.history.size();
    }
    grid.doc = std::move(doc);
    grid.text = text;
    grid.baseText = text;
    grid.loaded = true;
    ++grid.revision;
    grid.column = std::clamp(grid.column, 0, static_cast<int>(grid.doc.columns.size()) - 1);
    grid.selecting = false;
    return true;
}

void markGridSaved(TrackGrid& grid) {
    grid.baseText = grid.text;
}

bool gridUnsaved(const TrackGrid& grid) {
    return grid.loaded && grid.text != grid.baseText;
}

GridBlock gridBlock(const TrackGrid& grid, int row) {
    if (!grid.selecting) return GridBlock{grid.column, grid.column, row, row};
    return GridBlock{std::min(grid.column, grid.anchorColumn),
                     std::max(grid.column, grid.anchorColumn), std::min(row, grid.anchorRow),
                     std::max(row, grid.anchorRow)};
}

bool commitGridState(TrackGrid& grid, const TimelineState& state, int rowBefore, int column,
                     int row) {
    const std::vector<std::string> lines = writeState(grid.doc, state);
    if (lines == grid.doc.lines) return true;
    GridHistoryStep step = difference(grid.doc.lines, lines);
    step.columnBefore = grid.column;
    step.rowBefore = rowBefore;
    step.columnAfter = column;
    step.rowAfter = row;
    if (!applyStep(grid, lines, std::move(step))) return false;
    grid.column = column;
    say(grid, "", false);
    return true;
}

bool undoGrid(TrackGrid& grid, int& row) {
    if (grid.done == 0) {
        say(grid, "nothing to undo", false);
        return false;
    }
    const GridHistoryStep& step = grid.history[grid.done - 1];
    std::string message;
    if (!takeLines(grid, replaced(grid.doc.lines, step.at, step.after, step.before), message)) {
        say(grid, "cannot undo: " + message, true);
        return false;
    }
    --grid.done;
    grid.column = std::clamp(step.columnBefore, 0, static_cast<int>(grid.doc.columns.size()) - 1);
    row = step.rowBefore;
    say(grid, "undone", false);
    return true;
}

bool redoGrid(TrackGrid& grid, int& row) {
    if (grid.done == grid.history.size()) {
        say(grid, "nothing to redo", false);
        return false;
    }
    const GridHistoryStep& step = grid.history[grid.done];
    std::string message;
    if (!takeLines(grid, replaced(grid.doc.lines, step.at, step.before, step.after), message)) {
        say(grid, "cannot redo: " + message, true);
        return false;
    }
    ++grid.done;
    grid.column = std::clamp(step.columnAfter, 0, static_cast<int>(grid.doc.columns.size()) - 1);
    row = step.rowAfter;
    say(grid, "redone", false);
    return true;
}

void gridKeyChanged(TrackGrid& grid, PixelDisplay::KeyCode key, bool down) {
    if (key == kShift) grid.shift = down;
    if (key == kControl) grid.control = down;
}

GridKeyResult gridKey(TrackGrid& grid, PixelDisplay::KeyCode key, int row, int lastRow) {
    GridKeyResult result;
    result.taken = true;
    if (key == kShift || key == kControl) return result;
    if (key == kPanel) {
        grid.typed.clear();
        result.hide = true;
        return result;
    }
    if (!grid.loaded) {
        say(grid, "the timeline has a mistake: mend it in the text editor first", true);
        return result;
    }
    const int columns = static_cast<int>(grid.doc.columns.size());
    const GridBlock block = gridBlock(grid, row);
    TimelineState state = grid.doc.state;
    std::string message;
    const auto commit = [&](int rowAfter) {
        return commitGridState(grid, state, row, grid.column, rowAfter);
    };
    const auto refuse = [&] { say(grid, message, true); };

    if (grid.control) {
        int undoRow = -1;
        switch (key) {
            case 'Z':
                if (grid.shift ? redoGrid(grid, undoRow) : undoGrid(grid, undoRow)) {
                    if (undoRow >= 0 && undoRow != row) result.seekRow = std::min(undoRow, lastRow);
                }
                break;
            case 'Y':
                if (redoGrid(grid, undoRow) && undoRow >= 0 && undoRow != row)
                    result.seekRow = std::min(undoRow, lastRow);
                break;
            case 'S':
                result.save = true;
                break;
            case 'C':
                grid.clipboard = copyBlock(grid.doc, state, block);
                say(grid,
                    "copied " + std::to_string(block.row1 - block.row0 + 1) + " rows of " +
                        std::to_string(block.column1 - block.column0 + 1) + " columns",
                    false);
                break;
            case 'X':
                grid.clipboard = copyBlock(grid.doc, state, block);
                if (deleteKeys(grid.doc, state, block, message)) {
                    commit(row);
                } else {
                    refuse();
                }
                break;
            case 'V':
                if (pasteBlock(grid.doc, state, grid.clipboard, grid.column, row, message)) {
                    commit(row);
                } else {
                    refuse();
                }
                break;
            case kUp:
            case kDown: {
                const int step = rowStep(grid.doc, block.column0, block.column1);
                const int delta = key == kUp ? -step : step;
                if (!moveKeys(grid.doc, state, block, delta, message)) {
                    refuse();
                    break;
                }
                const int target = std::clamp(row + delta, 0, lastRow);
                if (commit(target)) {
                    grid.anchorRow += delta;
                    if (target != row) result.seekRow = target;
                }
                break;
            }
            default:
                break;  // kept from the camera all the same
        }
        return result;
    }

    if (const char c = typedCharacter(key)) {
        if (grid.typed.size() < 24) grid.typed += c;
        return result;
    }
    switch (key) {
        case PixelDisplay::kKeyEnter:
            if (grid.typed.empty()) break;
            if (setKey(grid.doc, state, grid.column, row, grid.typed, message)) {
                if (commit(row)) grid.typed.clear();
            } else {
                refuse();
            }
            break;
        case kBackspace:
            if (!grid.typed.empty()) {
                grid.typed.pop_back();
                break;
            }
            [[fallthrough]];
        case kInsert: {
            // The selected columns, or all of them.
            const int column0 = grid.selecting ? block.column0 : 0;
            const int column1 = grid.selecting ? block.column1 : columns - 1;
            const int count = rowStep(grid.doc, column0, column1);
            const bool ok =
                key == kInsert ? insertRows(grid.doc, state, column0, column1, row, count, message)
                               : removeRows(grid.doc, state, column0, column1, row, count, message);
            if (ok) {
                commit(row);
            } else {
                refuse();
            }
            break;
        }
        case kDelete:
            if (deleteKeys(grid.doc, state, block, message)) {
                commit(row);
            } else {
                refuse();
            }
            break;
        case 'I':
            if (cycleInterpolation(grid.doc, state, block, message)) {
                commit(row);
            } else {
                refuse();
            }
            break;
        case kUp:
            moveCursor(grid, result, row, lastRow, grid.column, row - 1);
            break;
        case kDown:
            moveCursor(grid, result, row, lastRow, grid.column, row + 1);
            break;
        case kPageUp:
            moveCursor(grid, result, row, lastRow, grid.column, row - kRowsPerBar);
            break;
        case kPageDown:
            moveCursor(grid, result, row, lastRow, grid.column, row + kRowsPerBar);
            break;
        case kHome:
            moveCursor(grid, result, row, lastRow, grid.column, 0);
            break;
        case kEnd:
            moveCursor(grid, result, row, lastRow, grid.column, lastRow);
            break;
        case kLeft:
            moveCursor(grid, result, row, lastRow, grid.column - 1, row);
            break;
        case kRight:
            moveCursor(grid, result, row, lastRow, grid.column + 1, row);
            break;
        default:
            result.taken = false;  // for the edit mode's own keys
            break;
    }
    return result;
}
