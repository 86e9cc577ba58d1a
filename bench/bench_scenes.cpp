// One frame of each scene block, and of the overlays, with the demo's real start-up objects
// (the generated data directory beside the program) and track values the timeline reaches.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/screen.h"
#include "runtime/frame.h"
#include "runtime/platform.h"
#include "runtime/show.h"
#include "runtime/startup.h"
#include "scenes/discs.h"
#include "scenes/overlays.h"
#include "scenes/scene_pass.h"
#include "scenes/scenes.h"
#include "scenes/twister.h"

namespace {

// The pixel the benchmarks read back, so that the work cannot be optimised away.
constexpr int kCentreFloat = 4 * (kScreenHeight / 2 * kScreenWidth + kScreenWidth / 2);

struct Demo {
    bool ready = false;
    ShowAssets assets;
    Show show;
    float* framebuffer = nullptr;
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
            d.ready = loadShowAssets(d.assets, dir) && startShow(d.show, d.assets, nullptr);
            d.framebuffer = d.show.target.framebuffer;
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
        d.show.scenes.context->warnedThisFrame = false;
        clearFrame(d.framebuffer);
        updateLight(d.show.scenes.light, input.currentTime);
        if (scene == 8) advanceFallingDiscs(d.show.scenes);
        drawSceneBlock(scene, d.assets.scenes, d.show.scenes, d.show.target, input);
        benchmark::DoNotOptimize(d.framebuffer[kCentreFloat]);
    }
    state.counters["faces"] = d.show.scenes.context->faceCount;
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
        drawOverlays(d.assets.scenes, d.show.target, input);
        benchmark::DoNotOptimize(d.framebuffer[kCentreFloat]);
    }
}

void BM_PlasmaBand(benchmark::State& state) {
    static float framebuffer[kScreenFloats];
    const FrameTarget target{framebuffer};
    float time = 1.0f;
    const double al = static_cast<double>(state.range(0)) / kScreenWidth;
    for (auto _ : state) {
        time += 1.0f / 60.0f;
        drawPlasmaBand(target, time, 1.0, al);
        benchmark::DoNotOptimize(framebuffer[kCentreFloat]);
    }
    state.SetItemsProcessed(state.iterations() * 241 * state.range(0));
}

// The 2D passes on their own, through their vector lanes (scalar:0) or their scalar
// reference (scalar:1), over a framebuffer of colours in and out of 0..1.
PassLanes lanesArg(const benchmark::State& state) {
    return state.range(0) != 0 ? PassLanes::Scalar : PassLanes::Vector;
}

float* fullFrame() {
    static std::vector<float> framebuffer = [] {
        std::vector<float> f(kScreenFloats);
        for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<float>(i % 29) * 0.05f - 0.2f;
        return f;
    }();
    return framebuffer.data();
}

// A full-width picture of 200 rows with alpha varying along the row.
struct BenchPicture {
    std::vector<float> texels;
    Texture texture{};
    BenchPicture(int width, int height) : texels(size_t(width) * height * 4) {
        for (size_t i = 0; i < texels.size(); ++i) texels[i] = static_cast<float>(i % 17) / 16.0f;
        texture.width = width;
        texture.height = height;
        texture.texels = texels.data();
    }
};

void BM_BlendImage(benchmark::State& state) {
    static BenchPicture picture(kScreenWidth, 200);
    float* framebuffer = fullFrame();
    const FrameTarget target{framebuffer};
    for (auto _ : state) {
        blendImage(target, picture.texture, kCreditTopRow, 0.7f, lanesArg(state));
        benchmark::DoNotOptimize(framebuffer[kCentreFloat]);
    }
    state.SetItemsProcessed(state.iterations() * kScreenWidth * 200);
}

// The twister's spans of a whole screen: four sides per row, as wide as the bar's faces get.
void BM_TwisterSpans(benchmark::State& state) {
    static BenchPicture strip(4 * kTwisterStripWidth, kScreenHeight);
    float* framebuffer = fullFrame();
    int64_t pixels = 0;
    for (auto _ : state) {
        for (int y = 0; y < kScreenHeight; ++y) {
            float* row = framebuffer + static_cast<long>(y) * kScreenWidth * 4;
            const float* textureRow = strip.texels.data() + static_cast<long>(y) * 4 * 512;
            for (int side = 0; side < 4; ++side) {
                const float width = 60.0f + static_cast<float>((y * 7 + side * 53) % 220);
                drawTwisterSpan(row, kScreenWidth, textureRow, 312 + side * 40, width,
                                side * kTwisterStripWidth, width * 0.0025f, 512, lanesArg(state));
                pixels += static_cast<int64_t>(width);
            }
        }
        benchmark::DoNotOptimize(framebuffer[kCentreFloat]);
    }
    state.SetItemsProcessed(pixels);
}

// Scalar only: one vector load and store per pixel measured slower than the strided stores.
void BM_ResetDepth(benchmark::State& state) {
    float* framebuffer = fullFrame();
    const FrameTarget target{framebuffer};
    for (auto _ : state) {
        resetDepth(target);
        benchmark::DoNotOptimize(framebuffer[kCentreFloat]);
    }
    state.SetItemsProcessed(state.iterations() * kScreenPixels);
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
BENCHMARK(BM_BlendImage)->ArgName("scalar")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TwisterSpans)->ArgName("scalar")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResetDepth)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
