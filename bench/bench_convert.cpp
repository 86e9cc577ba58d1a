// Pixel conversion of one whole frame of the demo's screen, row by row as the display uploads it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "display/converters.h"
#include "display/display.h"
#include "render/screen.h"

namespace {

using namespace PixelDisplay;

// Colours mostly inside 0..1 with some out of range on both sides, as a lit scene gives.
std::vector<FloatPixel> makeFloatFrame() {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> component(-0.1f, 1.2f);
    std::vector<FloatPixel> frame(kScreenWidth * kScreenHeight);
    for (FloatPixel& p : frame) p = {component(random), component(random), component(random), 0.5f};
    return frame;
}

std::vector<PackedPixel> makePackedFrame() {
    std::mt19937 random(12345);
    std::vector<PackedPixel> frame(kScreenWidth * kScreenHeight);
    for (PackedPixel& p : frame) p = random() & 0xFFFFFFu;
    return frame;
}

template <class Pixel>
void convertFrame(benchmark::State& state, PixelFormat source, PixelFormat destination,
                  const std::vector<Pixel>& frame) {
    Converter* converter = findConverter(source, destination);
    const int rowBytes = kScreenWidth * pixelSize(destination);
    std::vector<uint8_t> texture(size_t(rowBytes) * kScreenHeight);
    for (auto _ : state) {
        converter->prepare();
        for (int y = 0; y < kScreenHeight; ++y) {
            converter->convert(frame.data() + y * kScreenWidth, texture.data() + y * rowBytes,
                               kScreenWidth);
        }
        converter->finish();
        benchmark::DoNotOptimize(texture.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kScreenWidth * kScreenHeight);
    state.SetBytesProcessed(state.iterations() * kScreenWidth * kScreenHeight *
                            int64_t(sizeof(Pixel)));
}

// 64 rows from the cache through each choice of lanes: the arithmetic alone, without the
// frame's memory traffic.
void convertCachedRow(benchmark::State& state, PixelFormat destination, ConversionLanes lanes) {
    const std::vector<FloatPixel> frame = makeFloatFrame();
    std::vector<uint8_t> row(size_t(kScreenWidth) * pixelSize(destination));
    for (auto _ : state) {
        for (int y = 0; y < 64; ++y) {
            const FloatPixel* source = frame.data() + (y % 4) * kScreenWidth;
            convertFloatsWith(lanes, destination, source, row.data(), kScreenWidth);
        }
        benchmark::DoNotOptimize(row.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kScreenWidth * 64);
}

void BM_CachedRows(benchmark::State& state) {
    convertCachedRow(state, static_cast<PixelFormat>(state.range(0)),
                     static_cast<ConversionLanes>(state.range(1)));
}

void BM_FloatToXRGB8888(benchmark::State& state) {
    convertFrame(state, XBGRFFFF, XRGB8888, makeFloatFrame());
}

void BM_FloatToRGB565(benchmark::State& state) {
    convertFrame(state, XBGRFFFF, RGB565, makeFloatFrame());
}

void BM_PackedCopy(benchmark::State& state) {
    convertFrame(state, XRGB8888, XRGB8888, makePackedFrame());
}

}  // namespace

BENCHMARK(BM_FloatToXRGB8888)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloatToRGB565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CachedRows)
    ->ArgNames({"format", "lanes"})  // lanes: 0 widest, 1 four, 2 scalar
    ->ArgsProduct({{XRGB8888, XBGR8888, RGB888, RGB565, XRGB1555}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackedCopy)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
