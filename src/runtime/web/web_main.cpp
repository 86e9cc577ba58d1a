// The web page's entry points, called by the page's script (web/page.js). The browser's frame
// callback drives the show one step at a time; a still frame and the bench render without
// music, as the capture tool does.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "audio/web/web_music_player.h"
#include "display/web/web_display.h"
#include "runtime/application.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "runtime/free_camera.h"
#include "runtime/show.h"

namespace {

// The page writes the data files here, in the module's own file system.
const char* const kDataDir = "data";

Application* application = nullptr;
MusicPlayer* music = nullptr;  // owned by the application

// The camera after `keys`, applied in order to the start camera: letters as their upper-case
// codes, as the display delivers them.
FreeCamera cameraAfterKeys(const char* keys) {
    FreeCamera camera;
    resetCamera(camera);
    for (const char* c = keys; *c; ++c) {
        const int key = (*c >= 'a' && *c <= 'z') ? *c - 'a' + 'A' : static_cast<unsigned char>(*c);
        applyCameraKey(camera, key);
    }
    return camera;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(std::ceil(fraction * values.size())) - 1;
    return values[std::min(index, values.size() - 1)];
}

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
    display.open("still", kFrameWidth, kFrameHeight, PixelDisplay::Windowed,
                 PixelDisplay::FloatPixels);
    display.update(reinterpret_cast<const PixelDisplay::FloatPixel*>(show.framebuffer), nullptr);
    endShow(show);
    return 1;
}

// The capture tool's bench: every frame of the show at `fps` as fast as possible, printing the
// median and 95th percentile frame time of each scene. 1, or 0 with the reason printed.
EMSCRIPTEN_KEEPALIVE int webBench(double fps) {
    static Show show;
    if (!startShow(show, kDataDir, nullptr)) return 0;
    FreeCamera camera;
    resetCamera(camera);
    const Matrix4 view = cameraMatrix(camera);
    std::map<int, std::vector<double>> times;  // by scene number; other numbers under -1
    using Clock = std::chrono::steady_clock;
    for (long n = 0;; ++n) {
        const double seconds = n / fps;
        const double row = seconds * ROWS_PER_SECOND;
        if (row >= kLastRow) break;
        const Clock::time_point start = Clock::now();
        int scene = renderFrame(FrameState{row, seconds, seconds, view}, show);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!((scene >= 1 && scene <= 8) || scene == 10)) scene = -1;
        times[scene].push_back(ms);
    }
    std::printf("%-8s %8s %12s %12s\n", "scene", "frames", "median ms", "p95 ms");
    for (const auto& [scene, samples] : times) {
        const std::string name = scene < 0 ? "none" : std::to_string(scene);
        std::printf("%-8s %8zu %12.3f %12.3f\n", name.c_str(), samples.size(),
                    percentile(samples, 0.5), percentile(samples, 0.95));
    }
    std::fflush(stdout);
    endShow(show);
    return 1;
}

}  // extern "C"
