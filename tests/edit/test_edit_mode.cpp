// The edit mode driven without a person: reloads, transport and the frames it shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/pcm_music_player.h"
#include "display/overlay.h"
#include "edit/atomic_file.h"
#include "edit/edit_mode.h"
#include "generator/assetgen.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "runtime/startup.h"

namespace fs = std::filesystem;
using namespace PixelDisplay;

namespace {

const std::string kDataDir = DEMO_TEST_DATA_DIR;
const std::string kAssetsDir = DEMO_ASSETS_DIR;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes the file and moves its time on, so that a save within the file system's time
// resolution is still seen.
void save(const fs::path& path, const std::string& text) {
    const auto before = fs::exists(path) ? fs::last_write_time(path) : fs::file_time_type{};
    std::ofstream(path, std::ios::binary) << text;
    fs::last_write_time(path,
                        std::max(fs::last_write_time(path), before + std::chrono::seconds(1)));
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

struct ScratchAssets {
    fs::path dir;
    ScratchAssets() {
        // Named by process: other builds' suites may run the same test at the same time.
        dir = fs::temp_directory_path() /
              ("edit_assets_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(fs::path(kAssetsDir) / "timeline.txt", dir / "timeline.txt");
        fs::copy_file(fs::path(kAssetsDir) / "texts.txt", dir / "texts.txt");
    }
    ~ScratchAssets() { fs::remove_all(dir); }
    fs::path timeline() const { return dir / "timeline.txt"; }
    fs::path texts() const { return dir / "texts.txt"; }
};

// A display without output that keeps what it is given to lay over and beside the picture.
class OverlayDisplay : public DisplayAdapter, public OverlayTarget {
public:
    int overlays = 0;
    bool overlayShown = false;
    int panelWidth = 0;  // 0: no side panel
    void setOverlay(const uint32_t* argb, int, int) override {
        ++overlays;
        overlayShown = argb != nullptr;
    }
    void setSidePanel(const uint32_t* argb, int width, int) override {
        panelWidth = argb ? width : 0;
    }
};

// The show's own host with the edit mode plugged in, paused at the start.
struct Rig {
    OverlayDisplay* display = new OverlayDisplay;
    EditMode* edit;
    std::unique_ptr<Application> host;
    double now = 0.0;  // seconds of the music's clock, moved by the test
    explicit Rig(const fs::path& assets) {
        edit = new EditMode(assets.string());
        host = std::make_unique<Application>(
            display, new PcmMusicPlayer(nullptr, [this] { return now; }), kDataDir, edit);
        host->output = Windowed;
        EXPECT_TRUE(host->start());
        edit->togglePause();
    }
    double value(const char* track) {
        return readTrackValues(host->assets().tracks, edit->row()).*
               kTracks[trackIndex(track)].field;
    }
    bool musicAgrees() { return rowAtBytes(host->music().position()) == edit->row(); }
    void key(KeyCode code) { host->keyStroke(*display, code); }
    // A key as the display delivers it: down, stroke, up; modifiers held around it.
    void press(KeyCode code, bool control = false, bool shift = false) {
        if (control) host->keyDown(*display, GridKeys::kControl);
        if (shift) host->keyDown(*display, GridKeys::kShift);
        host->keyDown(*display, code);
        host->keyStroke(*display, code);
        host->keyUp(*display, code);
        if (shift) host->keyUp(*display, GridKeys::kShift);
        if (control) host->keyUp(*display, GridKeys::kControl);
    }
    void type(const char* keys) {
        for (const char* c = keys; *c; ++c) press(*c);
        press(kKeyEnter);
    }
    // Escape as the display delivers it; true when it would close the display.
    bool escape() {
        host->keyDown(*display, kKeyEscape);
        const bool closes = host->closeOnEscape();
        host->keyStroke(*display, kKeyEscape);
        host->keyUp(*display, kKeyEscape);
        return closes;
    }
    // Puts the grid's cursor on a track's column.
    void toColumn(const char* track) {
        TrackGrid& grid = edit->grid();
        for (int i = 0; i < kTrackCount && grid.column > 0; ++i) press(GridKeys::kLeft);
        for (int i = 0; i < kTrackCount && grid.doc.columns[grid.column] != trackIndex(track); ++i)
            press(GridKeys::kRight);
        ASSERT_EQ(grid.doc.columns[grid.column], trackIndex(track));
    }
    const float* framebuffer() { return host->show().target.framebuffer; }
};

std::vector<float> captureRaw(const std::string& dataDir, int row) {
    const fs::path out = fs::temp_directory_path() / ("edit_capture_" + std::to_string(getpid()) +
                                                      "_" + std::to_string(row) + ".f32");
    const std::string command = std::string(CAPTURE_PATH) + " --data " + dataDir + " --row " +
                                std::to_string(row) + " --raw " + out.string() + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<float> floats(kScreenFloats);
    std::ifstream in(out, std::ios::binary);
    in.read(reinterpret_cast<char*>(floats.data()), kScreenFloats * sizeof(float));
    EXPECT_EQ(in.gcount(), std::streamsize(kScreenFloats * sizeof(float)));
    fs::remove(out);
    return floats;
}

bool sameFrame(const std::vector<float>& expected, const float* framebuffer) {
    return std::memcmp(expected.data(), framebuffer, kScreenFloats * sizeof(float)) == 0;
}

TEST(EditTransport, RowsAndBytesMeetOnWholeRows) {
    for (int row = 0; row <= kLastRow; ++row) {
        const uint64_t bytes = bytesAtRow(row);
        ASSERT_EQ(bytes % 4, 0u);
        ASSERT_EQ(rowAtBytes(bytes), double(row)) << row;
    }
    // Between rows the position's own row, unsnapped.
    const double between = rowAtBytes(bytesAtRow(100) + 4 * 1500);
    EXPECT_GT(between, 100.4);
    EXPECT_LT(between, 100.6);
}

TEST(EditTransport, SectionsAndLoops) {
    const SectionTable sections{{0, 128, 256, 512}, 1480};
    EXPECT_EQ(nextSectionRow(sections, 0), 128);
    EXPECT_EQ(nextSectionRow(sections, 128), 256);
    EXPECT_EQ(nextSectionRow(sections, 600), 1479);
    EXPECT_EQ(previousSectionRow(sections, 300), 256);
    // Within half a beat of a start: the section before.
    EXPECT_EQ(previousSectionRow(sections, 258), 128);
    EXPECT_EQ(movedRow(sections, 5.4, -32), 0);
    EXPECT_EQ(movedRow(sections, 1470, 32), 1479);

    Transport transport;
    toggleLoop(transport, sections, 300);
    EXPECT_TRUE(transport.looping);
    EXPECT_EQ(transport.loopBegin, 256);
    EXPECT_EQ(transport.loopEnd, 512);
    EXPECT_EQ(loopTarget(transport, 511.9), -1);
    EXPECT_EQ(loopTarget(transport, 512.0), 256);
    toggleLoop(transport, sections, 300);
    EXPECT_FALSE(transport.looping);
    transport.markIn = 40;
    transport.markOut = 72;
    toggleLoop(transport, sections, 300);
    EXPECT_EQ(transport.loopBegin, 40);
    EXPECT_EQ(transport.loopEnd, 72);
    EXPECT_EQ(loopTarget(transport, 20), 40);
}

TEST(EditSession, TransportKeysMoveTheRowAndTheMusicWithIt) {
    ScratchAssets assets;
    Rig rig(assets.dir);
    EditMode& s = *rig.edit;
    Application& host = *rig.host;
    ASSERT_TRUE(s.transport().paused);
    s.seekRow(600);
    ASSERT_TRUE(host.step());
    EXPECT_EQ(s.row(), 600.0);
    EXPECT_TRUE(rig.musicAgrees());
    // Paused: time passes, the row does not.
    rig.now += 1.0;
    host.step();
    EXPECT_EQ(s.row(), 600.0);

    const struct {
        KeyCode key;
        double row;
    } moves[] = {{EditKeys::kRowForward, 601},
                 {EditKeys::kRowBack, 600},
                 {EditKeys::kRowBack, 599},
                 {EditKeys::kBeatForward, 607},
                 {EditKeys::kBarForward, 639},
                 {EditKeys::kBarBack, 607},
                 {EditKeys::kBeatBack, 599},
                 {EditKeys::kSectionForward, 640},
                 {EditKeys::kSectionForward, 896},
                 {EditKeys::kSectionBack, 640},
                 {EditKeys::kStart, 0}};
    for (const auto& move : moves) {
        rig.key(move.key);
        host.step();
        EXPECT_EQ(s.row(), move.row) << "key " << move.key;
        EXPECT_TRUE(rig.musicAgrees()) << "key " << move.key;
        EXPECT_TRUE(s.transport().paused);
    }

    // Playing on: the row follows the music, 0.75 s later 11 rows on.
    s.seekRow(300);
    rig.key(EditKeys::kPause);
    EXPECT_FALSE(s.transport().paused);
    rig.now += 0.75;
    host.step();
    EXPECT_NEAR(s.row(), 311.0, 1e-3);
    EXPECT_TRUE(rig.musicAgrees());
    // A row step while playing pauses first.
    rig.key(EditKeys::kRowForward);
    EXPECT_TRUE(s.transport().paused);
    host.step();
    EXPECT_EQ(s.row(), std::round(s.row()));
    EXPECT_TRUE(rig.musicAgrees());

    // Loop the section 17:1-21:1 from near its end: the music comes back to its start.
    s.seekRow(637);
    rig.key(EditKeys::kLoop);
    ASSERT_TRUE(s.transport().looping);
    EXPECT_EQ(s.transport().loopBegin, 512);
    EXPECT_EQ(s.transport().loopEnd, 640);
    rig.key(EditKeys::kPause);
    rig.now += 0.3;  // 4.4 rows: past the loop's end
    host.step();
    EXPECT_EQ(s.row(), 512.0);
    EXPECT_TRUE(rig.musicAgrees());
    rig.key(EditKeys::kLoop);
    EXPECT_FALSE(s.transport().looping);
    host.finish();
}

// Paused, the picture stands still frame after frame, the falling discs too; a seek finds them
// where the show had them at that row.
TEST(EditSession, APausedPictureStandsStill) {
    ScratchAssets assets;
    Rig rig(assets.dir);
    Application& host = *rig.host;
    rig.edit->seekRow(90);  // the intro's falling discs
    ASSERT_TRUE(host.step());
    ASSERT_EQ(sceneNumberAt(host.assets().tracks, 90), 8);
    const std::vector<float> first(rig.framebuffer(), rig.framebuffer() + kScreenFloats);
    for (int i = 0; i < 3; ++i) host.step();
    EXPECT_TRUE(sameFrame(first, rig.framebuffer()));
    rig.edit->seekRow(20);
    host.step();
    rig.edit->seekRow(90);
    host.step();
    EXPECT_TRUE(sameFrame(first, rig.framebuffer()));
    host.finish();
}

TEST(EditSession, ViewsAreDrawnBesideTheFrameAndCountIt) {
    ScratchAssets assets;
    Rig rig(assets.dir);
    EditMode& s = *rig.edit;
    Application& host = *rig.host;
    s.seekRow(600);  // the grey city, drawn through the rasterizer
    ASSERT_TRUE(host.step());
    ASSERT_EQ(s.view(), EditView::Picture);
    EXPECT_EQ(s.shownPixels(), rig.framebuffer());
    const std::vector<float> picture(rig.framebuffer(), rig.framebuffer() + kScreenFloats);

    const EditView order[] = {EditView::Depth, EditView::Overdraw, EditView::Blocks};
    for (EditView view : order) {
        rig.key(EditKeys::kView);
        ASSERT_EQ(s.view(), view);
        host.step();
        const std::string name = editViewName(view);
        // The counting engine draws the frame the show draws; the view goes elsewhere.
        EXPECT_TRUE(sameFrame(picture, rig.framebuffer())) << name;
        EXPECT_NE(s.shownPixels(), rig.framebuffer()) << name;
        EXPECT_NE(s.hudLines()[0].find("view " + name), std::string::npos);
        const RasterStats& stats = s.rasterStats();
        EXPECT_GT(stats.faces, 100) << name;
        EXPECT_GT(stats.blocksFull + stats.blocksPartial, 0) << name;
        EXPECT_NE(std::find_if(s.hudLines().begin(), s.hudLines().end(),
                               [&](const std::string& line) {
                                   return line.rfind("faces " + std::to_string(stats.faces) + " ",
                                                     0) == 0;
                               }),
                  s.hudLines().end())
            << name;
    }
    // The overdraw view shows each pixel's count in its colour.
    rig.key(EditKeys::kView);
    rig.key(EditKeys::kView);
    rig.key(EditKeys::kView);
    ASSERT_EQ(s.view(), EditView::Overdraw);
    host.step();
    const RasterStats& stats = s.rasterStats();
    int overdrawn = 0;
    for (int i = 0; i < kScreenWidth * kScreenHeight; ++i) {
        float rgb[3];
        overdrawColour(stats.overdraw[i], rgb);
        ASSERT_EQ(std::memcmp(rgb, s.shownPixels() + 4 * i, sizeof rgb), 0) << i;
        overdrawn += stats.overdraw[i] > 1 ? 1 : 0;
    }
    EXPECT_GT(overdrawn, 0);

    // The twister (scene 6) writes the framebuffer itself: no counts.
    s.seekRow(1100);
    host.step();
    EXPECT_EQ(sceneNumberAt(host.assets().tracks, s.row()), 6);
    EXPECT_EQ(s.rasterStats().faces, 0);
    EXPECT_EQ(s.rasterStats().pixelsPassed, 0);

    rig.key(EditKeys::kView);
    rig.key(EditKeys::kView);
    EXPECT_EQ(s.view(), EditView::Picture);
    host.step();
    EXPECT_EQ(s.shownPixels(), rig.framebuffer());
    host.finish();
}

TEST(EditSession, SavedTimelineChangesTheTracksAtTheNextFrame) {
    ScratchAssets assets;
    Rig rig(assets.dir);
    EditMode& s = *rig.edit;
    Application& host = *rig.host;
    s.seekRow(710);
    host.step();
    const double before = rig.value("cityrot");
    const std::string good = readText(assets.timeline());

    save(assets.timeline(), replaced(good, "21:1.125 0.08 linear", "21:1.125 0.30 linear"));
    host.step();
    EXPECT_EQ(s.row(), 710.0);
    EXPECT_TRUE(rig.musicAgrees());
    const double after = rig.value("cityrot");
    EXPECT_GT(after, before + 0.1);
    EXPECT_EQ(s.live().timelineReloads(), 1);
    EXPECT_TRUE(s.live().errors().empty());

    // A broken line: the tracks stay, the line is reported, on the display too.
    std::string broken = replaced(good, "track greet ", "track greet\n5:1 banana\n#");
    const int brokenLine =
        1 + int(std::count(broken.begin(), broken.begin() + broken.find("5:1 banana"), '\n'));
    save(assets.timeline(), broken);
    testing::internal::CaptureStderr();
    host.step();
    host.step();  // said once, not again every frame
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rig.value("cityrot"), after);
    ASSERT_EQ(s.live().errors().size(), 1u);
    const std::string expected =
        assets.timeline().string() + ":" + std::to_string(brokenLine) + ": bad value 'banana'";
    EXPECT_EQ(s.live().errors()[0], expected);
    EXPECT_EQ(said, expected + "\n");
    bool onDisplay = false;
    for (const std::string& line : s.hudLines())
        onDisplay |=
            line.find(":" + std::to_string(brokenLine) + ": bad value") != std::string::npos;
    EXPECT_TRUE(onDisplay);
    EXPECT_TRUE(rig.display->overlayShown);

    // Mended: the message goes, the file's tracks come.
    save(assets.timeline(), good);
    host.step();
    EXPECT_TRUE(s.live().errors().empty());
    EXPECT_EQ(rig.value("cityrot"), before);

    // The heads-up display hides and shows on its key, never in the frame.
    rig.key(EditKeys::kHud);
    host.step();
    EXPECT_FALSE(rig.display->overlayShown);
    rig.key(EditKeys::kHud);
    host.step();
    EXPECT_TRUE(rig.display->overlayShown);
    host.finish();
}

TEST(EditSession, ChangedArrangementIsSynthesisedAndPlaysOnFromTheSamePlace) {
    ScratchAssets assets;
    Rig rig(assets.dir);
    EditMode& s = *rig.edit;
    Application& host = *rig.host;
    s.seekRow(700);
    host.step();
    const uint64_t length = host.music().length();
    save(assets.timeline(), replaced(readText(assets.timeline()), "section  29:1   5     storm",
                                     "section  29:1   5     theme"));
    host.step();
    s.live().settle(host.assets(), &host.music());
    host.step();
    EXPECT_EQ(s.live().musicReloads(), 1);
    EXPECT_EQ(s.row(), 700.0);
    EXPECT_TRUE(rig.musicAgrees());
    EXPECT_NEAR(double(host.music().length()), double(length), 176400.0 * 0.5);
    host.finish();
}

// The edit mode's frame of a row is the capture tool's frame of the same files at that row:
// first of the files the data folder was made from, then of changed ones made anew.
TEST(EditSession, FrameEqualsTheCaptureOfTheSameFiles) {
    ScratchAssets assets;
    {
        Rig rig(assets.dir);
        rig.edit->seekRow(600);
        rig.host->step();
        EXPECT_TRUE(sameFrame(captureRaw(kDataDir, 600), rig.framebuffer()));
    }

    save(assets.timeline(),
         replaced(readText(assets.timeline()), "21:1.125 0.08 linear", "21:1.125 0.30 linear"));
    save(assets.texts(),
         replaced(readText(assets.texts()), "greet2 = every coder", "greet2 = EVERY edited coder"));
    const fs::path data = assets.dir / "data";
    std::vector<std::string> written;
    std::string message;
    ASSERT_TRUE(assetgen::generateData(assets.dir.string(), data.string(), written, message))
        << message;

    Rig rig(assets.dir);  // the old data folder, the new sources
    rig.edit->seekRow(710);
    rig.host->step();
    EXPECT_TRUE(rig.edit->live().errors().empty());
    const std::vector<float> changed = captureRaw(data.string(), 710);
    EXPECT_TRUE(sameFrame(changed, rig.framebuffer()));
    EXPECT_FALSE(sameFrame(captureRaw(kDataDir, 710), rig.framebuffer()));
}

// A key set in the grid is in the next frame, and that frame is the capture tool's frame of a
// data folder built from the file the grid saved.
TEST(EditSession, GridEditShowsAtTheNextFrameAndEqualsTheCaptureOfTheSavedFile) {
    ScratchAssets assets;
    const std::string original = readText(assets.timeline());
    Rig rig(assets.dir);
    EditMode& s = *rig.edit;
    Application& host = *rig.host;
    s.seekRow(700);  // the skyline, whose city turns by cityrot
    ASSERT_TRUE(host.step());
    const double before = rig.value("cityrot");

    rig.press(EditKeys::kPanel);
    ASSERT_TRUE(s.panelShown());
    ASSERT_TRUE(s.panelHasKeyboard());
    rig.toColumn("cityrot");
    rig.type("2");
    EXPECT_EQ(s.row(), 700.0);  // the cursor's moves across did not seek
    ASSERT_TRUE(host.step());
    EXPECT_EQ(rig.value("cityrot"), 2.0);
    EXPECT_NE(before, 2.0);
    EXPECT_EQ(rig.display->panelWidth, s.panel().width);
    const std::vector<float> edited(rig.framebuffer(), rig.framebuffer() + kScreenFloats);

    rig.press('S', true);
    const std::string saved = readText(assets.timeline());
    EXPECT_EQ(saved, s.grid().text);
    // One line added after the key before it, with that key's interpolation.
    EXPECT_EQ(saved, replaced(original, "21:1.125 0.08 linear\n",
                              "21:1.125 0.08 linear\n700     2     linear\n"));
    EXPECT_EQ(s.live().timelineReloads(), 1);
    host.step();  // the program's own save is not read back as another's
    EXPECT_EQ(s.live().timelineReloads(), 1);

    const fs::path data = assets.dir / "data";
    std::vector<std::string> written;
    std::string message;
    ASSERT_TRUE(assetgen::generateData(assets.dir.string(), data.string(), written, message))
        << message;
    EXPECT_TRUE(sameFrame(captureRaw(data.string(), 700), edited.data()));
    EXPECT_FALSE(sameFrame(captureRaw(kDataDir, 700), edited.data()));

    // Undone and saved: the file's first bytes again.
    rig.press('Z', true);
    rig.press('S', true);
    EXPECT_EQ(readText(assets.timeline()), original);
    host.step();
    EXPECT_EQ(rig.value("cityrot"), before);
    // F2 gives the keyboard back after Escape, and hides the grid after that.
    EXPECT_FALSE(rig.escape());
    EXPECT_FALSE(s.panelHasKeyboard());
    rig.press(EditKeys::kPanel);
    EXPECT_TRUE(s.panelHasKeyboard());
    rig.press(EditKeys::kPanel);
    EXPECT_FALSE(s.panelShown());
    host.step();
    EXPECT_EQ(rig.display->panelWidth, 0);
    host.finish();
}

// Escape first drops the number being typed, then gives the keyboard back, then asks once
// about unsaved changes, then quits; the camera keys are the grid's only while it has the
// keyboard.
TEST(EditSession, EscapeStepsBackOutOfTheGridAndAsksOnceBeforeLosingChanges) {
    ScratchAssets assets;
    Rig rig(assets.dir);
    EditMode& s = *rig.edit;
    Application& host = *rig.host;
    s.seekRow(600);
    host.step();
    rig.press(EditKeys::kPanel);
    rig.toColumn("free");
    const FreeCamera camera = host.camera;
    rig.press('W');
    rig.press('1');
    EXPECT_EQ(std::memcmp(&camera, &host.camera, sizeof camera), 0);
    EXPECT_EQ(s.grid().typed, "1");
    EXPECT_FALSE(rig.escape());
    EXPECT_EQ(s.grid().typed, "");
    EXPECT_TRUE(s.panelHasKeyboard());
    EXPECT_FALSE(rig.escape());
    EXPECT_FALSE(s.panelHasKeyboard());
    EXPECT_TRUE(s.panelShown());
    rig.press('W');
    EXPECT_NE(std::memcmp(&camera, &host.camera, sizeof camera), 0);

    rig.press(EditKeys::kPanel);
    rig.type("0.5");
    EXPECT_TRUE(gridUnsaved(s.grid()));
    rig.press(EditKeys::kHud);
    EXPECT_FALSE(s.hudShown());
    EXPECT_FALSE(rig.escape());  // the keyboard back
    EXPECT_FALSE(rig.escape());  // asks, on the heads-up display shown again
    EXPECT_TRUE(s.hudShown());
    host.step();
    const auto& lines = s.hudLines();
    EXPECT_NE(lines[0].find("UNSAVED"), std::string::npos);
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& line) {
                               return line.find("Escape again quits") != std::string::npos;
                           }),
              lines.end());
    rig.press(EditKeys::kPause);  // any other key: the question is asked again
    EXPECT_FALSE(rig.escape());
    EXPECT_TRUE(rig.escape());
    // The window's close button asks the same way.
    s.grid().control = false;
    rig.press(EditKeys::kPause);
    EXPECT_FALSE(host.closeRequested(*rig.display));
    EXPECT_TRUE(host.closeRequested(*rig.display));
    host.finish();
}

