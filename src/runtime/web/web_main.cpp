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

Application* application = nullptr;
MusicPlayer* music = nullptr;  // owned by the application

}  // namespace

extern "C" {

// Starts the show: 1, or 0 with the reason printed.
EMSCRIPTEN_KEEPALIVE int webStart() {
    music = createWebMusicPlayer();
    application = new Application(new PixelDisplay::WebDisplay(), music, kDataDir);
    if (application->start()) return 1;
    delete application;
    application = nullptr;
    music = nullptr;
    return 0;
}

// One frame; 0 once the show has ended (the last row, or Escape).
EMSCRIPTEN_KEEPALIVE int webStep() {
    return application && application->step() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void webFinish() {
    if (!application) return;
    application->finish();
    delete application;
    application = nullptr;
    music = nullptr;
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
// frame: 1, or 0 with the reason printed.
EMSCRIPTEN_KEEPALIVE int webStill(double row, const char* keys) {
    static Show show;
    if (!startShow(show, kDataDir, nullptr)) return 0;
    const double seconds = row / ROWS_PER_SECOND;
    renderFrame(FrameState{row, seconds, seconds, cameraMatrix(cameraAfterKeys(keys))}, show);
    static PixelDisplay::Display display(new PixelDisplay::WebDisplay(true));
    display.open("still", kScreenWidth, kScreenHeight, PixelDisplay::Windowed,
                 PixelDisplay::FloatPixels);
    display.update(reinterpret_cast<const PixelDisplay::FloatPixel*>(show.framebuffer), nullptr);
    endShow(show);
    return 1;
}

// The capture tool's bench: every frame of the show at `fps` as fast as possible, printing the
// median and 95th percentile frame time of each scene and of the frame without its scene. 1, or 0 with the reason printed.
EMSCRIPTEN_KEEPALIVE int webBench(double fps) {
    static Show show;
    if (!startShow(show, kDataDir, nullptr)) return 0;
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
    endShow(show);
    return 1;
}

}  // extern "C"
