// Kernels of the software renderer: frame clear, the three fillers over a triangle-size sweep
// with each vector lane width (1 = scalar, 4, 8; widths the processor lacks are skipped), and a
// whole flush of a pass of small lit triangles.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "render/aligned_block.h"
#include "render/rasterizer.h"
#include "render/render_context.h"
#include "render/screen.h"
#include "render/texture.h"

namespace {

constexpr size_t kFrameBytes = kScreenFloats * sizeof(float);

// Aligned like the demo's framebuffer.
float* newFrame() {
    void* block = allocateAligned(kFrameBytes);
    if (block == nullptr) {
        std::fputs("out of memory for the frame\n", stderr);
        std::exit(1);
    }
    std::memset(block, 0, kFrameBytes);
    return static_cast<float*>(block);
}

void freeFrame(float* frame) {
    freeAligned(frame);
}

void BM_ClearFrame(benchmark::State& state) {
    float* frame = newFrame();
    for (auto _ : state) {
        std::memset(frame, 0, kFrameBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
    freeFrame(frame);
}
BENCHMARK(BM_ClearFrame);

// A right triangle with legs of `leg` px (about leg^2 / 2 pixels), counter-clockwise on the
// screen, at one of many places. Each draw is flat and nearer than the last (q = 1/z falls as
// the iteration count grows), so every covered pixel passes the depth test and is shaded;
// corners at different depths would let later triangles lose pixels to earlier ones.
struct Placement {
    std::vector<float> x, y;
    explicit Placement(float leg) {
        std::mt19937 rng(7);
        const float maxX = kScreenWidth - leg - 1, maxY = kScreenHeight - leg - 1;
        for (int i = 0; i < 1024; ++i) {
            x.push_back(maxX > 0 ? std::uniform_real_distribution<float>(0, maxX)(rng) : 0);
            y.push_back(maxY > 0 ? std::uniform_real_distribution<float>(0, maxY)(rng) : 0);
        }
    }
};

void corners(ScreenCorner c[3], const Placement& p, size_t i, float leg, int64_t iteration) {
    const float x = p.x[i % p.x.size()], y = p.y[i % p.y.size()];
    const float z = -1000.0f / static_cast<float>(iteration + 1);
    c[0] = {x + 0.3f, y + 0.2f, z};
    c[1] = {x + 0.3f, y + 0.2f + leg, z};
    c[2] = {x + 0.3f + leg, y + 0.2f, z};
}

// `leg` 1000 stands for the screen-sized case: two triangles that cover the whole screen.
template <typename Draw>
void fillSweep(benchmark::State& state, Draw draw) {
    const RasterLanes lanes = static_cast<RasterLanes>(state.range(1));
    if (static_cast<int>(lanes) > static_cast<int>(widestRasterizerLanes())) {
        state.SkipWithError("lanes not run by this processor");
        return;
    }
    setRasterizerLanes(lanes);
    const float leg = static_cast<float>(state.range(0));
    float* frame = newFrame();
    const Placement placement(leg);
    int64_t n = 0;
    for (auto _ : state) {
        ScreenCorner c[3];
        if (leg >= 1000) {
            const float z = -1000.0f / static_cast<float>(n + 1);
            const ScreenCorner a[3] = {
                {0, 0, z}, {0, kScreenHeight, z}, {kScreenWidth, kScreenHeight, z}};
            const ScreenCorner b[3] = {
                {0, 0, z}, {kScreenWidth, kScreenHeight, z}, {kScreenWidth, 0, z}};
            draw(frame, a);
            draw(frame, b);
        } else {
            corners(c, placement, static_cast<size_t>(n), leg, n);
            draw(frame, c);
        }
        ++n;
        benchmark::ClobberMemory();
    }
    const double pixels = leg >= 1000 ? kScreenPixels : 0.5 * leg * leg;
    state.counters["pixels/s"] = benchmark::Counter(
        pixels * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    freeFrame(frame);
    setRasterizerLanes(widestRasterizerLanes());
}

// Legs 6 (~20 px), 63 (~2000 px), 300 (~45000 px) and the full screen (1000: two triangles).
void triangleSizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"leg", "lanes"});
    for (int leg : {6, 63, 300, 1000}) {
        for (int lanes : {1, 4, 8}) b->Args({leg, lanes});
    }
}

void BM_FillLit(benchmark::State& state) {
    const float colour[3] = {0.8f, 0.7f, 0.2f};
    const float intensity[3] = {0.5f, 1.0f, 1.5f};
    fillSweep(state, [&](float* frame, const ScreenCorner c[3]) {
        fillLit(frame, kScreenWidth, kScreenHeight, c, colour, intensity);
    });
}
BENCHMARK(BM_FillLit)->Apply(triangleSizes);

struct BenchTexture {
    std::vector<float> texels = std::vector<float>(256 * 256 * 4);
    Texture texture{};
    BenchTexture() {
        std::mt19937 rng(3);
        for (float& t : texels) t = std::uniform_real_distribution<float>(0, 1)(rng);
        texture.texels = texels.data();
        texture.width = 256;
        texture.height = 256;
    }
};

void BM_FillTextured(benchmark::State& state) {
    const BenchTexture t;
    const Uv uv[3] = {{0.1f, 0.1f}, {0.1f, 0.9f}, {0.9f, 0.1f}};
    fillSweep(state, [&](float* frame, const ScreenCorner c[3]) {
        fillTextured(frame, kScreenWidth, kScreenHeight, c, uv, t.texture);
    });
}
BENCHMARK(BM_FillTextured)->Apply(triangleSizes);

void BM_FillTexturedLit(benchmark::State& state) {
    const BenchTexture t;
    const Uv uv[3] = {{0.1f, 0.1f}, {0.1f, 0.9f}, {0.9f, 0.1f}};
    const float intensity[3] = {0.5f, 1.0f, 1.5f};
    fillSweep(state, [&](float* frame, const ScreenCorner c[3]) {
        fillTexturedLit(frame, kScreenWidth, kScreenHeight, c, uv, t.texture, intensity);
    });
}
BENCHMARK(BM_FillTexturedLit)->Apply(triangleSizes);

// One scene pass: 10000 small lit triangles (about 20 pixels each) spread over the screen at
// depths 5..50, one light; sort, projection, lighting and rasterization. The frame clear
// between passes is not timed.
void BM_FlushSmallLitTriangles(benchmark::State& state) {
    float* frame = newFrame();
    TextureTable table{};
    ViewVolume* view = createViewVolume();
    const FrameTarget target{frame};
    RenderContext* context = createRenderContext(&table, view);
    const Material material{{0.3f, 0.6f, 0.9f, 1.0f}, -1, kShaderLitColour};
    Light light{};
    light.camera = {0.0f, 2.0f, 0.0f, 0.0f};
    light.strength = 50.0f;

    std::mt19937 rng(11);
    auto uniform = [&](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    const int kTriangles = 10000;
    for (int i = 0; i < kTriangles; ++i) {
        // A screen position, lifted to camera space at depth z; legs of 6 px on the screen.
        const float z = -uniform(5.0f, 50.0f);
        const float sx = uniform(0.0f, 630.0f), sy = uniform(0.0f, 470.0f);
        const float scale = -z / 201.0f;  // pixels to camera units at this depth
        const float x = (sx - 320.0f) * scale, y = (240.0f - sy) * scale;
        const int v = context->vertexCount;
        context->vertices[v + 0] = {x, y, z, 0.0f, 0.0f, 0.0f};
        context->vertices[v + 1] = {x, y - 6.0f * scale, z, 0.0f, 0.0f, 0.0f};
        context->vertices[v + 2] = {x + 6.0f * scale, y, z, 0.0f, 0.0f, 0.0f};
        context->vertexCount += 3;
        context->normals[context->normalCount++] = {0.0f, 0.0f, 1.0f, 0.0f};
        Face& face = context->faces[context->faceCount++];
        face.cornerCount = 3;
        for (int k = 0; k < 3; ++k) {
            face.vertexIndex[k] = v + k;
            face.normalIndex[k] = context->normalCount - 1;
        }
        face.material = &material;
    }
    addLight(*context, &light);

    for (auto _ : state) {
        state.PauseTiming();
        std::memset(frame, 0, kFrameBytes);
        state.ResumeTiming();
        flushContext(*context, target);
        benchmark::ClobberMemory();
    }
    state.counters["triangles/s"] = benchmark::Counter(
        kTriangles * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    destroyRenderContext(context);
    destroyViewVolume(view);
    freeFrame(frame);
}
BENCHMARK(BM_FlushSmallLitTriangles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
