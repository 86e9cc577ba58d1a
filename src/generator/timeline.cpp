#include "generator/timeline.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "render/screen.h"

namespace assetgen {

namespace {

// What the scenes can take: ring builders hold at most 128 segments, the greeting table has
// six entries, the plasma band is at most one screen wide, the compofiller picture starts
// at most one screen height down.
struct Limit {
    const char* track;
    double lo, hi;
};
constexpr Limit kLimits[] = {{"ringdiv", 0.0, 128.0},    {"greet", 0.0, 6.0}, {"al", 0.0, 1.0},
                             {"wfac", 0.0, 1.0},         {"cred1", 0.0, 1.0}, {"cred2", 0.0, 1.0},
                             {"cfy", 0.0, kScreenHeight}};

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

bool parseInterpolation(const std::string& word, int8_t& type) {
    static const std::map<std::string, int8_t> names = {
        {"step", kStep}, {"linear", kLinear}, {"smooth", kSmooth}, {"quadratic", kQuadratic}};
    const auto found = names.find(word);
    if (found == names.end()) return false;
    type = found->second;
    return true;
}

bool parseNumber(const std::string& word, double& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

bool parseInt(const std::string& word, int& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    const long parsed = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || parsed < -1000000 || parsed > 1000000) return false;
    value = static_cast<int>(parsed);
    return true;
}

int trackIndex(const std::string& name) {
    for (int i = 0; i < kTrackCount; ++i) {
        if (name == kTracks[i].name) return i;
    }
    return -1;
}

class Parser {
public:
    Parser(const std::string& fileName, Timeline& timeline)
        : fileName_(fileName), timeline_(timeline) {}

    bool run(const std::string& text, std::string& message) {
        timeline_ = Timeline{};
        timeline_.tracks.resize(kTrackCount);
        for (int i = 0; i < kTrackCount; ++i) timeline_.tracks[i].name = kTracks[i].name;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            ++lineNumber_;
            const size_t hash = line.find('#');
            if (hash != std::string::npos) line.resize(hash);
            const auto words = splitWords(line);
            if (words.empty()) continue;
            if (!statement(words, line)) {
                message = fileName_ + ":" + std::to_string(lineNumber_) + ": " + error_;
                return false;
            }
        }
        lineNumber_ = 0;
        if (!finish()) {
            message = fileName_ + ": " + error_;
            return false;
        }
        return true;
    }

private:
    bool fail(const std::string& error) {
        error_ = error;
        return false;
    }

    bool position(const std::string& word, int& row) {
        std::string why;
        if (!parsePosition(word, row, why)) return fail("bad position '" + word + "': " + why);
        return true;
    }

    // A period or an offset: a number of rows.
    bool length(const std::string& word, int& rows) {
        if (!parseInt(word, rows) || rows < 0) {
            return fail("bad length '" + word + "': a number of rows (8 a beat, 32 a bar)");
        }
        return true;
    }

    bool statement(const std::vector<std::string>& words, const std::string& line) {
        const std::string& head = words[0];
        if (head == "end") {
            if (words.size() != 2) return fail("expected: end <pos>");
            timeline_.endLine = lineNumber_;
            return position(words[1], timeline_.endRow);
        }
        if (head == "section") return section(words);
        if (head == "track") {
            if (words.size() != 2) return fail("expected: track <name>");
            const int index = trackIndex(words[1]);
            if (index < 0) return fail("unknown track '" + words[1] + "'");
            if (words[1] == "scene") return fail("the scene track is made from the sections");
            if (seen_[index]) return fail("track '" + words[1] + "' given twice");
            seen_[index] = true;
            current_ = index;
            timeline_.tracks[index].line = lineNumber_;
            return true;
        }
        if (head == "every") return every(line);
        return key(words);
    }

    bool section(const std::vector<std::string>& words) {
        if (words.size() != 4) return fail("expected: section <pos> <scene> <part>");
        Section section;
        if (!position(words[1], section.row)) return false;
        if (section.row % kRowsPerBar != 0) return fail("a section must start on a bar line");
        if (!parseInt(words[2], section.scene)) return fail("bad scene '" + words[2] + "'");
        section.part = words[3];
        section.line = lineNumber_;
        if (!timeline_.sections.empty() && section.row <= timeline_.sections.back().row) {
            return fail("sections must be in ascending order");
        }
        if (timeline_.sections.empty() && section.row != 0) {
            return fail("the first section must start at row 0");
        }
        timeline_.sections.push_back(section);
        return true;
    }

    bool addKey(int row, double value, int8_t type) {
        if (current_ < 0) return fail("key outside a track");
        if (row < 0) return fail("negative row");
        if (std::fabs(value) > 1e6) return fail("value out of range");
        auto& keys = timeline_.tracks[current_].keys;
        if (!keys.empty() && row <= keys.back().row) {
            return fail("key at row " + std::to_string(row) + " not after row " +
                        std::to_string(keys.back().row));
        }
        keys.push_back(TrackKey{row, static_cast<float>(value), type});
        timeline_.tracks[current_].keyLines.push_back(lineNumber_);
        return true;
    }

