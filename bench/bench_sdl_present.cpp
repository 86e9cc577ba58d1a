// Presentation of one 640x480 frame by the SDL display: conversion into the streaming texture,
// upload and present, without waiting for the vertical blank. It needs a window system: run it
// under xvfb-run where there is none. "CPU" is the calling thread's time, "Time" the wall clock
// (which also covers the renderer's own threads and the window system).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <vector>

#include "display/sdl/sdl_display.h"
#include "render/screen.h"

namespace PixelDisplay {
namespace {

constexpr int kWidth = kScreenWidth;
constexpr int kHeight = kScreenHeight;

// Renderer 0 is SDL's own choice (accelerated where there is one), 1 the software renderer.
void presentFrames(benchmark::State& state, bool floats) {
    const bool software = state.range(0) == 1;
    const auto output = static_cast<DisplayOutput>(state.range(1));
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, software ? "software" : "");
    SdlDisplay display(PresentSync::Immediate);
    if (!display.videoAvailable() || !display.open("bench", kWidth, kHeight, output, FloatPixels)) {
        state.SkipWithError("no window system");
        return;
    }
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(display.renderer(), &info) == 0) {
        state.SetLabel(std::string(info.name) +
                       (output == Fullscreen ? " full screen" : " window"));
    }
    // Every pixel different, in range, so that no conversion takes a shortcut.
    std::vector<FloatPixel> floatFrame(size_t(kWidth) * kHeight);
    std::vector<PackedPixel> packedFrame(floatFrame.size());
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            floatFrame[size_t(y) * kWidth + x] = {x / float(kWidth), y / float(kHeight), (x ^ y) / 1024.0f, 0.5f};
            packedFrame[size_t(y) * kWidth + x] = PackedPixel(x * 0x10101 ^ y * 0x100);
        }
    }
    for (auto _ : state) {
        const bool shown = floats ? display.update(floatFrame.data(), nullptr)
                                  : display.update(packedFrame.data(), nullptr);
        benchmark::DoNotOptimize(shown);
    }
    state.SetItemsProcessed(state.iterations());
    display.close();
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "");
}

void BM_PresentFloatFrame(benchmark::State& state) {
    presentFrames(state, true);
}
void BM_PresentPackedFrame(benchmark::State& state) {
    presentFrames(state, false);
}

BENCHMARK(BM_PresentFloatFrame)
    ->ArgsProduct({{0, 1}, {Windowed, Fullscreen}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentPackedFrame)->ArgsProduct({{0, 1}, {Windowed}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace PixelDisplay

BENCHMARK_MAIN();
