#include "edit/timeline_edits.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "generator/music.h"
#include "runtime/bar_beat.h"

namespace {

bool isSections(const TimelineDocument& doc, int column) {
    return doc.columns[column] == kSectionColumn;
}

void sortKeys(std::vector<DocKey>& keys) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const DocKey& a, const DocKey& b) { return a.row < b.row; });
}

void sortSections(std::vector<DocSection>& sections) {
    std::stable_sort(sections.begin(), sections.end(),
                     [](const DocSection& a, const DocSection& b) { return a.row < b.row; });
}

bool inRows(int row, int row0, int row1) {
    return row >= row0 && row <= row1;
}

bool parseValue(const std::string& text, float& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(parsed) || std::fabs(parsed) > 1e6) return false;
    value = static_cast<float>(parsed);
    return true;
}

bool parseScene(const std::string& text, int& scene) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || parsed < -1000000 || parsed > 1000000) return false;
    scene = static_cast<int>(parsed);
    return true;
}

// Puts `key` at its row in the track, in place of a key already there (whose line it takes).
void putKey(std::vector<DocKey>& keys, DocKey key) {
    for (DocKey& old : keys) {
        if (old.row != key.row) continue;
        key.line = old.line;
        key.repeat = old.repeat;
        old = key;
        return;
    }
    keys.push_back(key);
    sortKeys(keys);
}

void putSection(std::vector<DocSection>& sections, DocSection section) {
    for (DocSection& old : sections) {
        if (old.row != section.row) continue;
        section.line = old.line;
        old = section;
        return;
    }
    sections.push_back(section);
    sortSections(sections);
}

std::string offBarLine(int row) {
    return "a section line starts on a bar line, and " + std::string(formatBarBeat(row)) +
           " is not one";
}

}  // namespace

const DocKey* keyAt(const TimelineDocument& doc, const TimelineState& state, int column, int row) {
    if (column < 0 || column >= static_cast<int>(doc.columns.size()) || isSections(doc, column))
        return nullptr;
    for (const DocKey& key : state.tracks[doc.columns[column]]) {
        if (key.row == row) return &key;
    }
    return nullptr;
}

const DocSection* sectionAt(const TimelineState& state, int row) {
    for (const DocSection& section : state.sections) {
        if (section.row == row) return &section;
    }
    return nullptr;
}

bool setKey(const TimelineDocument& doc, TimelineState& state, int column, int row,
            const std::string& text, std::string& message) {
    if (isSections(doc, column)) {
        int scene = 0;
        if (!parseScene(text, scene)) {
            message = "a section line takes a scene number, not '" + text + "'";
            return false;
        }
        if (row % kRowsPerBar != 0) {
            message = offBarLine(row);
            return false;
        }
        DocSection section;
        section.row = row;
        section.scene = scene;
        // A new section line plays the part of the one before it.
        for (const DocSection& before : state.sections) {
            if (before.row <= row || section.part.empty()) section.part = before.part;
        }
        if (const DocSection* old = sectionAt(state, row)) section.part = old->part;
        putSection(state.sections, section);
        return true;
    }
    float value = 0.0f;
    if (!parseValue(text, value)) {
        message = "not a number: '" + text + "'";
        return false;
    }
    std::vector<DocKey>& keys = state.tracks[doc.columns[column]];
    DocKey key;
    key.row = row;
    key.value = value;
    key.text = text;
    if (const DocKey* old = keyAt(doc, state, column, row)) {
        key.type = old->type;
        key.typeWritten = old->typeWritten;
    } else {
        for (const DocKey& before : keys) {
            if (before.row < row) key.type = before.type;
        }
        key.typeWritten = key.type != assetgen::kStep;
    }
    putKey(keys, key);
    return true;
}

bool deleteKeys(const TimelineDocument& doc, TimelineState& state, const GridBlock& block,
                std::string& message) {
    size_t removed = 0;
    for (int column = block.column0; column <= block.column1; ++column) {
        if (isSections(doc, column)) {
            auto& sections = state.sections;
            const size_t before = sections.size();
            sections.erase(std::remove_if(sections.begin(), sections.end(),
                                          [&](const DocSection& s) {
                                              return inRows(s.row, block.row0, block.row1);
                                          }),
                           sections.end());
            removed += before - sections.size();
        } else {
            auto& keys = state.tracks[doc.columns[column]];
            const size_t before = keys.size();
            keys.erase(std::remove_if(
                           keys.begin(), keys.end(),
                           [&](const DocKey& k) { return inRows(k.row, block.row0, block.row1); }),
                       keys.end());
            removed += before - keys.size();
        }
    }
    if (removed == 0) message = "no key here";
    return removed > 0;
}

