#include "edit/timeline_document.h"

#include <algorithm>
#include <map>

#include "runtime/bar_beat.h"

namespace {

const char* const kTypeNames[] = {"step", "linear", "smooth", "quadratic"};

// The whitespace the generator's reader (an istringstream) splits words at.
bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Word {
    size_t begin, end;
};

// A line cut into its ending, its body, the statement's words (before any '#') and where the
// comment starts (npos: none).
struct LineParts {
    std::string body;
    std::string ending;
    std::vector<Word> words;
    size_t comment = std::string::npos;

    std::string word(size_t i) const {
        return body.substr(words[i].begin, words[i].end - words[i].begin);
    }
    int column(size_t i) const { return static_cast<int>(words[i].begin); }
};

LineParts partsOf(const std::string& line) {
    LineParts parts;
    size_t bodyEnd = line.size();
    if (bodyEnd >= 2 && line.compare(bodyEnd - 2, 2, "\r\n") == 0) {
        bodyEnd -= 2;
    } else if (bodyEnd >= 1 && line[bodyEnd - 1] == '\n') {
        bodyEnd -= 1;
    }
    parts.body = line.substr(0, bodyEnd);
    parts.ending = line.substr(bodyEnd);
    parts.comment = parts.body.find('#');
    const size_t statementEnd = std::min(parts.comment, parts.body.size());
    for (size_t at = 0; at < statementEnd;) {
        while (at < statementEnd && blank(parts.body[at])) ++at;
        if (at == statementEnd) break;
        const size_t begin = at;
        while (at < statementEnd && !blank(parts.body[at])) ++at;
        parts.words.push_back({begin, at});
    }
    return parts;
}

bool holdsTab(const std::string& text) {
    return text.find('\t') != std::string::npos;
}

// Spaces up to `column`, one at least.
void padTo(std::string& out, int column) {
    out += ' ';
    while (static_cast<int>(out.size()) < column) out += ' ';
}

// The line's body with its words replaced by `fields` (as many, or fewer or more at the end):
// each field at its word's column where the text before leaves room, a separator holding a tab
// kept as it was, a field beyond the line's words at `addColumns[k]`, the comment at its
// column likewise.
std::string rewriteBody(const LineParts& parts, const std::vector<std::string>& fields,
                        const std::vector<int>& addColumns) {
    const std::string& body = parts.body;
    const auto& words = parts.words;
    std::string out = body.substr(0, words[0].begin);
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) {
            if (k < words.size()) {
                const std::string separator =
                    body.substr(words[k - 1].end, words[k].begin - words[k - 1].end);
                if (holdsTab(separator)) {
                    out += separator;
                } else {
                    padTo(out, parts.column(k));
                }
            } else {
                padTo(out, k < addColumns.size() ? addColumns[k] : 0);
            }
        }
        out += fields[k];
    }
    const size_t lastEnd = words.back().end;
    if (parts.comment == std::string::npos) {
        out += body.substr(lastEnd);
    } else {
        const std::string gap = body.substr(lastEnd, parts.comment - lastEnd);
        if (holdsTab(gap)) {
            out += gap;
        } else {
            padTo(out, static_cast<int>(parts.comment));
        }
        out += body.substr(parts.comment);
    }
    return out;
}

bool isBarBeat(const std::string& token) {
    return token.find(':') != std::string::npos;
}

// The columns a key line's value and interpolation word start at.
struct KeyLayout {
    int indent = 0;
    int value = 8;
    int type = 14;
};

// The `every` line's groups as the generator reads them: the text after " : ", cut at ';'.
std::vector<LineParts> everyGroups(const LineParts& parts) {
    std::vector<LineParts> groups;
    const std::string statement = parts.body.substr(0, std::min(parts.comment, parts.body.size()));
    const size_t colon = statement.find(" : ");
    if (colon == std::string::npos) return groups;
    std::string rest = statement.substr(colon + 3);
    // As std::getline reads them: no empty group after a last ';'.
    size_t at = 0;
    while (at < rest.size()) {
        const size_t semicolon = std::min(rest.find(';', at), rest.size());
        groups.push_back(partsOf(rest.substr(at, semicolon - at)));
        at = semicolon + 1;
    }
    return groups;
}

bool sameKey(const DocKey& a, const DocKey& b) {
    return a.row == b.row && a.text == b.text && a.type == b.type;
}

std::string keyLineBody(const KeyLayout& layout, const DocKey& key, bool barBeat) {
    std::string out(static_cast<size_t>(layout.indent), ' ');
    out += positionText(key.row, barBeat);
    padTo(out, layout.value);
    out += key.text;
    if (key.type != assetgen::kStep || key.typeWritten) {
        padTo(out, layout.type);
        out += kTypeNames[key.type];
    }
    return out;
}

