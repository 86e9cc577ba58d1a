// The edit mode's reloads: a saved timeline (parsed, encoded and read back as the show's
// eighteen tracks) and saved texts (every picture drawn, PNG-coded and decoded, both lettering
// meshes built and read). Goals on the development machine: under 50 ms and 500 ms.
//
// The track editor: its panel drawn, and whole frames of `demo --edit` at scale 1 with the
// panel shown (and with a key set before every frame), presented by the SDL display without
// waiting for the vertical blank: goal under 16 ms. These need a window system (xvfb-run).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "display/sdl/sdl_display.h"
#include "edit/edit_mode.h"
#include "edit/grid_panel.h"
#include "edit/live_show.h"

namespace {

std::string source(const char* name) {
    std::ifstream in(std::string(DEMO_ASSETS_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void BM_ReloadTimeline(benchmark::State& state) {
    const std::string text = source("timeline.txt");
    SyncTrack live[kTrackCount] = {};
    DemoTracks tracks;
    for (int i = 0; i < kTrackCount; ++i) tracks.tracks[i] = &live[i];
    for (auto _ : state) {
        TimelineBuild build;
        std::string message;
        if (!buildTimeline(text, "timeline.txt", build, message)) {
            state.SkipWithError(message.c_str());
            break;
        }
        swapTracks(tracks, build);
        releaseTimeline(build);
    }
    for (SyncTrack& track : live) std::free(track.keys);
}
BENCHMARK(BM_ReloadTimeline)->Unit(benchmark::kMillisecond);

void BM_ReloadPictures(benchmark::State& state) {
    const std::string text = source("texts.txt");
    for (auto _ : state) {
        PictureBuild build;
        std::string message;
        if (!buildPictures(text, "texts.txt", build, message)) {
            state.SkipWithError(message.c_str());
            break;
        }
        releasePictures(build);
    }
}
BENCHMARK(BM_ReloadPictures)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawGridPanel(benchmark::State& state) {
    TrackGrid grid;
    std::string message;
    TimelineBuild build;
    if (!loadGridText(grid, source("timeline.txt"), "timeline.txt", message) ||
        !buildTimeline(source("timeline.txt"), "timeline.txt", build, message)) {
        state.SkipWithError(message.c_str());
        return;
    }
    DemoTracks tracks;
    for (int i = 0; i < kTrackCount; ++i) tracks.tracks[i] = &build.tracks[i];
    const std::vector<float> loudness(1480, 0.5f);
    GridPanel panel;
    makeGridPanel(panel, kScreenHeight);
    GridPanelView view;
    view.endRow = 1480;
    view.tracks = &tracks;
    view.loudness = &loudness;
    view.hasKeyboard = true;
    int row = 0;
    for (auto _ : state) {
        view.row = row;
        row = (row + 1) % 1480;
        drawGridPanel(panel, grid, view);
        benchmark::DoNotOptimize(panel.words[0]);
    }
    releaseTimeline(build);
}
BENCHMARK(BM_DrawGridPanel)->Unit(benchmark::kMillisecond);

// range(0): 0 the panel hidden, 1 shown, 2 shown with a key set before every frame.
void BM_EditFrameWithPanel(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path assets = fs::temp_directory_path() / "bench_edit_assets";
    fs::create_directories(assets);
    for (const char* name : {"timeline.txt", "texts.txt"}) {
        fs::copy_file(fs::path(DEMO_ASSETS_DIR) / name, assets / name,
                      fs::copy_options::overwrite_existing);
    }
    auto* display = new PixelDisplay::SdlDisplay(PixelDisplay::PresentSync::Immediate);
    if (!display->videoAvailable()) {
        delete display;
        state.SkipWithError("no window system");
        return;
    }
    auto* edit = new EditMode(assets.string());
    Application host(display, createSilentMusicPlayer(), DEMO_DATA_DIR, edit);
    host.output = PixelDisplay::Windowed;
    if (!host.start()) {
        state.SkipWithError("the show did not start");
        return;
    }
    edit->togglePause();
    edit->seekRow(700);  // the skyline, the heaviest scene
    if (state.range(0) > 0) {
        host.keyStroke(host.display, EditKeys::kPanel);
        host.keyStroke(host.display, GridKeys::kRight);  // cfy
    }
    int frame = 0;
    for (auto _ : state) {
        if (state.range(0) == 2) {
            host.keyStroke(host.display, '0' + frame % 2);
            host.keyStroke(host.display, PixelDisplay::kKeyEnter);
        }
        ++frame;
        if (!host.step()) {
            state.SkipWithError("the display closed");
            break;
        }
    }
    host.finish();
    fs::remove_all(assets);
}
BENCHMARK(BM_EditFrameWithPanel)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
