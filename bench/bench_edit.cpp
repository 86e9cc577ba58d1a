// The edit mode's reloads: a saved timeline (parsed, encoded and read back as the show's
// eighteen tracks) and saved texts (every picture drawn, PNG-coded and decoded, both lettering
// meshes built and read). Goals on the development machine: under 50 ms and 500 ms.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

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

}  // namespace

BENCHMARK_MAIN();