// The ending new lines get: the first line's that has one.
std::string firstEnding(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const LineParts parts = partsOf(line);
        if (!parts.ending.empty()) return parts.ending;
    }
    return std::string(1, '\n');
}

class StateWriter {
public:
    StateWriter(const TimelineDocument& doc, const TimelineState& state)
        : doc_(doc), state_(state), out_(doc.lines.size()), ending_(firstEnding(doc.lines)) {
        for (size_t i = 0; i < doc.lines.size(); ++i) out_[i].push_back({doc.lines[i], -1});
    }

    std::vector<std::string> run() {
        for (int t = 0; t < kTrackCount; ++t) {
            if (doc_.trackLine[t] >= 0) writeTrack(t);
        }
        writeSections();
        if (state_.endRow != doc_.state.endRow && doc_.endLine >= 0) {
            const LineParts parts = partsOf(doc_.lines[doc_.endLine]);
            out_[doc_.endLine][0].text =
                rewriteBody(parts,
                            {parts.word(0), positionText(state_.endRow, isBarBeat(parts.word(1)))},
                            {}) +
                parts.ending;
        }
        std::vector<std::string> lines;
        for (const auto& entries : out_) {
            for (const Entry& entry : entries) lines.push_back(entry.text);
        }
        // Every line but the last ends; the last ends as the file's last line did.
        const bool endedWithout = !doc_.lines.empty() && partsOf(doc_.lines.back()).ending.empty();
        for (size_t i = 0; i < lines.size(); ++i) {
            const LineParts parts = partsOf(lines[i]);
            if (i + 1 < lines.size() && parts.ending.empty()) lines[i] += ending_;
            if (i + 1 == lines.size() && endedWithout) lines[i] = parts.body;
        }
        return lines;
    }

private:
    // An output line and the row of the key it holds (-1: none), by which new keys find
    // their place.
    struct Entry {
        std::string text;
        int row;
    };

    // The columns most of the track's key lines use (of the file's when the track has none):
    // a long position pushing one line's value along does not set the others'.
    KeyLayout layoutOf(int t) const {
        for (int pass = 0; pass < 2; ++pass) {
            std::map<int, int> indents, values, types;
            for (int other = 0; other < kTrackCount; ++other) {
                if (pass == 0 && other != t) continue;
                for (const DocKey& key : doc_.state.tracks[other]) {
                    if (key.repeat >= 0) continue;
                    const LineParts parts = partsOf(doc_.lines[key.line]);
                    ++indents[parts.column(0)];
                    ++values[parts.column(1)];
                    if (parts.words.size() > 2) ++types[parts.column(2)];
                }
            }
            if (values.empty()) continue;
            const auto mode = [](const std::map<int, int>& counts) {
                return std::max_element(counts.begin(), counts.end(),
                                        [](auto& a, auto& b) { return a.second < b.second; })
                    ->first;
            };
            KeyLayout layout;
            layout.indent = mode(indents);
            layout.value = mode(values);
            layout.type = types.empty() ? layout.value + 6 : mode(types);
            return layout;
        }
        return KeyLayout{};
    }

    std::string keyLine(int t, const DocKey& key, bool barBeat) const {
        return keyLineBody(layoutOf(t), key, barBeat) + ending_;
    }

    void writeTrack(int t) {
        const auto& was = doc_.state.tracks[t];
        const auto& now = state_.tracks[t];
        std::map<int, std::vector<const DocKey*>> byLine;
        std::vector<const DocKey*> added;
        for (const DocKey& key : now) {
            if (key.line >= 0) {
                byLine[key.line].push_back(&key);
            } else {
                added.push_back(&key);
            }
        }
        std::vector<int> lines = {doc_.trackLine[t]};
        for (size_t i = 0; i < was.size();) {
            size_t j = i;
            while (j < was.size() && was[j].line == was[i].line) ++j;
            const int line = was[i].line;
            lines.push_back(line);
            const std::vector<const DocKey*>& kept = byLine[line];
            if (was[i].repeat < 0) {
                writeKeyLine(t, was[i], kept);
            } else {
                writeEveryLine(t, std::vector<DocKey>(was.begin() + i, was.begin() + j), kept, now);
            }
            i = j;
        }
        std::sort(added.begin(), added.end(),
                  [](const DocKey* a, const DocKey* b) { return a->row < b->row; });
        for (const DocKey* key : added) {
            // After the last line holding a key of this track before it.
            int atLine = doc_.trackLine[t];
            size_t atEntry = 0;
            for (int line : lines) {
                for (size_t e = 0; e < out_[line].size(); ++e) {
                    if (out_[line][e].row >= 0 && out_[line][e].row < key->row) {
                        atLine = line;
                        atEntry = e;
                    }
                }
            }
            const bool barBeat = key->row % kRowsPerBeat == 0;
            out_[atLine].insert(out_[atLine].begin() + atEntry + 1,
                                Entry{keyLine(t, *key, barBeat), key->row});
        }
    }

