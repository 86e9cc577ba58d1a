// The track editor without a window: the timeline document written back byte for byte, the
// grid's edits with the track values they make, and its keys, undo and redo.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "edit/live_show.h"
#include "edit/music_loudness.h"
#include "edit/timeline_document.h"
#include "edit/timeline_edits.h"
#include "edit/track_grid.h"
#include "edit/transport.h"
#include "runtime/sync.h"

namespace {

using namespace GridKeys;

const std::string kAssetsDir = DEMO_ASSETS_DIR;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One key at row 0 for every track not named in `except`.
std::string otherTracks(const std::vector<std::string>& except) {
    std::string text;
    for (const TrackBinding& binding : kTracks) {
        const std::string name = binding.name;
        if (name == "scene" || std::find(except.begin(), except.end(), name) != except.end())
            continue;
        text += "track " + name + "\n0 0\n";
    }
    return text;
}

// Comments between keys, rows and BAR:BEAT mixed, a repeat, a track with one key.
const std::string kOdd =
    "# a timeline with odd corners\n"
    "end 5:1\n"
    "\n"
    "section 1:1  8  intro   # first\n"
    "section 3:1  2  rise\n"
    "\n"
    "track free               # the flight\n"
    "1:1     0\n"
    "# the drop\n"
    "2:1     1     smooth\n"
    "3:1.5   4\n"
    "100     2     linear     # rows here\n"
    "\n"
    "track ringdistance\n"
    "every 8 from 2:1 to 3:1 : 0 1.0 linear ; 4 0.5   # pulses\n"
    "4:1     0.2\n"
    "track cityscale\n"
    "1:1     1\n" +
    otherTracks({"free", "ringdistance", "cityscale"});

TimelineDocument document(const std::string& text) {
    TimelineDocument doc;
    std::string message;
    EXPECT_TRUE(readDocument(text, "t.txt", doc, message)) << message;
    return doc;
}

int columnOf(const TimelineDocument& doc, const char* track) {
    for (size_t c = 0; c < doc.columns.size(); ++c) {
        if (doc.columns[c] == trackIndex(track)) return static_cast<int>(c);
    }
    return -1;
}

// The text after `state` is written into `doc`, read back: it must hold exactly `state`.
std::string written(const TimelineDocument& doc, const TimelineState& state) {
    const std::string text = joinLines(writeState(doc, state));
    TimelineDocument back;
    std::string message;
    EXPECT_TRUE(readDocument(text, "t.txt", back, message)) << message << "\n" << text;
    for (int t = 0; t < kTrackCount; ++t) {
        EXPECT_EQ(back.state.tracks[t].size(), state.tracks[t].size()) << kTracks[t].name;
        for (size_t k = 0; k < std::min(back.state.tracks[t].size(), state.tracks[t].size()); ++k) {
            EXPECT_EQ(back.state.tracks[t][k].row, state.tracks[t][k].row) << kTracks[t].name;
            EXPECT_EQ(back.state.tracks[t][k].value, state.tracks[t][k].value) << kTracks[t].name;
            EXPECT_EQ(back.state.tracks[t][k].type, state.tracks[t][k].type) << kTracks[t].name;
        }
    }
    return text;
}

// The value the show's track reader gives at `row` for a timeline text.
double valueAt(const std::string& text, const char* track, double row) {
    TimelineBuild build;
    std::string message;
    EXPECT_TRUE(buildTimeline(text, "t.txt", build, message)) << message;
    const double value = trackValue(&build.tracks[trackIndex(track)], row);
    releaseTimeline(build);
    return value;
}

// `text` with the line holding `from` replaced by `to` (lines without their endings).
std::string withLine(const std::string& text, const std::string& from, const std::string& to) {
    std::string out = text;
    const size_t at = out.find(from + "\n");
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) out.replace(at, from.size(), to);
    return out;
}

