// The whole show is the same picture however it is drawn: any number of threads, any vector
// lanes of the rasterizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "render/rasterizer.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "runtime/startup.h"

namespace {

uint64_t hashFrame(const float* framebuffer) {
    // FNV-1a over the bytes: any changed bit changes it.
    uint64_t hash = 14695981039346656037ull;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(framebuffer);
    for (size_t i = 0; i < kScreenFloats * sizeof(float); ++i) {
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    }
    return hash;
}

// Every fourth row of the show, in order (the falling discs carry state), from a fresh start.
std::vector<uint64_t> showHashes(int threads, RasterLanes lanes) {
    setRasterizerLanes(lanes);
    Show show;
    EXPECT_TRUE(startShow(show, DEMO_TEST_DATA_DIR, nullptr));
    setRenderThreads(show, threads);
    std::vector<uint64_t> hashes;
    const Matrix4 camera = identityMatrix();
    for (double row = 0; row < kLastRow; row += 4) {
        const double seconds = row / ROWS_PER_SECOND;
        renderFrame({row, seconds, seconds, camera}, show);
        hashes.push_back(hashFrame(show.framebuffer));
    }
    endShow(show);
    setRasterizerLanes(widestRasterizerLanes());
    return hashes;
}

TEST(Frame, WholeShowIsBitIdenticalOnAnyNumberOfThreadsAndLanes) {
    const std::vector<uint64_t> reference = showHashes(1, RasterLanes::kScalar);
    const RasterLanes widest = widestRasterizerLanes();
    struct Way {
        int threads;
        RasterLanes lanes;
    };
    // The widest lanes (8 with AVX2) on 2 and 4 threads, 4 lanes on one.
    for (const Way way : {Way{1, RasterLanes::kFour}, Way{2, widest}, Way{4, widest}}) {
        if (static_cast<int>(way.lanes) > static_cast<int>(widest)) continue;
        const std::vector<uint64_t> hashes = showHashes(way.threads, way.lanes);
        ASSERT_EQ(hashes.size(), reference.size());
        for (size_t i = 0; i < reference.size(); ++i) {
            ASSERT_EQ(hashes[i], reference[i]) << "row " << 4 * i << ", threads " << way.threads
                                               << ", lanes " << static_cast<int>(way.lanes);
        }
    }
}

}  // namespace

namespace {

// The capture tool draws frames on other shows than the one that carries the falling discs:
// those frames must be the one-show loop's, respawns included (the intro and the flower's
// first bars, at 30 frames a second).
TEST(Frame, FramesDrawnFromACopiedParticleTableAreTheOneShowLoops) {
    constexpr int kFrames = 300;
    std::vector<uint64_t> reference;
    {
        Show show;
        ASSERT_TRUE(startShow(show, DEMO_TEST_DATA_DIR, nullptr));
        for (int n = 0; n < kFrames; ++n) {
            const double seconds = n / 30.0;
            renderFrame({seconds * ROWS_PER_SECOND, seconds, seconds, identityMatrix()}, show);
            reference.push_back(hashFrame(show.framebuffer));
        }
        endShow(show);
    }
    // Started after the reference is done: every start-up reseeds the one random stream.
    Show state, drawer;
    ASSERT_TRUE(startShow(state, DEMO_TEST_DATA_DIR, nullptr));
    ASSERT_TRUE(startShow(drawer, DEMO_TEST_DATA_DIR, nullptr));
    int discFrames = 0;
    for (int n = 0; n < kFrames; ++n) {
        const double seconds = n / 30.0;
        const FrameState frame{seconds * ROWS_PER_SECOND, seconds, seconds, identityMatrix()};
        advanceFrame(frame, state);
        std::copy(std::begin(state.objects.particles), std::end(state.objects.particles),
                  std::begin(drawer.objects.particles));
        discFrames += drawFrame(frame, drawer) == 8 ? 1 : 0;
        ASSERT_EQ(hashFrame(drawer.framebuffer), reference[n]) << "frame " << n;
    }
    EXPECT_GT(discFrames, 200);
    endShow(state);
    endShow(drawer);
}

}  // namespace