bool cycleInterpolation(const TimelineDocument& doc, TimelineState& state, const GridBlock& block,
                        std::string& message) {
    int type = -1;
    std::string part;
    const std::vector<std::string> parts = assetgen::knownParts();
    for (int column = block.column0; column <= block.column1; ++column) {
        if (isSections(doc, column)) {
            for (DocSection& section : state.sections) {
                if (!inRows(section.row, block.row0, block.row1)) continue;
                if (part.empty()) {
                    const auto at = std::find(parts.begin(), parts.end(), section.part);
                    part = at == parts.end() || at + 1 == parts.end() ? parts.front() : *(at + 1);
                }
                section.part = part;
            }
            continue;
        }
        for (DocKey& key : state.tracks[doc.columns[column]]) {
            if (!inRows(key.row, block.row0, block.row1)) continue;
            if (type < 0) type = (key.type + 1) % 4;
            key.type = static_cast<int8_t>(type);
        }
    }
    if (type < 0 && part.empty()) {
        message = "no key here";
        return false;
    }
    return true;
}

Clipboard copyBlock(const TimelineDocument& doc, const TimelineState& state,
                    const GridBlock& block) {
    Clipboard clipboard;
    clipboard.rows = block.row1 - block.row0 + 1;
    for (int column = block.column0; column <= block.column1; ++column) {
        ClipColumn copied;
        copied.sections = isSections(doc, column);
        if (copied.sections) {
            for (const DocSection& section : state.sections) {
                if (inRows(section.row, block.row0, block.row1))
                    copied.keys.push_back({section.row - block.row0, DocKey{}, section});
            }
        } else {
            for (const DocKey& key : state.tracks[doc.columns[column]]) {
                if (inRows(key.row, block.row0, block.row1))
                    copied.keys.push_back({key.row - block.row0, key, DocSection{}});
            }
        }
        clipboard.columns.push_back(copied);
    }
    return clipboard;
}

bool pasteBlock(const TimelineDocument& doc, TimelineState& state, const Clipboard& clipboard,
                int column, int row, std::string& message) {
    if (clipboard.columns.empty()) {
        message = "nothing copied yet";
        return false;
    }
    TimelineState pasted = state;
    int landed = 0;
    const int columns = static_cast<int>(doc.columns.size());
    for (size_t i = 0; i < clipboard.columns.size(); ++i) {
        const int target = column + static_cast<int>(i);
        const ClipColumn& from = clipboard.columns[i];
        if (target >= columns || from.sections != isSections(doc, target)) continue;
        ++landed;
        const int row1 = row + clipboard.rows - 1;
        if (from.sections) {
            std::vector<DocSection> kept;
            for (const DocSection& section : pasted.sections) {
                const bool replaced =
                    std::any_of(from.keys.begin(), from.keys.end(),
                                [&](const ClipKey& c) { return row + c.row == section.row; });
                if (!inRows(section.row, row, row1) || replaced) kept.push_back(section);
            }
            pasted.sections = kept;
            for (const ClipKey& clip : from.keys) {
                if ((row + clip.row) % kRowsPerBar != 0) {
                    message = offBarLine(row + clip.row);
                    return false;
                }
                DocSection section = clip.section;
                section.row = row + clip.row;
                section.line = -1;
                putSection(pasted.sections, section);
            }
            continue;
        }
        std::vector<DocKey>& keys = pasted.tracks[doc.columns[target]];
        std::vector<DocKey> kept;
        for (const DocKey& key : keys) {
            const bool replaced =
                std::any_of(from.keys.begin(), from.keys.end(),
                            [&](const ClipKey& c) { return row + c.row == key.row; });
            if (!inRows(key.row, row, row1) || replaced) kept.push_back(key);
        }
        keys = kept;
        for (const ClipKey& clip : from.keys) {
            DocKey key = clip.key;
            key.row = row + clip.row;
            key.line = -1;
            key.repeat = -1;
            putKey(keys, key);
        }
    }
    if (landed == 0) {
        message = "the copied columns do not fit here (keys go on tracks, sections on sections)";
        return false;
    }
    state = pasted;
    return true;
}

