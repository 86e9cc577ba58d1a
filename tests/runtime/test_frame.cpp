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
#include "scenes/discs.h"
#include "show_fixture.h"

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

// Every fourth row of the show, in order, by a new run of the shared assets: each call plays
// the show again in the same process.
std::vector<uint64_t> showHashes(int threads, RasterLanes lanes) {
    setRasterizerLanes(lanes);
    TestShow show(ScreenSize{}, threads);
    std::vector<uint64_t> hashes;
    const Matrix4 camera = identityMatrix();
    for (double row = 0; row < kLastRow; row += 4) {
        const double seconds = row / ROWS_PER_SECOND;
        renderFrame({row, seconds, seconds, camera}, show);
        hashes.push_back(hashFrame(show.target.framebuffer));
    }
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

FrameState frameAt(long n, double fps) {
    const double seconds = n / fps;
    return FrameState{seconds * ROWS_PER_SECOND, seconds, seconds, identityMatrix()};
}

bool sameDiscs(const Show& a, const Show& b) {
    return std::memcmp(a.scenes.particles, b.scenes.particles, sizeof a.scenes.particles) == 0;
}

// The falling discs move with show time, not with the frames drawn: at 30, 60 and 144 frames a
// second they stand in the same places at the same moments (every sixth of a second is a frame
// of all three rates, at the same row), respawns included, and so does the whole picture.
TEST(Frame, TheDiscsFallAlikeAtAnyFrameRate) {
    TestShow at30, at60, at144;
    long next60 = 0, next144 = 0;
    int compared = 0;
    for (long n = 0; n <= 30 * 10; ++n) {  // the intro's discs and the flower's first bars
        renderFrame(frameAt(n, 30), at30);
        if (n % 5 != 0) continue;
        // Every frame of the other rates up to this moment.
        for (; next60 <= 2 * n; ++next60) renderFrame(frameAt(next60, 60), at60);
        for (; next144 <= 24 * n / 5; ++next144) renderFrame(frameAt(next144, 144), at144);
        ASSERT_EQ(frameAt(2 * n, 60).row, frameAt(n, 30).row);
        ASSERT_EQ(frameAt(24 * n / 5, 144).row, frameAt(n, 30).row);
        EXPECT_TRUE(sameDiscs(at30, at60)) << "frame " << n;
        EXPECT_TRUE(sameDiscs(at30, at144)) << "frame " << n;
        const uint64_t picture = hashFrame(at30.target.framebuffer);
        EXPECT_EQ(hashFrame(at60.target.framebuffer), picture) << "frame " << n;
        EXPECT_EQ(hashFrame(at144.target.framebuffer), picture) << "frame " << n;
        ++compared;
    }
    EXPECT_EQ(compared, 61);
    // The discs took a step every 60th of a second of the intro, and some fell out and came back.
    EXPECT_EQ(at30.scenes.discSteps, 601);
}

// Whatever the way to a row (straight there, back from later, a row drawn again, or frames
// handed out to several shows as the capture tool's threads take them), the frame is the one
// the show loop at 60 frames a second draws there.
TEST(Frame, AFrameIsTheSameHoweverItsRowIsReached) {
    constexpr int kFrames = 240;
    std::vector<uint64_t> reference;
    {
        TestShow show;
        for (int n = 0; n < kFrames; ++n) {
            renderFrame(frameAt(n, 60), show);
            reference.push_back(hashFrame(show.target.framebuffer));
        }
        // Back to the start: the discs stand where they stood then.
        renderFrame(frameAt(100, 60), show);
        EXPECT_EQ(hashFrame(show.target.framebuffer), reference[100]);
        renderFrame(frameAt(100, 60), show);  // drawn again: a paused frame stands still
        EXPECT_EQ(hashFrame(show.target.framebuffer), reference[100]);
    }
    TestShow straight;
    renderFrame(frameAt(kFrames - 1, 60), straight);
    EXPECT_EQ(hashFrame(straight.target.framebuffer), reference[kFrames - 1]);

    TestShow even, odd;
    int discFrames = 0;
    for (int n = 0; n < kFrames; ++n) {
        TestShow& show = n % 2 == 0 ? even : odd;
        discFrames += renderFrame(frameAt(n, 60), show) == 8 ? 1 : 0;
        ASSERT_EQ(hashFrame(show.target.framebuffer), reference[n]) << "frame " << n;
    }
    EXPECT_GT(discFrames, 200);
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
    ScreenSize screen;
    ASSERT_TRUE(screenForScale(2.25, screen));
    TestShow one, two(screen);
    const DemoTracks& tracks = one.assets->tracks;
    // The first row of every scene and of every overlay's appearance, in show order.
    std::vector<double> rows;
    bool seenScene[16] = {}, plasma = false, filler = false, credit1 = false, credit2 = false,
         banner = false;
    for (double row = 0; row < kLastRow; row += 1) {
        const TrackValues t = readTrackValues(tracks, row);
        const int scene = sceneNumberAt(tracks, row);
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
        const std::vector<float> a = blockMeans(one.target.framebuffer, one.target.screen);
        const std::vector<float> b = blockMeans(two.target.framebuffer, two.target.screen);
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
}

// The frame at scale 2 averaged over each 2 x 2 pixels, clamped colours as the display shows
// them, against the scale-1 frame: the mean difference of each row and of each column.
struct LineDifferences {
    std::vector<float> rows, columns;
};
LineDifferences differencesAtHalf(const float* one, const float* two) {
    LineDifferences d{std::vector<float>(kScreenHeight, 0.0f),
                      std::vector<float>(kScreenWidth, 0.0f)};
    const int wide = 2 * kScreenWidth;
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                float sum = 0.0f;
                for (int j = 0; j < 2; ++j) {
                    for (int i = 0; i < 2; ++i) {
                        sum +=
                            std::clamp(two[4 * ((2 * y + j) * wide + 2 * x + i) + c], 0.0f, 1.0f);
                    }
                }
                const float a = std::clamp(one[4 * (y * kScreenWidth + x) + c], 0.0f, 1.0f);
                const float difference = std::fabs(sum / 4.0f - a) / 3.0f;
                d.rows[y] += difference / kScreenWidth;
                d.columns[x] += difference / kScreenHeight;
            }
        }
    }
    return d;
}

