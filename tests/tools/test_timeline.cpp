// The timeline compiler, and the show it made: read back with the demo's own track reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "generator/timeline.h"
#include "runtime/bar_beat.h"
#include "runtime/sync.h"
#include "scenes/scenes.h"

namespace {

using assetgen::parsePosition;
using assetgen::parseTimeline;
using assetgen::Timeline;

constexpr int kShowRows = 1480;
constexpr int kBar = 32;

// A minimal valid timeline body: every track but `scene` with one key.
std::string allTracks(const std::string& except = "") {
    std::string text;
    for (const TrackBinding& binding : kTracks) {
        const char* name = binding.name;
        if (std::string(name) == "scene" || name == except) continue;
        text += std::string("track ") + name + "\n0 0\n";
    }
    return text;
}

// Bars and beats count from 1; a position counted from 0 is refused with the one meant.
TEST(TimelineFormat, Positions) {
    int row = -1;
    std::string why;
    const struct {
        const char* text;
        int row;
    } good[] = {{"1:1", 0},      {"13:1.5", 388}, {"47:2", 1480}, {"1:1.125", 1},
                {"2:4.875", 63}, {"77", 77},      {"0", 0}};
    for (const auto& g : good) {
        EXPECT_TRUE(parsePosition(g.text, row, why)) << g.text << ": " << why;
        EXPECT_EQ(row, g.row) << g.text;
        if (std::strchr(g.text, ':')) {
            EXPECT_EQ(std::string(formatBarBeat(g.row)), g.text);
        }
    }
    for (const char* bad : {"1:5", "1:1.1", "-1", "1:-1", "a:1", "1:", ":1", "", "3x", "1:1:1",
                            "1:nan", "99999999:1"}) {
        EXPECT_FALSE(parsePosition(bad, row, why)) << bad;
    }
    const struct {
        const char* text;
        const char* meant;
    } fromZero[] = {{"0:0", "write 1:1"},
                    {"4:0", "write 5:1"},
                    {"12:0.5", "write 13:1.5"},
                    {"0:3", "write 1:4"}};
    for (const auto& z : fromZero) {
        EXPECT_FALSE(parsePosition(z.text, row, why)) << z.text;
        EXPECT_NE(why.find(z.meant), std::string::npos) << z.text << ": " << why;
    }
}

TEST(TimelineFormat, SectionsKeysAndRepeats) {
    const std::string text =
        "end 5:1\n"
        "section 1:1 8 intro   # comment\n"
        "section 2:1 2 rise\n"
        "section 3:1 2 theme\n"
        "section 4:1 5 storm\n" +
        allTracks("ringdiv") +
        "track ringdiv\n"
        "1:1 3 quadratic\n"
        "2:3 64.5 linear\n"
        "every 16 from 3:1 to 4:1 : 0 10 smooth ; 4 20\n";
    Timeline timeline;
    std::string message;
    ASSERT_TRUE(parseTimeline(text, "t.txt", timeline, message)) << message;
    EXPECT_EQ(timeline.endRow, 128);
    ASSERT_EQ(timeline.sections.size(), 4u);
    EXPECT_EQ(timeline.sections[3].row, 96);
    EXPECT_EQ(timeline.sections[3].part, "storm");

    // One step key per change of scene; the repeated scene 2 adds none.
    const auto* scene = assetgen::findTrack(timeline, "scene");
    ASSERT_EQ(scene->keys.size(), 3u);
    EXPECT_EQ(scene->keys[1].row, 32);
    EXPECT_EQ(scene->keys[1].value, 2.0f);
    EXPECT_EQ(scene->keys[2].row, 96);
    EXPECT_EQ(scene->keys[2].type, assetgen::kStep);

    const auto* ringdiv = assetgen::findTrack(timeline, "ringdiv");
    // 2 written keys, then the repeat at rows 64, 68, 80, 84 (period 16, to row 96).
    ASSERT_EQ(ringdiv->keys.size(), 6u);
    EXPECT_EQ(ringdiv->keys[0].type, assetgen::kQuadratic);
    EXPECT_EQ(ringdiv->keys[1].row, 48);
    EXPECT_EQ(ringdiv->keys[1].value, 64.5f);
    EXPECT_EQ(ringdiv->keys[1].type, assetgen::kLinear);
    const int rows[4] = {64, 68, 80, 84};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ringdiv->keys[2 + i].row, rows[i]);
        EXPECT_EQ(ringdiv->keys[2 + i].value, i % 2 ? 20.0f : 10.0f);
        EXPECT_EQ(ringdiv->keys[2 + i].type, i % 2 ? assetgen::kStep : assetgen::kSmooth);
    }
    // All 18 tracks, in the order the demo asks for them.
    ASSERT_EQ(timeline.tracks.size(), 18u);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(timeline.tracks[i].name, kTracks[i].name);
}