    void writeKeyLine(int t, const DocKey& was, const std::vector<const DocKey*>& kept) {
        std::vector<Entry>& out = out_[was.line];
        if (kept.empty()) {
            out.clear();
            return;
        }
        const DocKey& now = *kept.front();
        out[0].row = now.row;
        if (sameKey(was, now)) return;
        const LineParts parts = partsOf(doc_.lines[was.line]);
        std::vector<std::string> fields = {
            now.row == was.row ? parts.word(0) : positionText(now.row, isBarBeat(parts.word(0))),
            now.text};
        const bool hadWord = parts.words.size() > 2;
        if (hadWord && now.type == was.type) {
            fields.push_back(parts.word(2));
        } else if (hadWord || now.type != assetgen::kStep) {
            fields.push_back(kTypeNames[now.type]);
        }
        const KeyLayout layout = layoutOf(t);
        out[0].text = rewriteBody(parts, fields, {0, layout.value, layout.type}) + parts.ending;
    }

    void writeEveryLine(int t, const std::vector<DocKey>& was,
                        const std::vector<const DocKey*>& kept, const std::vector<DocKey>& now) {
        const int line = was.front().line;
        std::vector<Entry>& out = out_[line];
        const LineParts parts = partsOf(doc_.lines[line]);
        // Kept whole when every key is there, unchanged but for one shift of rows, and no
        // other key of the track falls among them.
        bool whole = kept.size() == was.size();
        const int shift = whole ? kept.front()->row - was.front().row : 0;
        for (size_t i = 0; whole && i < was.size(); ++i) {
            const DocKey& a = was[i];
            const DocKey& b = *kept[i];
            whole = b.repeat == a.repeat && b.row == a.row + shift && b.text == a.text &&
                    b.type == a.type;
        }
        if (whole) {
            const int first = kept.front()->row, last = kept.back()->row;
            for (const DocKey& other : now) {
                if (other.line != line && other.row >= first && other.row <= last) whole = false;
            }
        }
        int from = 0, to = 0;
        std::string why;
        if (whole && shift != 0) {
            whole = parts.words.size() >= 6 && assetgen::parsePosition(parts.word(3), from, why) &&
                    assetgen::parsePosition(parts.word(5), to, why) && from + shift >= 0;
        }
        if (whole) {
            out[0].row = kept.back()->row;
            if (shift == 0) return;
            std::vector<std::string> fields;
            for (size_t i = 0; i < parts.words.size(); ++i) fields.push_back(parts.word(i));
            fields[3] = positionText(from + shift, isBarBeat(fields[3]));
            fields[5] = positionText(to + shift, isBarBeat(fields[5]));
            out[0].text = rewriteBody(parts, fields, {}) + parts.ending;
            return;
        }
        // Written out: one key line per key it still makes, in its place.
        out.clear();
        const bool barBeat = parts.words.size() >= 4 && isBarBeat(parts.word(3));
        KeyLayout layout = layoutOf(t);
        layout.indent = parts.words.empty() ? 0 : parts.column(0);
        std::vector<const DocKey*> sorted = kept;
        std::sort(sorted.begin(), sorted.end(),
                  [](const DocKey* a, const DocKey* b) { return a->row < b->row; });
        for (size_t i = 0; i < sorted.size(); ++i) {
            std::string text = keyLineBody(layout, *sorted[i], barBeat);
            if (i == 0 && parts.comment != std::string::npos) {
                padTo(text, static_cast<int>(parts.comment));
                text += parts.body.substr(parts.comment);
            }
            out.push_back(
                {text + (i + 1 == sorted.size() ? parts.ending : ending_), sorted[i]->row});
        }
        if (sorted.empty() && parts.comment != std::string::npos) {
            // Nothing left of it but its comment.
            out.push_back({parts.body.substr(parts.comment) + parts.ending, -1});
        }
    }

