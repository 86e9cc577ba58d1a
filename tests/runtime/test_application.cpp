#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runtime/application.h"
#include "runtime/startup.h"
#include "runtime/sync.h"

namespace fs = std::filesystem;
using namespace PixelDisplay;

namespace {

// Music whose position moves by a fixed step at every per-frame update.
class FakeMusic : public MusicPlayer {
public:
    bool initOk = true;
    bool streamOk = true;
    uint64_t bytes = 0;
    uint64_t step = 176400;  // one second of 16-bit stereo at 44.1 kHz per frame
    std::string openedPath;
    int closes = 0;
    bool played = false;

    bool init(int) override { return initOk; }
    bool openStream(const char* path) override {
        openedPath = path;
        return streamOk;
    }
    int errorCode() const override { return 2; }
    void play() override { played = true; }
    uint64_t position() override { return bytes; }
    double bytesToSeconds(uint64_t b) const override { return b / 176400.0; }
    void update() override { bytes += step; }
    void close() override { ++closes; }
};

// A display without output that counts and inspects the frames it is asked to show.
class RecordingDisplay : public DisplayAdapter {
public:
    int opens = 0;
    int shown = 0;
    int closeAtFrame = -1;  // acts as if the user closed the window before this frame
    std::function<void(const FloatPixel*)> inspect;