int rowStep(const TimelineDocument& doc, int column0, int column1) {
    for (int column = column0; column <= column1; ++column) {
        if (isSections(doc, column)) return kRowsPerBar;
    }
    return 1;
}

bool moveKeys(const TimelineDocument& doc, TimelineState& state, const GridBlock& block, int delta,
              std::string& message) {
    // The rows the block lands on that it did not cover: their keys are replaced.
    const int swept0 = delta > 0 ? block.row1 + 1 : block.row0 + delta;
    const int swept1 = delta > 0 ? block.row1 + delta : block.row0 - 1;
    TimelineState moved = state;
    int count = 0;
    for (int column = block.column0; column <= block.column1; ++column) {
        if (isSections(doc, column)) {
            std::vector<DocSection> kept;
            for (DocSection section : moved.sections) {
                if (inRows(section.row, block.row0, block.row1)) {
                    section.row += delta;
                    ++count;
                } else if (inRows(section.row, swept0, swept1)) {
                    continue;
                }
                if (section.row < 0 || section.row % kRowsPerBar != 0) {
                    message = section.row < 0 ? "a section cannot move before 1:1"
                                              : offBarLine(section.row);
                    return false;
                }
                kept.push_back(section);
            }
            sortSections(kept);
            moved.sections = kept;
            continue;
        }
        std::vector<DocKey>& keys = moved.tracks[doc.columns[column]];
        std::vector<DocKey> kept;
        for (DocKey key : keys) {
            if (inRows(key.row, block.row0, block.row1)) {
                key.row += delta;
                ++count;
                if (key.row < 0) {
                    message = "a key cannot move before 1:1";
                    return false;
                }
            } else if (inRows(key.row, swept0, swept1)) {
                continue;
            }
            kept.push_back(key);
        }
        sortKeys(kept);
        keys = kept;
    }
    if (count == 0) {
        message = "no key here";
        return false;
    }
    state = moved;
    return true;
}

bool insertRows(const TimelineDocument& doc, TimelineState& state, int column0, int column1,
                int row, int count, std::string& message) {
    (void)message;
    for (int column = column0; column <= column1; ++column) {
        if (isSections(doc, column)) {
            for (DocSection& section : state.sections) {
                if (section.row >= row) section.row += count;
            }
            if (state.endRow >= row) state.endRow += count;
            continue;
        }
        for (DocKey& key : state.tracks[doc.columns[column]]) {
            if (key.row >= row) key.row += count;
        }
    }
    return true;
}

bool removeRows(const TimelineDocument& doc, TimelineState& state, int column0, int column1,
                int row, int count, std::string& message) {
    const int end = row + count;  // first row after the rows taken out
    TimelineState removed = state;
    for (int column = column0; column <= column1; ++column) {
        if (isSections(doc, column)) {
            // A section keeps the rows of its own that are left, from where they now start.
            const auto& was = state.sections;
            std::vector<DocSection> kept;
            for (size_t i = 0; i < was.size(); ++i) {
                DocSection section = was[i];
                const int until = i + 1 < was.size() ? was[i + 1].row : state.endRow;
                if (section.row >= end) {
                    section.row -= count;
                } else if (section.row >= row) {
                    if (until <= end) continue;  // every row of it goes
                    if (section.row != row) {
                        if (row % kRowsPerBar != 0) {
                            message =
                                "put the cursor on a bar line to take out rows across a "
                                "section line";
                            return false;
                        }
                        section.row = row;
                    }
                }
                kept.push_back(section);
            }
            removed.sections = kept;
            if (removed.endRow >= end) {
                removed.endRow -= count;
            } else if (removed.endRow > row) {
                removed.endRow = row;
            }
            continue;
        }
        std::vector<DocKey> kept;
        for (DocKey key : removed.tracks[doc.columns[column]]) {
            if (key.row >= end) {
                key.row -= count;
            } else if (key.row >= row) {
                continue;
            }
            kept.push_back(key);
        }
        removed.tracks[doc.columns[column]] = kept;
    }
    state = removed;
    return true;
}