// Another program's save: taken when nothing is unsaved (a step of the history); kept waiting
// behind unsaved changes, overwritten only on a second Ctrl+S, taken once they are undone.
TEST(EditSession, SavesFromElsewhereNeverLoseTheGridsChanges) {
    ScratchAssets assets;
    const std::string original = readText(assets.timeline());
    const std::string other = replaced(original, "21:1.125 0.08 linear", "21:1.125 0.30 linear");
    Rig rig(assets.dir);
    EditMode& s = *rig.edit;
    Application& host = *rig.host;
    s.seekRow(700);
    host.step();

    save(assets.timeline(), other);
    host.step();
    EXPECT_EQ(s.grid().text, other);
    EXPECT_FALSE(gridUnsaved(s.grid()));
    const double otherValue = rig.value("cityrot");
    rig.press('Z', true);  // the grid's text before it, as an unsaved change
    host.step();
    EXPECT_EQ(s.grid().text, original);
    EXPECT_TRUE(gridUnsaved(s.grid()));
    EXPECT_NE(rig.value("cityrot"), otherValue);

    rig.press(EditKeys::kPanel);
    rig.toColumn("cityrot");
    rig.type("2");
    const std::string mine = s.grid().text;
    const std::string third = replaced(original, "21:1.125 0.08 linear", "21:1.125 0.50 linear");
    save(assets.timeline(), third);
    host.step();
    EXPECT_EQ(s.grid().text, mine);
    EXPECT_EQ(rig.value("cityrot"), 2.0);
    EXPECT_TRUE(s.grid().statusIsError);
    EXPECT_NE(s.grid().status.find("saved elsewhere"), std::string::npos);
    rig.press('S', true);
    EXPECT_EQ(readText(assets.timeline()), third);
    rig.press('S', true);
    EXPECT_EQ(readText(assets.timeline()), mine);
    EXPECT_FALSE(gridUnsaved(s.grid()));

    // Waiting behind a change that is then undone: taken.
    rig.type("3");
    save(assets.timeline(), third);
    host.step();
    EXPECT_EQ(rig.value("cityrot"), 3.0);
    rig.press('Z', true);
    host.step();
    EXPECT_EQ(s.grid().text, third);
    EXPECT_FALSE(gridUnsaved(s.grid()));
    host.finish();
}