std::string withoutLine(const std::string& text, const std::string& line) {
    std::string out = text;
    const size_t at = out.find(line + "\n");
    EXPECT_NE(at, std::string::npos) << line;
    if (at != std::string::npos) out.erase(at, line.size() + 1);
    return out;
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

TEST(TimelineDocument, UnchangedIsWrittenByteForByte) {
    const std::string repository = readText(kAssetsDir + "/timeline.txt");
    std::string tabs = kOdd;
    tabs.replace(tabs.find("3:1.5   4"), 9, "3:1.5\t4\t\t# tabbed");
    const std::string noFinalNewline = kOdd.substr(0, kOdd.size() - 1);
    for (const std::string& text : {repository, kOdd, crlf(kOdd), tabs, noFinalNewline}) {
        const TimelineDocument doc = document(text);
        EXPECT_EQ(joinLines(doc.lines), text);
        EXPECT_EQ(joinLines(writeState(doc, doc.state)), text);
    }

    // The grid's columns: sections first, then the tracks in the file's order.
    const TimelineDocument doc = document(repository);
    ASSERT_EQ(doc.columns.size(), 18u);
    EXPECT_EQ(doc.columns[0], kSectionColumn);
    EXPECT_EQ(doc.columns[1], trackIndex("cfy"));
    EXPECT_EQ(doc.columns[17], trackIndex("pscale"));
    // The keys with their sources: a written key, and one of an `every` line.
    const DocKey& first = doc.state.tracks[trackIndex("cfy")][0];
    EXPECT_EQ(first.row, 0);
    EXPECT_EQ(first.text, "480");
    EXPECT_EQ(first.type, assetgen::kSmooth);
    EXPECT_EQ(doc.lines[first.line], "1:1     480   smooth\n");
    const DocKey& repeated = doc.state.tracks[trackIndex("ringthickness")][4];
    EXPECT_EQ(repeated.row, 195);
    EXPECT_EQ(repeated.text, "0.6");
    EXPECT_EQ(repeated.repeat, 1);
    EXPECT_EQ(doc.lines[repeated.line].rfind("every 8 from 7:1", 0), 0u);
}

TEST(TimelineDocument, ChangedKeysKeepTheirLinesNewOnesFollowTheKeyBefore) {
    const TimelineDocument doc = document(kOdd);
    const int free = columnOf(doc, "free");
    std::string message;

    // A changed key: its position as written, its columns, its comment.
    TimelineState state = doc.state;
    ASSERT_TRUE(setKey(doc, state, free, 100, "-0.5", message)) << message;
    std::string text = written(doc, state);
    EXPECT_EQ(text, withLine(kOdd, "100     2     linear     # rows here",
                             "100     -0.5  linear     # rows here"));
    EXPECT_EQ(valueAt(text, "free", 100), -0.5);

    // New keys on a beat and off it, after the key before them (and so before the comment
    // that belongs to the next), with that key's interpolation.
    state = doc.state;
    ASSERT_TRUE(setKey(doc, state, free, 16, "0.25", message));  // 1:3, after a step key
    ASSERT_TRUE(setKey(doc, state, free, 41, "7", message));     // after the smooth 2:1
    text = written(doc, state);
    EXPECT_EQ(text, withLine(withLine(kOdd, "1:1     0", "1:1     0\n1:3     0.25"),
                             "2:1     1     smooth", "2:1     1     smooth\n41      7     smooth"));
    EXPECT_EQ(valueAt(text, "free", 20), 0.25);
    // Smooth from 1 at row 32 to 7 at row 41: halfway, (3 - 2t) t^2 = 0.5.
    EXPECT_NEAR(valueAt(text, "free", 36.5), 4.0, 1e-5);

    // A deleted key takes its line, and only its line, with it.
    state = doc.state;
    ASSERT_TRUE(deleteKeys(doc, state, {free, free, 68, 68}, message));
    EXPECT_EQ(written(doc, state), withoutLine(kOdd, "3:1.5   4"));

    // A key moved keeps its position's format; moved back, the same bytes.
    state = doc.state;
    ASSERT_TRUE(moveKeys(doc, state, {free, free, 32, 32}, 1, message));
    const TimelineDocument moved = document(written(doc, state));
    EXPECT_EQ(joinLines(moved.lines),
              withLine(kOdd, "2:1     1     smooth", "2:1.125 1     smooth"));
    state = moved.state;
    ASSERT_TRUE(moveKeys(moved, state, {free, free, 33, 33}, -1, message));
    EXPECT_EQ(written(moved, state), kOdd);

    // The interpolation word comes and goes; step is left unsaid where it was.
    state = doc.state;
    ASSERT_TRUE(cycleInterpolation(doc, state, {free, free, 0, 0}, message));
    text = written(doc, state);
    EXPECT_EQ(text, withLine(kOdd, "1:1     0", "1:1     0     linear"));
    EXPECT_EQ(valueAt(text, "free", 16), 0.5);
}

TEST(TimelineDocument, RepeatsStayUntilOneOfTheirKeysChanges) {
    const TimelineDocument doc = document(kOdd);
    const int ring = columnOf(doc, "ringdistance");
    std::string message;

    // All its keys a row later: the line's from and to move.
    TimelineState state = doc.state;
    ASSERT_TRUE(insertRows(doc, state, ring, ring, 0, 1, message));
    EXPECT_EQ(written(doc, state),
              withLine(withLine(kOdd, "every 8 from 2:1 to 3:1 : 0 1.0 linear ; 4 0.5   # pulses",
                                "every 8 from 2:1.125 to 3:1.125 : 0 1.0 linear ; 4 0.5 # pulses"),
                       "4:1     0.2", "4:1.125 0.2"));

    // One of its keys changed: written out as key lines in its place, the comment on the first.
    state = doc.state;
    ASSERT_TRUE(setKey(doc, state, ring, 44, "0.7", message));
    const std::string text = written(doc, state);
    EXPECT_EQ(text, withLine(kOdd, "every 8 from 2:1 to 3:1 : 0 1.0 linear ; 4 0.5   # pulses",
                             "2:1     1.0   linear                             # pulses\n"
                             "2:1.5   0.5\n"
                             "2:2     1.0   linear\n"
                             "2:2.5   0.7\n"
                             "2:3     1.0   linear\n"
                             "2:3.5   0.5\n"
                             "2:4     1.0   linear\n"
                             "2:4.5   0.5"));
    EXPECT_EQ(valueAt(text, "ringdistance", 44), 0.7f);
    EXPECT_EQ(valueAt(text, "ringdistance", 36), 0.5f);

    // A new key among its keys writes it out too; one after them leaves it.
    state = doc.state;
    ASSERT_TRUE(setKey(doc, state, ring, 80, "3", message));
    EXPECT_EQ(written(doc, state), withLine(kOdd, "4:1     0.2", "3:3     3\n4:1     0.2"));
    state = doc.state;
    ASSERT_TRUE(setKey(doc, state, ring, 50, "3", message));
    EXPECT_EQ(written(doc, state).find("every"), std::string::npos);
}

TEST(TimelineDocument, RowsInAndOutAcrossSectionsMoveTheSceneChangeAndTheEnd) {
    const TimelineDocument doc = document(kOdd);
    const int last = static_cast<int>(doc.columns.size()) - 1;
    std::string message;
    ASSERT_EQ(rowStep(doc, 0, last), 32);
    ASSERT_EQ(rowStep(doc, 1, last), 1);

    // A bar at 2:4 (row 56) in every column: the later section, keys and end a bar later.
    TimelineState state = doc.state;
    ASSERT_TRUE(insertRows(doc, state, 0, last, 56, 32, message));
    std::string text = written(doc, state);
    EXPECT_NE(text.find("end 6:1\n"), std::string::npos);
    EXPECT_NE(text.find("section 4:1  2  rise\n"), std::string::npos);
    EXPECT_NE(text.find("\n4:1.5   4\n132     2     linear     # rows here\n"), std::string::npos);
    EXPECT_EQ(valueAt(text, "scene", 95), 8.0);
    EXPECT_EQ(valueAt(text, "scene", 96), 2.0);
    EXPECT_EQ(valueAt(text, "free", 132), 2.0);

    // Taken out again from a bar line: the first part one bar shorter.
    const TimelineDocument longer = document(text);
    state = longer.state;
    ASSERT_TRUE(removeRows(longer, state, 0, last, 32, 32, message)) << message;
    text = written(longer, state);
    EXPECT_NE(text.find("end 5:1\n"), std::string::npos);
    EXPECT_NE(text.find("section 3:1  2  rise\n"), std::string::npos);
    // The keys of that bar went with it: 2:1's and the repeat's from 2:1 on.
    EXPECT_EQ(text.find("smooth"), std::string::npos);

    // Across a section line off a bar line: refused, nothing changed.
    state = doc.state;
    EXPECT_FALSE(removeRows(doc, state, 0, last, 40, 32, message));
    EXPECT_NE(message.find("bar line"), std::string::npos);
    EXPECT_EQ(written(doc, state), kOdd);

    // Section lines move by bars and go only on bar lines.
    state = doc.state;
    ASSERT_TRUE(moveKeys(doc, state, {0, 0, 64, 64}, 32, message));
    EXPECT_NE(written(doc, state).find("section 4:1  2  rise\n"), std::string::npos);
    state = doc.state;
    EXPECT_FALSE(setKey(doc, state, 0, 40, "3", message));
    EXPECT_NE(message.find("2:2 is not one"), std::string::npos) << message;
    ASSERT_TRUE(setKey(doc, state, 0, 32, "3", message));
    text = written(doc, state);
    EXPECT_NE(text.find("section 1:1  8  intro   # first\nsection 2:1  3  intro\n"),
              std::string::npos)
        << text;
}

TEST(TimelineDocument, CopyAndPasteABlock) {
    const TimelineDocument doc = document(kOdd);
    const int free = columnOf(doc, "free");
    const int ring = columnOf(doc, "ringdistance");
    ASSERT_EQ(ring, free + 1);
    std::string message;
    // Rows 0..36 of free and ringdistance: free's 1:1 and 2:1, the repeat's 2:1 and 2:1.5.
    const Clipboard clip = copyBlock(doc, doc.state, {free, ring, 0, 36});
    ASSERT_EQ(clip.rows, 37);
    ASSERT_EQ(clip.columns.size(), 2u);
    EXPECT_EQ(clip.columns[0].keys.size(), 2u);
    EXPECT_EQ(clip.columns[1].keys.size(), 2u);

    // Pasted at 3:1 (row 64): they replace what rows 64..100 held (free's 3:1.5 and row 100),
    // and the key put on ringdistance's 4:1 keeps that key's line.
    TimelineState state = doc.state;
    ASSERT_TRUE(pasteBlock(doc, state, clip, free, 64, message)) << message;
    const std::string text = written(doc, state);
    EXPECT_EQ(text, withLine(withLine(withoutLine(kOdd, "3:1.5   4"),
                                      "100     2     linear     # rows here",
                                      "3:1     0\n4:1     1     smooth"),
                             "4:1     0.2", "4:1     1.0   linear\n100     0.5"));
    EXPECT_EQ(valueAt(text, "free", 80), 0.0);
    EXPECT_EQ(valueAt(text, "free", 120), 1.0);
    EXPECT_NEAR(valueAt(text, "ringdistance", 98), 0.75, 1e-6);

    // Sections land on the section column only.
    const Clipboard sections = copyBlock(doc, doc.state, {0, 0, 0, 95});
    state = doc.state;
    EXPECT_FALSE(pasteBlock(doc, state, sections, free, 96, message));
    EXPECT_NE(message.find("do not fit"), std::string::npos);
}

TEST(TrackGrid, KeysEditUndoAndRedoBackToTheSameBytes) {
    const std::string original = readText(kAssetsDir + "/timeline.txt");
    TrackGrid grid;
    std::string message;
    ASSERT_TRUE(loadGridText(grid, original, "timeline.txt", message)) << message;
    const int last = 1479;
    const auto key = [&](PixelDisplay::KeyCode code, int row) {
        return gridKey(grid, code, row, last);
    };
    const auto typed = [&](const char* digits, int row) {
        for (const char* c = digits; *c; ++c) key(*c, row);
        key(PixelDisplay::kKeyEnter, row);
    };

    // The cursor starts on the section column; Right is the first track, cfy.
    EXPECT_EQ(grid.column, 0);
    EXPECT_FALSE(key(kRight, 37).seekRow >= 0);
    EXPECT_EQ(grid.doc.columns[grid.column], trackIndex("cfy"));
    typed("0.5", 37);
    EXPECT_TRUE(gridUnsaved(grid));
    // One line added after the key before it (2:1, step), at row 37 written as a row.
    EXPECT_EQ(grid.text, withLine(original, "2:1     22", "2:1     22\n37      0.5"));
    EXPECT_EQ(valueAt(grid.text, "cfy", 37), 0.5f);
    EXPECT_EQ(valueAt(grid.text, "cfy", 40), 0.5f);

    // Another key on a beat, deleted again, then its interpolation cycled and the block
    // copied down a bar: each a step of the history.
    typed("100", 48);  // 2:3
    EXPECT_NE(grid.text.find("\n2:3     100\n"), std::string::npos);
    key(kDelete, 48);
    EXPECT_EQ(grid.text.find("\n2:3     100\n"), std::string::npos);
    key('I', 37);
    EXPECT_NE(grid.text.find("\n37      0.5   linear\n"), std::string::npos);
    gridKeyChanged(grid, kShift, true);
    EXPECT_EQ(key(kDown, 37).seekRow, 38);
    key(kDown, 38);
    gridKeyChanged(grid, kShift, false);
    const GridBlock block = gridBlock(grid, 39);
    EXPECT_EQ(block.row0, 37);
    EXPECT_EQ(block.row1, 39);
    gridKeyChanged(grid, kControl, true);
    key('C', 39);
    gridKeyChanged(grid, kControl, false);
    key(kPageDown, 39);  // a plain move ends the selection
    EXPECT_FALSE(grid.selecting);
    gridKeyChanged(grid, kControl, true);
    key('V', 71);
    EXPECT_NE(grid.text.find("\n71      0.5   linear\n"), std::string::npos);
    EXPECT_EQ(valueAt(grid.text, "cfy", 71), 0.5);
    // Moved a row later with Ctrl+Down; the cursor goes along.
    EXPECT_EQ(key(kDown, 71).seekRow, 72);
    EXPECT_NE(grid.text.find("\n72      0.5   linear\n"), std::string::npos);
    const size_t steps = grid.done;
    EXPECT_EQ(steps, 6u);

    // A value the build refuses (the title picture sits at most 480 rows down): said, and
    // nothing changes.
    gridKeyChanged(grid, kControl, false);
    const std::string before = grid.text;
    typed("999", 100);
    EXPECT_TRUE(grid.statusIsError);
    EXPECT_NE(grid.status.find("outside 0..480"), std::string::npos) << grid.status;
    EXPECT_EQ(grid.text, before);
    EXPECT_EQ(grid.done, steps);
    grid.typed.clear();

    // Undone to the start: the same bytes, nothing unsaved; redone to the end again.
    gridKeyChanged(grid, kControl, true);
    int row = 72;
    for (size_t i = 0; i < steps; ++i) {
        const GridKeyResult result = key('Z', row);
        if (result.seekRow >= 0) row = result.seekRow;
    }
    EXPECT_EQ(row, 37);
    EXPECT_EQ(grid.text, original);
    EXPECT_FALSE(gridUnsaved(grid));
    for (size_t i = 0; i < steps; ++i) key('Y', row);
    EXPECT_EQ(grid.text, before);
    // A new change after an undo drops what could have been redone.
    key('Z', row);
    gridKeyChanged(grid, kControl, false);
    typed("1", 200);
    EXPECT_EQ(grid.done, grid.history.size());
    gridKeyChanged(grid, kControl, true);
    EXPECT_FALSE(key('Y', 200).seekRow >= 0);
    EXPECT_EQ(grid.status, "nothing to redo");
}

// Loudness per row, relative to the loudest row: a square wave's root mean square is its
// amplitude, so a row at a quarter of the loudest one's amplitude lies 12 dB down (half of the
// 24 dB range); silence and anything 24 dB or more down are 0; a part row counts no row.
TEST(MusicLoudness, RowsInDecibelsBelowTheLoudest) {
    const int amplitudes[4] = {16000, 4000, 0, 160};  // 0, -12, silent, -40 dB
    const size_t frames = bytesAtRow(4) / 4 + 100;    // 4 rows and part of a fifth
    std::vector<int16_t> samples(frames * 2);
    for (size_t frame = 0; frame < frames; ++frame) {
        int row = 0;
        while (row < 3 && bytesAtRow(row + 1) / 4 <= frame) ++row;
        const int16_t value = static_cast<int16_t>(frame % 2 ? amplitudes[row] : -amplitudes[row]);
        samples[2 * frame] = samples[2 * frame + 1] = value;
    }
    const std::vector<float> loudness = rowLoudness(samples.data(), samples.size());
    ASSERT_EQ(loudness.size(), 4u);
    EXPECT_FLOAT_EQ(loudness[0], 1.0f);
    EXPECT_NEAR(loudness[1], 1.0 - 20.0 * std::log10(4.0) / kRangeDecibels, 1e-5);
    EXPECT_EQ(loudness[2], 0.0f);
    EXPECT_EQ(loudness[3], 0.0f);
    // All silent: nothing to measure against, every row 0.
    const std::vector<int16_t> silence(frames * 2, 0);
    for (float value : rowLoudness(silence.data(), silence.size())) EXPECT_EQ(value, 0.0f);
    EXPECT_TRUE(rowLoudness(nullptr, 0).empty());
}

}  // namespace
