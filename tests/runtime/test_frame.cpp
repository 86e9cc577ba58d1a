// The whole show is the same picture however it is drawn: any number of threads, any vector
// lanes of the rasterizer.
#include <gtest/gtest.h>

#include <algorithm>
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