    bool key(const std::vector<std::string>& words) {
        if (words.size() < 2 || words.size() > 3) {
            return fail("expected: <pos> <value> [interpolation], got '" + words[0] + "'");
        }
        int row;
        double value;
        int8_t type = kStep;
        if (!position(words[0], row)) return false;
        if (!parseNumber(words[1], value)) return fail("bad value '" + words[1] + "'");
        if (words.size() == 3 && !parseInterpolation(words[2], type)) {
            return fail("unknown interpolation '" + words[2] + "'");
        }
        return addKey(row, value, type);
    }

    // every <period> from <pos> to <pos> : <offset> <value> [<interp>] [; ...]
    bool every(const std::string& line) {
        const size_t colon = line.find(" : ");
        if (colon == std::string::npos) return fail("expected ' : ' in every");
        const auto head = splitWords(line.substr(0, colon));
        if (head.size() != 6 || head[2] != "from" || head[4] != "to") {
            return fail("expected: every <period> from <pos> to <pos> : <keys>");
        }
        int period, from, to;
        if (!length(head[1], period) || !position(head[3], from) || !position(head[5], to)) {
            return false;
        }
        if (period <= 0) return fail("the period must be positive");
        struct Pattern {
            int offset;
            double value;
            int8_t type;
        };
        std::vector<Pattern> pattern;
        std::istringstream groups(line.substr(colon + 3));
        std::string group;
        while (std::getline(groups, group, ';')) {
            const auto words = splitWords(group);
            Pattern entry{};
            entry.type = kStep;
            if (words.size() < 2 || words.size() > 3 || !length(words[0], entry.offset) ||
                !parseNumber(words[1], entry.value) ||
                (words.size() == 3 && !parseInterpolation(words[2], entry.type))) {
                return fail("expected: <offset> <value> [interpolation] in '" + group + "'");
            }
            if (!pattern.empty() && entry.offset <= pattern.back().offset) {
                return fail("offsets must be ascending");
            }
            pattern.push_back(entry);
        }
        if (pattern.empty() || pattern.back().offset >= period) {
            return fail("offsets must lie within the period");
        }
        for (int start = from; start < to; start += period) {
            for (const auto& entry : pattern) {
                if (start + entry.offset >= to) break;
                if (!addKey(start + entry.offset, entry.value, entry.type)) return false;
            }
        }
        return true;
    }

    bool finish() {
        if (timeline_.endRow <= 0) return fail("missing 'end <pos>'");
        if (timeline_.sections.empty()) return fail("no sections");
        for (int i = 0; i < kTrackCount; ++i) {
            if (std::string(kTracks[i].name) == "scene") continue;
            if (!seen_[i]) return fail(std::string("track '") + kTracks[i].name + "' missing");
            if (timeline_.tracks[i].keys.empty()) {
                return fail(std::string("track '") + kTracks[i].name + "' has no keys");
            }
        }
        for (const auto& limit : kLimits) {
            for (const auto& key : timeline_.tracks[trackIndex(limit.track)].keys) {
                if (key.value < limit.lo || key.value > limit.hi) {
                    std::ostringstream reason;
                    reason << "track '" << limit.track << "' at row " << key.row << ": "
                           << key.value << " outside " << limit.lo << ".." << limit.hi;
                    return fail(reason.str());
                }
            }
        }
        auto& scene = timeline_.tracks[trackIndex("scene")].keys;
        for (const auto& section : timeline_.sections) {
            if (section.row >= timeline_.endRow) return fail("a section starts after the end");
            if (scene.empty() || scene.back().value != static_cast<float>(section.scene)) {
                scene.push_back(TrackKey{section.row, static_cast<float>(section.scene), kStep});
            }
        }
        return true;
    }

    const std::string& fileName_;
    Timeline& timeline_;
    int lineNumber_ = 0;
    int current_ = -1;
    bool seen_[kTrackCount] = {};
    std::string error_;
};

void putInt32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool parsePosition(const std::string& token, int& row, std::string& why) {
    if (token.find(':') != std::string::npos) return parseBarBeat(token, row, why);
    if (!parseInt(token, row) || row < 0) {
        why = "neither a row nor BAR:BEAT";
        return false;
    }
    return true;
}

bool parseTimeline(const std::string& text, const std::string& fileName, Timeline& timeline,
                   std::string& message) {
    Parser parser(fileName, timeline);
    return parser.run(text, message);
}

Bytes encodeTrack(const Track& track) {
    Bytes out;
    putInt32(out, static_cast<uint32_t>(track.keys.size()));
    for (const auto& key : track.keys) {
        putInt32(out, static_cast<uint32_t>(key.row));
        uint32_t bits;
        static_assert(sizeof bits == sizeof key.value);
        std::memcpy(&bits, &key.value, sizeof bits);
        putInt32(out, bits);
        out.push_back(static_cast<uint8_t>(key.type));
    }
    return out;
}

const Track* findTrack(const Timeline& timeline, const std::string& name) {
    for (const auto& track : timeline.tracks) {
        if (track.name == name) return &track;
    }
    return nullptr;
}

}  // namespace assetgen