    void writeSections() {
        const auto& was = doc_.state.sections;
        std::vector<const DocSection*> added;
        std::map<int, const DocSection*> byLine;
        for (const DocSection& section : state_.sections) {
            if (section.line >= 0) {
                byLine[section.line] = &section;
            } else {
                added.push_back(&section);
            }
        }
        std::vector<int> lines;
        for (const DocSection& section : was) {
            lines.push_back(section.line);
            std::vector<Entry>& out = out_[section.line];
            const auto found = byLine.find(section.line);
            if (found == byLine.end()) {
                out.clear();
                continue;
            }
            const DocSection& now = *found->second;
            out[0].row = now.row;
            if (now.row == section.row && now.scene == section.scene && now.part == section.part)
                continue;
            const LineParts parts = partsOf(doc_.lines[section.line]);
            const std::vector<std::string> fields = {
                parts.word(0),
                now.row == section.row ? parts.word(1)
                                       : positionText(now.row, isBarBeat(parts.word(1))),
                now.scene == section.scene ? parts.word(2) : std::to_string(now.scene), now.part};
            out[0].text = rewriteBody(parts, fields, {}) + parts.ending;
        }
        for (const DocSection* section : added) {
            int atLine = -1;
            size_t atEntry = 0;
            for (int line : lines) {
                for (size_t e = 0; e < out_[line].size(); ++e) {
                    if (out_[line][e].row >= 0 && out_[line][e].row < section->row) {
                        atLine = line;
                        atEntry = e + 1;
                    }
                }
            }
            int model = atLine;
            if (atLine < 0) {
                // Before the first section line (or after the end line when there is none).
                atLine = !lines.empty() ? lines.front() : std::max(doc_.endLine, 0);
                atEntry = lines.empty() ? out_[atLine].size() : 0;
                model = lines.empty() ? -1 : lines.front();
            }
            std::string text;
            const std::vector<std::string> fields = {"section", positionText(section->row, true),
                                                     std::to_string(section->scene), section->part};
            if (model >= 0) {
                LineParts parts = partsOf(doc_.lines[model]);
                parts.comment = std::string::npos;
                parts.body = parts.body.substr(0, parts.words.back().end);
                const bool barBeat = isBarBeat(parts.word(1));
                std::vector<std::string> own = fields;
                own[1] = positionText(section->row, barBeat);
                text = rewriteBody(parts, own, {});
            } else {
                text = "section " + fields[1] + " " + fields[2] + " " + fields[3];
            }
            out_[atLine].insert(out_[atLine].begin() + atEntry,
                                Entry{text + ending_, section->row});
        }
    }

    const TimelineDocument& doc_;
    const TimelineState& state_;
    std::vector<std::vector<Entry>> out_;
    std::string ending_;
};

}  // namespace

std::string positionText(int row, bool barBeat) {
    return barBeat ? std::string(formatBarBeat(row)) : std::to_string(row);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t newline = text.find('\n', at);
        const size_t end = newline == std::string::npos ? text.size() : newline + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

bool readDocument(const std::string& text, const std::string& fileName, TimelineDocument& doc,
                  std::string& message) {
    TimelineDocument read;
    read.fileName = fileName;
    if (!assetgen::parseTimeline(text, fileName, read.timeline, message)) return false;
    read.lines = splitLines(text);
    const assetgen::Timeline& timeline = read.timeline;
    std::vector<std::pair<int, int>> columnLines;  // (line, column)
    for (int t = 0; t < kTrackCount; ++t) {
        const assetgen::Track& track = timeline.tracks[t];
        read.trackLine[t] = track.line - 1;
        if (track.line <= 0) continue;  // `scene`: the sections make it
        columnLines.push_back({track.line - 1, t});
        std::vector<DocKey>& keys = read.state.tracks[t];
        for (size_t k = 0; k < track.keys.size();) {
            const int line = track.keyLines[k] - 1;
            const LineParts parts = partsOf(read.lines[line]);
            const bool every = parts.word(0) == "every";
            const std::vector<LineParts> groups =
                every ? everyGroups(parts) : std::vector<LineParts>{};
            for (int repeat = 0; k < track.keys.size() && track.keyLines[k] - 1 == line;
                 ++k, ++repeat) {
                DocKey key;
                key.row = track.keys[k].row;
                key.value = track.keys[k].value;
                key.type = track.keys[k].type;
                key.line = line;
                if (every) {
                    const LineParts& group = groups[repeat % groups.size()];
                    key.repeat = repeat;
                    key.text = group.word(1);
                    key.typeWritten = group.words.size() > 2;
                } else {
                    key.text = parts.word(1);
                    key.typeWritten = parts.words.size() > 2;
                }
                keys.push_back(key);
            }
        }
    }
    for (const assetgen::Section& section : timeline.sections) {
        read.state.sections.push_back({section.row, section.scene, section.part, section.line - 1});
    }
    if (!timeline.sections.empty())
        columnLines.push_back({timeline.sections.front().line - 1, kSectionColumn});
    std::sort(columnLines.begin(), columnLines.end());
    for (const auto& entry : columnLines) read.columns.push_back(entry.second);
    read.state.endRow = timeline.endRow;
    read.endLine = timeline.endLine - 1;
    doc = std::move(read);
    return true;
}

std::vector<std::string> writeState(const TimelineDocument& doc, const TimelineState& state) {
    return StateWriter(doc, state).run();
}