    bool open(const char* title, int width, int height, DisplayOutput output,
              PixelMode mode) override {
        ++opens;
        return DisplayAdapter::open(title, width, height, output, mode);
    }
    bool refresh(const PackedPixel*, const FloatPixel* pixels, const DirtyBox*) override {
        if (!isOpen()) return true;  // a closed display presents nothing
        if (shown == closeAtFrame) {
            close();
            return false;
        }
        ++shown;
        if (inspect) inspect(pixels);
        return true;
    }
};

const std::string kDataDir = DEMO_TEST_DATA_DIR;

struct DemoRig {
    FakeMusic* music;
    RecordingDisplay* display;
    std::unique_ptr<Application> app;
};

DemoRig makeRun(const std::string& dataDir) {
    DemoRig run;
    run.music = new FakeMusic;
    run.display = new RecordingDisplay;
    run.app = std::make_unique<Application>(run.display, run.music, dataDir);
    return run;
}

// A copy of the data directory without the files `skip` selects.
std::string copyDataWithout(const std::function<bool(const std::string&)>& skip) {
    // Named by process: other builds' suites may run the same test at the same time.
    const fs::path dir = fs::temp_directory_path() /
                         ("demo-data-" + std::to_string(getpid()) + "-" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(kDataDir)) {
        const std::string name = entry.path().filename().string();
        if (!skip(name)) fs::copy_file(entry.path(), dir / name);
    }
    return dir.string();
}

TEST(FreeCamera, KeysStepAndPresetsReplace) {
    FreeCamera camera;
    resetCamera(camera);
    for (int i = 0; i < 11; ++i) applyCameraKey(camera, 'W');  // a press and ten auto-repeats
    EXPECT_EQ(camera.position.z, 0.0f);

    applyCameraKey(camera, '1');
    applyCameraKey(camera, 'A');
    EXPECT_EQ(camera.position.x, -92.0f);
    EXPECT_EQ(camera.position.y, -92.0f);
    EXPECT_EQ(camera.position.z, -28.0f);
    EXPECT_EQ(camera.angles.x, 1.2f);
    EXPECT_EQ(camera.angles.y, -0.3f);

    // Keys outside the table leave the camera alone.
    const Vec4 before = camera.position;
    for (KeyCode key : {27, 10, 37, 38, 39, 40, int('B'), int('0'), int('9')}) {
        EXPECT_FALSE(applyCameraKey(camera, key)) << key;
    }
    EXPECT_EQ(camera.position.x, before.x);
    EXPECT_EQ(camera.position.z, before.z);

    // Ten presses of U from -0.6 add up in single precision: near 0.4, not exactly.
    resetCamera(camera);
    float expected = -0.6f;
    for (int i = 0; i < 10; ++i) {
        applyCameraKey(camera, 'U');
        expected += 0.1f;
    }
    EXPECT_EQ(camera.angles.x, expected);
    EXPECT_NEAR(camera.angles.x, 0.4f, 1e-5f);

    // The application's listener steers the camera it holds.
    Application app(nullptr, nullptr, "");
    app.keyStroke(app.display, '3');
    EXPECT_EQ(app.camera.position.y, -136.0f);
}

TEST(FreeCamera, MatrixMovesFirstThenRotates) {
    FreeCamera camera;
    applyCameraKey(camera, '4');
    const Matrix4 identity = cameraMatrix(camera);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(identity.m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;

    // The start camera: translation (0, -8, -44), then a tilt of -0.6 about X. The world
    // origin ends up at (0, -8, -44) turned about X.
    resetCamera(camera);
    const Vec4 origin = transformPoint({0, 0, 0, 0}, cameraMatrix(camera));
    const float c = std::cos(-0.6f), s = std::sin(-0.6f);
    EXPECT_NEAR(origin.x, 0.0f, 1e-5f);
    EXPECT_NEAR(origin.y, -8.0f * c - (-44.0f) * s, 1e-4f);
    EXPECT_NEAR(origin.z, -8.0f * s + (-44.0f) * c, 1e-4f);
}

TEST(DemoRun, PlaysUntilRow1480AndNeverShowsTheLastFrame) {
    DemoRig run = makeRun(kDataDir);
    EXPECT_EQ(run.app->run(), 0);
    EXPECT_EQ(run.display->opens, 1);
    EXPECT_TRUE(run.music->played);
    EXPECT_EQ(run.music->closes, 1);
    EXPECT_FALSE(run.app->display.isOpen());
    EXPECT_GE(run.app->lastRow(), 1480.0);
    // One second of music per frame: rows 0, 14.67, ... the first at or past 1480 is frame 102.
    EXPECT_EQ(run.app->framesRun(), 102);
    EXPECT_EQ(run.display->shown, run.app->framesRun() - 1);
    EXPECT_EQ(run.music->openedPath, dataPath(kDataDir, "demo110.mp3"));
}

// The program can play its show again from the assets it loaded (the page does so): a second
// run opens the display and the music again and reaches the same end.
TEST(DemoRun, ASecondRunPlaysTheShowAgain) {
    DemoRig run = makeRun(kDataDir);
    EXPECT_EQ(run.app->run(), 0);
    run.music->bytes = 0;
    EXPECT_EQ(run.app->run(), 0);
    EXPECT_EQ(run.display->opens, 2);
    EXPECT_EQ(run.app->framesRun(), 102);
    EXPECT_EQ(run.display->shown, 2 * 101);
    EXPECT_EQ(run.music->closes, 2);
}

TEST(DemoRun, UserCloseEndsTheLoopAfterThatFrame) {
    DemoRig run = makeRun(kDataDir);
    run.display->closeAtFrame = 5;
    run.app->run();
    EXPECT_EQ(run.display->shown, 5);
    EXPECT_EQ(run.app->framesRun(), 6);
    EXPECT_EQ(run.music->closes, 1);
}

// A data folder that lacks a track file, a mesh or a picture would play a black or broken show:
// it is refused at start-up, each missing file named on a line of its own.
TEST(DemoRun, AnIncompleteDataFolderIsRefusedNamingEachMissingFile) {
    const struct {
        std::vector<std::string> missing;
    } cases[] = {{{"sync_scene.track"}},
                 {{"cube.fobj", "g-qor.png"}},
                 {{"spintext1.png", "sync_cred1.track", "sync_cred2.track"}}};
    for (const auto& c : cases) {
        const std::string dir = copyDataWithout([&](const std::string& name) {
            return std::find(c.missing.begin(), c.missing.end(), name) != c.missing.end();
        });
        DemoRig run = makeRun(dir);
        testing::internal::CaptureStdout();
        const int status = run.app->run();
        const std::string said = testing::internal::GetCapturedStdout();
        std::string expected;
        for (const DataFile& file : kDataFiles) {
            for (const std::string& name : c.missing) {
                if (name == file.name)
                    expected += dataPath(dir, name.c_str()) + ": missing from the data folder\n";
            }
        }
        for (const TrackBinding& track : kTracks) {
            for (const std::string& name : c.missing) {
                if (name == trackFileName(track.name))
                    expected += dataPath(dir, name.c_str()) + ": missing from the data folder\n";
            }
        }
        EXPECT_EQ(said, expected);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(run.display->opens, 0);
        fs::remove_all(dir);
    }
    DemoRig run = makeRun("/nonexistent/data");
    testing::internal::CaptureStdout();
    EXPECT_EQ(run.app->run(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "/nonexistent/data: no such data folder\n");
}

TEST(DemoRun, StartUpFailuresPrintTheirLineAndOpenNoDisplay) {
    {
        DemoRig run = makeRun(kDataDir);
        run.music->initOk = false;
        testing::internal::CaptureStdout();
        const int status = run.app->run();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "bass init error\n");
        EXPECT_EQ(status, 1);
        EXPECT_EQ(run.display->opens, 0);
    }
    {
        DemoRig run = makeRun(kDataDir);
        run.music->streamOk = false;
        testing::internal::CaptureStdout();
        const int status = run.app->run();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "error (2) while creating stream\n" + dataPath(kDataDir, "demo110.mp3") +
                      ": cannot be opened (is the file there?)\n");
        EXPECT_EQ(status, 1);
        EXPECT_EQ(run.display->opens, 0);
        EXPECT_FALSE(run.music->played);
    }
    {
        // The sync device cannot be made: no memory for it.
        DemoRig run = makeRun(kDataDir);
        setSyncRealloc([](void*, std::size_t) -> void* { return nullptr; });
        testing::internal::CaptureStdout();
        const int status = run.app->run();
        const std::string said = testing::internal::GetCapturedStdout();
        setSyncRealloc(nullptr);
        EXPECT_EQ(said, "sync failed, out of memory?\n" + dataPath(kDataDir, "sync") +
                            "_*.track: the tracks could not be made\n");
        EXPECT_EQ(status, 1);
        EXPECT_EQ(run.display->opens, 0);
        EXPECT_TRUE(run.music->openedPath.empty());  // the tracks come before the music
        EXPECT_FALSE(run.music->played);
    }
}

}  // namespace