TEST(TimelineFormat, ErrorsNameFileAndLine) {
    const std::string head = "end 5:1\nsection 1:1 1 intro\n";
    const struct {
        std::string text;
        const char* expected;
    } cases[] = {
        {head + "track nosuch\n", "t.txt:3: unknown track"},
        {head + "track scene\n", "t.txt:3: the scene track is made from the sections"},
        {head + "section 2:3 3 greet\n", "t.txt:3: a section must start on a bar line"},
        {head + "track free\n8 1\n8 2\n", "t.txt:5: key at row 8 not after row 8"},
        {head + "track free\n8 1 bouncy\n", "t.txt:4: unknown interpolation 'bouncy'"},
        {head + "track free\n8 x\n", "t.txt:4: bad value 'x'"},
        {head + "track free\n2:1.1 1\n", "t.txt:4: bad position '2:1.1'"},
        {head + "track free\n4:0 1\n",
         "t.txt:4: bad position '4:0': bars and beats count from 1 "
         "(1:1 is the first downbeat): write 5:1"},
        {head + "track free\nevery 1:1 from 1:1 to 2:1 : 0 1\n", "t.txt:4: bad length '1:1'"},
        {head + "0 1\n", "t.txt:3: key outside a track"},
        {head + "track free\n0 1\ntrack free\n", "t.txt:5: track 'free' given twice"},
        {head + allTracks("free"), "t.txt: track 'free' missing"},
        {head + allTracks("ringdiv") + "track ringdiv\n0 129\n", "outside 0..128"},
        {head + allTracks("greet") + "track greet\n0 7\n", "outside 0..6"},
        {"section 1:1 1 intro\n" + allTracks(), "missing 'end <pos>'"},
        {"end 2:1\nsection 2:1 1 intro\n", "the first section must start at row 0"},
    };
    for (const auto& c : cases) {
        Timeline timeline;
        std::string message;
        EXPECT_FALSE(parseTimeline(c.text, "t.txt", timeline, message)) << c.expected;
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    }
}

TEST(TimelineFormat, TrackFileBytes) {
    assetgen::Track track{"free", {{8, 1.0f, 1}, {-1, -2.5f, -1}}, 0, {}};
    const auto bytes = assetgen::encodeTrack(track);
    // int32 count, then 9 bytes a key: int32 row, float32 value, int8 type, little-endian.
    const uint8_t expected[] = {2,   0,   0,   0,                                  //
                                8,   0,   0,   0,   0x00, 0x00, 0x80, 0x3F, 1,     // 1.0f
                                255, 255, 255, 255, 0x00, 0x00, 0x20, 0xC0, 255};  // -2.5f
    ASSERT_EQ(bytes.size(), sizeof expected);
    EXPECT_EQ(0, std::memcmp(bytes.data(), expected, sizeof expected));
}

// ---- The show in the data directory -----------------------------------------------------------

