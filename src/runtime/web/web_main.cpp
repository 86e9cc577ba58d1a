// The web page's entry points, called by the page's script (web/page.js). The browser's frame
// callback drives the show one step at a time; a still frame and the bench render without
// music, as the capture tool does.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <string>

#include "audio/web/web_music_player.h"
#include "display/web/web_display.h"
#include "runtime/application.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "runtime/frame_times.h"
#include "runtime/free_camera.h"
#include "runtime/show.h"

namespace {

// The page writes the data files here, in the module's own file system.
const char* const kDataDir = "data";

// Made by the first show and kept: every show after it plays again from the assets it loaded.
Application* application = nullptr;
MusicPlayer* music = nullptr;  // owned by the application

// The screen for the page's `scale`: an offered scale, or 0 for the largest screen within
// width x height device pixels (640 x 480 when even that does not fit: the page shrinks it).
// False, with the reason printed, for any other scale.
bool chooseScreen(double scale, int width, int height, ScreenSize& screen) {
    if (scale == 0.0) {
        if (!largestScreenWithin(width, height, screen)) screen = ScreenSize{};
        return true;
    }
    if (screenForScale(scale, screen)) return true;
    std::printf("scale %g is not offered: 1 to 4.5 in steps of 0.05, or auto\n", scale);
    std::fflush(stdout);
    return false;
}

// A show of its own assets, without music, for a still and the bench; both given back when it
// goes out of scope. `ready` is false when either could not be made (the reason is printed).
struct OwnShow {
    ShowAssets assets;
    Show show;
    bool loaded = false;
    bool ready = false;
    explicit OwnShow(const ScreenSize& screen) {
        loaded = loadShowAssets(assets, kDataDir);
        ready = loaded && startShow(show, assets, nullptr, screen);
    }
    ~OwnShow() {
        endShow(show);
        if (loaded) freeShowAssets(assets);
    }
};

}  // namespace

extern "C" {

// The scale that `scale` (0: auto) gives within width x height device pixels, as the entry
// points below would choose it: so the page can check its address before the show starts. 0,
// with the reason printed, for a scale that is not offered.
EMSCRIPTEN_KEEPALIVE double webScale(double scale, int width, int height) {
    ScreenSize screen;
    return chooseScreen(scale, width, height, screen) ? screen.scale : 0.0;
}

// Starts the show at `scale` (0: the largest within width x height): 1, or 0 with the reason
// printed.
EMSCRIPTEN_KEEPALIVE int webStart(double scale, int width, int height) {
    ScreenSize screen;
    if (!chooseScreen(scale, width, height, screen)) return 0;
    if (!application) {
        music = createWebMusicPlayer();
        application = new Application(new PixelDisplay::WebDisplay(), music, kDataDir);
    }
    application->screen = screen;
    return application->start() ? 1 : 0;
}

// One frame; 0 once the show has ended (the last row, or Escape).
EMSCRIPTEN_KEEPALIVE int webStep() {
    return application && application->step() ? 1 : 0;
}

// Ends the show; the program stays ready for the next.
EMSCRIPTEN_KEEPALIVE void webFinish() {
    if (application) application->finish();
}

// The sync row of the music heard now (for the page's tests).
EMSCRIPTEN_KEEPALIVE double webHeardRow() {
    if (!music) return -1.0;
    return music->bytesToSeconds(music->position()) * ROWS_PER_SECOND;
}

// The free camera's position (0..2) and angles (3..5), for the page's tests.
EMSCRIPTEN_KEEPALIVE double webCamera(int index) {
    if (!application || index < 0 || index > 5) return 0.0;
    const Vec4& v = index < 3 ? application->camera.position : application->camera.angles;
    const float values[3] = {v.x, v.y, v.z};
    return values[index % 3];
}

// One frame at `row` with the camera after `keys`, its clocks as the capture tool's still
// frame, at `scale` as for webStart: 1, or 0 with the reason printed.
EMSCRIPTEN_KEEPALIVE int webStill(double row, const char* keys, double scale, int width,
                                  int height) {
    ScreenSize screen;
    if (!chooseScreen(scale, width, height, screen)) return 0;
    OwnShow own(screen);
    if (!own.ready) return 0;
    Show& show = own.show;
    const double seconds = row / ROWS_PER_SECOND;
    renderFrame(FrameState{row, seconds, seconds, cameraMatrix(cameraAfterKeys(keys))}, show);
    PixelDisplay::Display display(new PixelDisplay::WebDisplay(true));
    display.open("still", screen.width, screen.height, PixelDisplay::Windowed,
                 PixelDisplay::FloatPixels);
    display.update(reinterpret_cast<const PixelDisplay::FloatPixel*>(show.target.framebuffer),
                   nullptr);
    return 1;
}

// The capture tool's bench at `scale` as for webStart: every frame of the show at `fps` as
// fast as possible, printing the size first, then the median and 95th percentile frame time of
// each scene and of the frame without its scene. 1, or 0 with the reason printed.
EMSCRIPTEN_KEEPALIVE int webBench(double fps, double scale, int width, int height) {
    ScreenSize screen;
    if (!chooseScreen(scale, width, height, screen)) return 0;
    OwnShow own(screen);
    if (!own.ready) return 0;
    Show& show = own.show;
    std::printf("%d x %d (scale %g)\n", screen.width, screen.height, screen.scale);
    const Matrix4 view = cameraMatrix(cameraAfterKeys(""));
    FrameTimes times;
    for (long n = 0;; ++n) {
        const double seconds = n / fps;
        const double row = seconds * ROWS_PER_SECOND;
        if (row >= kLastRow) break;
        timeFrame(FrameState{row, seconds, seconds, view}, show, times);
    }
    printFrameTimes(times, fps);
    std::fflush(stdout);
    return 1;
}

}  // extern "C"