// At scale 2 every picture pixel is 2 x 2 screen pixels, the outer ones too: the 3D scenes'
// border (the side planes meet the screen a fraction of a pixel inside its edges, so that
// the first row and column stay black and the last ones are drawn) has the same width in the
// picture. A projection that scaled the screen about its corner instead of its pixels' centres
// moves it by half a pixel: the last column and the first row come out half drawn.
TEST(Frame, AtScaleTwoTheFrameAveragesToTheScaleOneFrameEdgesIncluded) {
    ScreenSize screen;
    ASSERT_TRUE(screenForScale(2.0, screen));
    TestShow one, two(screen);
    // A row of each 3D scene that reaches the screen's edges.
    for (const double row : {192.37, 384.37, 576.37, 960.37, 1216.37, 1380.37}) {
        const double seconds = row / ROWS_PER_SECOND;
        const FrameState frame{row, seconds, seconds, identityMatrix()};
        renderFrame(frame, one);
        renderFrame(frame, two);
        const LineDifferences d = differencesAtHalf(one.target.framebuffer, two.target.framebuffer);
        // A half-drawn outer line differs by 0.02 to 0.12; edges of faces inside the
        // picture, which no scale draws alike pixel for pixel, leave at most 0.01 there.
        EXPECT_LT(d.rows.front(), 0.015f) << "row " << row;
        EXPECT_LT(d.rows.back(), 0.015f) << "row " << row;
        EXPECT_LT(d.columns.front(), 0.015f) << "row " << row;
        EXPECT_LT(d.columns.back(), 0.015f) << "row " << row;
    }
}

}  // namespace