class ShowTimeline : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        device_ = createSyncDevice(DEMO_TEST_DATA_DIR "/sync");
        for (const TrackBinding& binding : kTracks)
            tracks_[binding.name] = getTrack(device_, binding.name);
    }
    static void TearDownTestSuite() {
        destroySyncDevice(device_);
        device_ = nullptr;
        tracks_.clear();
    }
    static double value(const char* track, double row) {
        return trackValue(tracks_.at(track), row);
    }
    static int sceneAt(double row) { return roundChoice(value("scene", row)); }

    // Runs of one scene: first row, row after the last, scene number.
    struct Run {
        int from, to, scene;
    };
    static std::vector<Run> runs() {
        std::vector<Run> result;
        for (int row = 0; row < kShowRows; ++row) {
            const int scene = sceneAt(row);
            if (result.empty() || result.back().scene != scene) {
                result.push_back({row, row + 1, scene});
            } else {
                result.back().to = row + 1;
            }
        }
        return result;
    }

    static SyncDevice* device_;
    static std::map<std::string, SyncTrack*> tracks_;
};
SyncDevice* ShowTimeline::device_ = nullptr;
std::map<std::string, SyncTrack*> ShowTimeline::tracks_;

TEST_F(ShowTimeline, EighteenTrackFilesWithKeys) {
    for (const TrackBinding& binding : kTracks) {
        const char* name = binding.name;
        const std::string path = std::string(DEMO_TEST_DATA_DIR "/sync_") + name + ".track";
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        const SyncTrack* track = tracks_.at(name);
        EXPECT_GT(track->keyCount, 0) << name;
        EXPECT_EQ(std::filesystem::file_size(path), 4u + 9u * track->keyCount) << name;
        for (int k = 1; k < track->keyCount; ++k) {
            EXPECT_LT(track->keys[k - 1].row, track->keys[k].row) << name;
            EXPECT_TRUE(track->keys[k].type >= Step && track->keys[k].type <= Quadratic) << name;
        }
    }
}

TEST_F(ShowTimeline, EveryScenePlaysThreeBarsOrMoreChangingOnBarLines) {
    const auto sceneRuns = runs();
    std::set<int> shown;
    for (const auto& run : sceneRuns) {
        shown.insert(run.scene);
        EXPECT_EQ(run.from % kBar, 0) << "scene " << run.scene << " starts off a bar line";
        EXPECT_GE(run.to - run.from, 3 * kBar) << "scene " << run.scene << " at row " << run.from;
        // Within a run the value stays on the scene (no drift between whole rows either).
        EXPECT_EQ(sceneAt(run.to - 0.01), run.scene);
    }
    EXPECT_EQ(shown, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 10}));
}