namespace {

// The mean clamped colour of each 8 x 8 block of the picture, whatever the screen's size.
std::vector<float> blockMeans(const float* framebuffer, const ScreenSize& screen) {
    constexpr int kBlock = 8;
    const int columns = kScreenWidth / kBlock, rows = kScreenHeight / kBlock;
    std::vector<float> sums(static_cast<size_t>(columns) * rows * 3, 0.0f);
    std::vector<int> counts(static_cast<size_t>(columns) * rows, 0);
    for (int y = 0; y < screen.height; ++y) {
        const int by = static_cast<int>(y / screen.scale) / kBlock;
        for (int x = 0; x < screen.width; ++x) {
            const int block = by * columns + static_cast<int>(x / screen.scale) / kBlock;
            const float* pixel = framebuffer + 4 * (static_cast<long>(y) * screen.width + x);
            for (int c = 0; c < 3; ++c) sums[3 * block + c] += std::clamp(pixel[c], 0.0f, 1.0f);
            ++counts[block];
        }
    }
    for (size_t i = 0; i < sums.size(); ++i) sums[i] /= counts[i / 3];
    return sums;
}

// A scaled show is the same picture with more pixels: every scene, and every overlay where it
// shows, lands in the same blocks as at scale 1. A pass that kept picture rows or columns as
// screen ones (or scaled them twice) moves a band, a picture or an edge by many blocks.
TEST(Frame, AScaledFrameShowsTheSamePictureInTheSamePlaces) {
    Show one, two;
    ASSERT_TRUE(startShow(one, DEMO_TEST_DATA_DIR, nullptr));
    ScreenSize screen;
    ASSERT_TRUE(screenForScale(2.25, screen));
    ASSERT_TRUE(startShow(two, DEMO_TEST_DATA_DIR, nullptr, screen));
    // The first row of every scene and of every overlay's appearance, in show order.
    std::vector<double> rows;
    bool seenScene[16] = {}, plasma = false, filler = false, credit1 = false, credit2 = false,
         banner = false;
    for (double row = 0; row < kLastRow; row += 1) {
        const TrackValues t = readTrackValues(one.tracks, row);
        const int scene = sceneNumberAt(one.tracks, row);
        bool wanted = false;
        if (scene >= 0 && scene < 16 && !seenScene[scene]) wanted = seenScene[scene] = true;
        if (!plasma && t.wfac > 0.5 && t.al > 0.5) wanted = plasma = true;
        if (!filler && t.cfy > 100 && t.cfy < 400) wanted = filler = true;
        if (!credit1 && t.cred1 > 0.5) wanted = credit1 = true;
        if (!credit2 && t.cred2 > 0.5) wanted = credit2 = true;
        if (!banner && scene == 3 && t.greet >= 1.5) wanted = banner = true;
        if (wanted) rows.push_back(row);
    }
    EXPECT_TRUE(plasma && filler && credit1 && credit2 && banner);
    for (const double row : rows) {
        const double seconds = row / ROWS_PER_SECOND;
        const FrameState frame{row, seconds, seconds, identityMatrix()};
        renderFrame(frame, one);
        renderFrame(frame, two);
        const std::vector<float> a = blockMeans(one.framebuffer, one.objects.screen);
        const std::vector<float> b = blockMeans(two.framebuffer, two.objects.screen);
        float worst = 0.0f, total = 0.0f;
        for (size_t i = 0; i < a.size(); ++i) {
            worst = std::max(worst, std::fabs(a[i] - b[i]));
            total += std::fabs(a[i] - b[i]);
        }
        // Edges of 3D faces and picture borders fall a fraction of a block apart (at most
        // about 0.15 in one block, 0.01 on average); a misplaced band or picture moves whole
        // rows of blocks by far more.
        EXPECT_LT(worst, 0.3f) << "row " << row;
        EXPECT_LT(total / a.size(), 0.02f) << "row " << row;
    }
    endShow(one);
    endShow(two);
}

}  // namespace