// A save that fails leaves the file as it was and the changes unsaved, and says why.
TEST(EditSession, AFailedSaveKeepsTheFileAndTheChanges) {
    ScratchAssets assets;
    const std::string original = readText(assets.timeline());
    const auto mode = fs::status(assets.timeline()).permissions();
    for (AtomicWriteStep step : {AtomicWriteStep::Create, AtomicWriteStep::Write,
                                 AtomicWriteStep::Sync, AtomicWriteStep::Rename}) {
        std::string message;
        failAtomicWriteAt(step);
        EXPECT_FALSE(writeFileAtomically(assets.timeline().string(), "changed\n", message));
        failAtomicWriteAt(AtomicWriteStep::None);
        EXPECT_EQ(message.rfind(assets.timeline().string() + ": cannot save: ", 0), 0u) << message;
        EXPECT_EQ(readText(assets.timeline()), original);
        // Nothing left beside it.
        EXPECT_EQ(std::distance(fs::directory_iterator(assets.dir), fs::directory_iterator()), 2);
    }
    std::string message;
    EXPECT_FALSE(
        writeFileAtomically((assets.dir / "gone" / "timeline.txt").string(), "x", message));
    EXPECT_NE(message.find("gone/timeline.txt: cannot save"), std::string::npos) << message;
    ASSERT_TRUE(writeFileAtomically(assets.timeline().string(), "changed\n", message));
    EXPECT_EQ(readText(assets.timeline()), "changed\n");
    EXPECT_EQ(fs::status(assets.timeline()).permissions(), mode);
    save(assets.timeline(), original);

    Rig rig(assets.dir);
    EditMode& s = *rig.edit;
    rig.press(EditKeys::kPanel);
    rig.toColumn("free");
    rig.type("0.5");
    failAtomicWriteAt(AtomicWriteStep::Rename);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(s.save());
    const std::string said = testing::internal::GetCapturedStderr();
    failAtomicWriteAt(AtomicWriteStep::None);
    EXPECT_NE(said.find("cannot save"), std::string::npos);
    EXPECT_TRUE(s.grid().statusIsError);
    EXPECT_TRUE(gridUnsaved(s.grid()));
    EXPECT_EQ(readText(assets.timeline()), original);
    EXPECT_TRUE(s.save());
    EXPECT_FALSE(gridUnsaved(s.grid()));
    rig.host->finish();
}

}  // namespace

namespace {

// Every picture made in the program holds the texels of the build's PNG file of it.
TEST(EditReload, PicturesEqualTheBuildsFiles) {
    const std::string text = readText(fs::path(kAssetsDir) / "texts.txt");
    PictureBuild build;
    std::string message;
    ASSERT_TRUE(buildPictures(text, "texts.txt", build, message)) << message;
    ASSERT_EQ(build.files.size(), 12u);
    for (size_t i = 0; i < build.files.size(); ++i) {
        int code = 0;
        Texture* file =
            readTexture(dataPath(kDataDir, build.files[i].c_str()).c_str(), "", code, message);
        ASSERT_NE(file, nullptr) << message;
        const Texture& made = *build.textures[i];
        ASSERT_EQ(made.width, file->width);
        ASSERT_EQ(made.height, file->height);
        EXPECT_EQ(std::memcmp(made.texels, file->texels,
                              sizeof(float) * 4 * size_t(made.width) * made.height),
                  0)
            << build.files[i];
        freeTexture(file);
    }
    releasePictures(build);
}

}  // namespace