TEST_F(ShowTimeline, Scene3ShowsTheSixGreetingsInTurn) {
    std::vector<int> order;
    for (int row = 0; row < kShowRows; ++row) {
        const double greet = value("greet", row);
        EXPECT_GE(greet, 0.0);
        EXPECT_LT(greet, 6.5);  // the table has six entries
        const int g = roundChoice(greet);
        if (g > 0) {
            EXPECT_EQ(sceneAt(row), 3) << "banner " << g << " outside scene 3 at row " << row;
            if (order.empty() || order.back() != g) order.push_back(g);
        }
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

// Every track a scene reads takes more than one value while that scene plays.
TEST_F(ShowTimeline, EveryTrackAScenReadsMovesWhileItPlays) {
    const std::map<int, std::vector<const char*>> reads = {
        {1, {"free", "ringdiv", "spiny", "spinrot", "spinchoice"}},
        {2, {"ringdiv", "ringdistance", "ringthickness"}},
        {3, {"cityscale", "cityrot", "greet"}},
        {4, {"cityscale", "cityrot"}},
        {5, {"cityscale", "cityrot", "pscale"}},
        {10, {"cityscale", "cityrot"}},
    };
    for (const auto& run : runs()) {
        const auto found = reads.find(run.scene);
        if (found == reads.end()) continue;
        for (const char* track : found->second) {
            double lo = 1e30, hi = -1e30;
            for (double row = run.from; row < run.to; row += 0.25) {
                lo = std::min(lo, value(track, row));
                hi = std::max(hi, value(track, row));
            }
            EXPECT_GT(hi - lo, 0.01) << track << " stands still in scene " << run.scene;
        }
    }
}

TEST_F(ShowTimeline, SceneSpecificRanges) {
    bool flightStarts = false, flightEnds = false, faceted = false, smooth = false;
    std::set<int> textsShown;
    for (double row = 0; row < kShowRows; row += 0.5) {
        const int scene = sceneAt(row);
        const double ringdiv = value("ringdiv", row);
        EXPECT_GE(ringdiv, 0.0);
        EXPECT_LE(ringdiv, 128.0);  // the ring builder's limit
        if (scene == 2 && roundChoice(ringdiv) <= 6) faceted = true;
        if (scene == 2 && roundChoice(ringdiv) >= 60) smooth = true;
        if (scene == 1) {
            const double free = value("free", row);
            EXPECT_GE(free, 0.0);
            EXPECT_LE(free, 1.0);
            flightStarts |= free < 0.01;
            flightEnds |= free > 0.99;
            // A text is seen when it faces the camera (spinrot near a multiple of 4, a quarter
            // turn each) and stands inside the screen's height at z = -550 (about +-650).
            const double turn = std::fmod(value("spinrot", row), 4.0);
            const bool facing = turn < 0.5 || turn > 3.5;
            if (facing && std::fabs(value("spiny", row)) < 300.0) {
                textsShown.insert(roundChoice(value("spinchoice", row)) == 1 ? 1 : 2);
            }
        }
        if (scene == 3 || scene == 4 || scene == 5) {
            // The city keeps a clear ring from radius 64 to 14 around its axis; the free camera
            // stands 44.7 from it, so the scale must stay within 0.75..3 (see the city tests).
            EXPECT_GE(value("cityscale", row), 0.75) << row;
            EXPECT_LE(value("cityscale", row), 3.0) << row;
        }
        if (scene == 5) {
            EXPECT_GE(value("pscale", row), 0.0);
        }
    }
    EXPECT_TRUE(flightStarts && flightEnds) << "free must run from 0 to 1 in scene 1";
    EXPECT_TRUE(faceted && smooth) << "scene 2's rings go from faceted to smooth";
    EXPECT_EQ(textsShown, (std::set<int>{1, 2}));
}

TEST_F(ShowTimeline, OverlaysComeAndGo) {
    double alMax = 0, wfacWithBand = 0, cred1Max = 0, cred2Max = 0;
    std::set<int> cfyRows;
    for (double row = 0; row < kShowRows; row += 0.5) {
        const double al = value("al", row), wfac = value("wfac", row);
        EXPECT_GE(al, 0.0);
        EXPECT_LE(al, 1.0);  // at most one screen width
        alMax = std::max(alMax, al);
        if (al * 640 >= 1.0) wfacWithBand = std::max(wfacWithBand, wfac);
        const int c = roundChoice(value("cfy", row));
        if (c > 1 && c < 480) cfyRows.insert(c);
        cred1Max = std::max(cred1Max, value("cred1", row));
        cred2Max = std::max(cred2Max, value("cred2", row));
    }
    EXPECT_GE(alMax, 0.9);
    EXPECT_GT(wfacWithBand, 0.5);
    EXPECT_GT(cfyRows.size(), 20u) << "the title picture should move";
    EXPECT_GE(cred1Max, 0.9);
    EXPECT_GE(cred2Max, 0.9);
    // Everything starts and ends hidden: faded in and out, slid in and out.
    for (const char* track : {"al", "cred1", "cred2"}) {
        EXPECT_LE(value(track, 0), 0.01) << track;
        EXPECT_LE(value(track, kShowRows - 1), 0.01) << track;
    }
    EXPECT_LE(roundChoice(value("cfy", kShowRows - 1)), 1);
}

}  // namespace
