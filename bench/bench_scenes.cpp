// One frame of each scene block, and of the overlays, with the demo's real start-up objects
// (the generated data directory beside the program) and track values the timeline reaches.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "render/screen.h"
#include "runtime/frame.h"
#include "runtime/platform.h"
#include "runtime/show.h"
#include "runtime/startup.h"
#include "scenes/overlays.h"
#include "scenes/scenes.h"

namespace {

// The pixel the benchmarks read back, so that the work cannot be optimised away.
constexpr int kCentreFloat = 4 * (kScreenHeight / 2 * kScreenWidth + kScreenWidth / 2);

struct Demo {
    bool ready = false;
    Show show;
    float* framebuffer = nullptr;
    StartupObjects& objects = show.objects;
};

Demo& demo() {
    static Demo d;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const std::string dir = defaultDataDir();
        const std::string probe = dataPath(dir, "koxspike1fixed.obj");
        if (std::FILE* f = std::fopen(probe.c_str(), "rb")) {
            std::fclose(f);
            d.ready = startShow(d.show, dir, nullptr);
            d.framebuffer = d.show.framebuffer;
        }
    }
    return d;
}

SceneInput inputFor(int scene) {
    SceneInput input{};
    input.currentTime = 60.0;
    input.sceneTime = 60.0;
    viewMatrix(Vec3{0.0f, -8.0f, -44.0f}, input.freeCamera, Vec3{-0.6f, 0.0f, 0.0f});
    TrackValues& t = input.tracks;
    t.ringdiv = 64;
    t.ringdistance = 0.85;
    t.ringthickness = 1.0;
    t.free = 0.5;
    t.spinrot = 0.3;
    t.spinchoice = 1;
    t.spiny = 0;
    t.cityscale = 1.2;
    t.cityrot = scene == 10 ? 14.0 : 0.15;
    t.pscale = 7;
    t.greet = 3;
    return input;
}

void clearFrame(float* framebuffer) {
    std::memset(framebuffer, 0, sizeof(float) * kScreenFloats);
}

void BM_Scene(benchmark::State& state) {
    Demo& d = demo();
    if (!d.ready) {
        state.SkipWithError("no generated data directory beside the program");
        return;
    }
    const int scene = static_cast<int>(state.range(0));
    SceneInput input = inputFor(scene);
    if (state.range(1) != 0) input.tracks.ringdiv = static_cast<double>(state.range(1));
    for (auto _ : state) {
        input.sceneTime += 1.0 / 60.0;
        input.currentTime += 1.0 / 60.0;
        d.objects.context->warnedThisFrame = false;
        clearFrame(d.framebuffer);
        updateLight(*d.objects.light, input.currentTime);
        runSceneBlock(scene, d.objects, input);
        benchmark::DoNotOptimize(d.framebuffer[kCentreFloat]);
    }
    state.counters["faces"] = d.objects.context->faceCount;
}

void BM_Overlays(benchmark::State& state) {
    Demo& d = demo();
    if (!d.ready) {
        state.SkipWithError("no generated data directory beside the program");
        return;
    }
    SceneInput input = inputFor(0);
    TrackValues& t = input.tracks;
    t.al = 1.0;
    t.wfac = 1.0;
    t.cfy = 40;
    t.cred1 = state.range(0) != 0 ? 1.0 : 0.0;
    t.cred2 = t.cred1;
    for (auto _ : state) {
        input.currentTime += 1.0 / 60.0;
        drawOverlays(d.objects, input);
        benchmark::DoNotOptimize(d.framebuffer[kCentreFloat]);
    }
}

void BM_PlasmaBand(benchmark::State& state) {
    static float framebuffer[kScreenFloats];
    float time = 1.0f;
    const double al = static_cast<double>(state.range(0)) / kScreenWidth;
    for (auto _ : state) {
        time += 1.0f / 60.0f;
        drawPlasmaBand(framebuffer, time, 1.0, al);
        benchmark::DoNotOptimize(framebuffer[kCentreFloat]);
    }
    state.SetItemsProcessed(state.iterations() * 241 * state.range(0));
}

}  // namespace

BENCHMARK(BM_Scene)
    ->ArgNames({"scene", "ringdiv"})
    ->Args({1, 0})
    ->Args({1, 128})
    ->Args({2, 0})
    ->Args({2, 128})
    ->Args({3, 0})
    ->Args({4, 0})
    ->Args({5, 0})
    ->Args({6, 0})
    ->Args({7, 0})
    ->Args({8, 0})
    ->Args({10, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Overlays)->ArgName("credits")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlasmaBand)
    ->ArgName("columns")
    ->Arg(160)
    ->Arg(kScreenWidth)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
