#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "scene_test_support.h"
#include "scenes/twister.h"

namespace {

const float* texel(const TestTexture& t, int x, int y) {
    return &t.texels[(static_cast<size_t>(y) * t.texture.width + x) * 4];
}

const float* pixel(const std::vector<float>& fb, int x, int y) {
    return &fb[(static_cast<size_t>(y) * 640 + x) * 4];
}

// The bar written straight from its description: per row the four edges, per side the span
// and its shaded texels, one pixel at a time.
void referenceTwister(std::vector<float>& fb, const TestTexture& tex, double t) {
    const float p = static_cast<float>(200.0 * std::sin(2.0 * t));
    const float q = static_cast<float>(std::sin(0.64 * t));
    for (int y = 0; y < 480; ++y) {
        const float a = (0.8f * y + p) * q * 0.01f;
        float e[4];
        e[0] = static_cast<float>(512.0 + 200.0 * std::sin(static_cast<double>(a)));
        e[1] = static_cast<float>(512.0 + 200.0 * std::cos(static_cast<double>(a)));
        e[2] = static_cast<float>(512.0 - 200.0 * std::sin(static_cast<double>(a)));
        e[3] = static_cast<float>(512.0 - 200.0 * std::cos(static_cast<double>(a)));
        for (int side = 0; side < 4; ++side) {
            const float from = e[side], to = e[(side + 1) % 4];
            if (!(static_cast<int>(from) < static_cast<int>(to))) continue;
            const float width = to - from;
            const float shade = width * 0.0024999999441206455f;
            float u = static_cast<float>(128 * side);
            const int x0 = static_cast<int>(std::ceil(from));
            for (int i = 0; i < static_cast<int>(std::ceil(width)); ++i) {
                const int x = x0 + i;
                if (x < 0 || x > 639) continue;
                // Rounding can carry u of the last strip onto column 512, past the row: the
                // last column is read instead.
                const int column = static_cast<int>(u) < 511 ? static_cast<int>(u) : 511;
                const float* s = texel(tex, column, y);
                float* d = &fb[(static_cast<size_t>(y) * 640 + x) * 4];
                for (int c = 0; c < 3; ++c) d[c] = shade * s[c];
                u += 128.0f / width;
            }
        }
    }
}

}  // namespace

TEST(Twister, AtTimeZero) {
    // Q = 0: every row has a = 0, edges 512, 712, 512, 312. Side 4 covers 312..511 from
    // column 384, side 1 covers 512..639 from column 0, both with shade 200 * 0.0025 = 0.5,
    // the column advancing 128 / 200 = 0.64 per pixel.
    TestTexture tex(512, 512);
    std::vector<float> fb(kTestFloats, 0.0f);
    drawTwister(FrameTarget{fb.data(), ScreenSize{}}, tex.texture, 0.0);
    for (int y : {0, 100, 479}) {
        for (int x = 0; x < 312; ++x) EXPECT_EQ(pixel(fb, x, y)[0], 0.0f) << x;
        const int cases[][2] = {{312, 384}, {313, 384}, {314, 385}, {511, 384 + 127},
                                {512, 0},   {514, 1},   {520, 5},   {639, 81}};
        for (const auto& c : cases) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_FLOAT_EQ(pixel(fb, c[0], y)[k], 0.5f * texel(tex, c[1], y)[k])
                    << "x " << c[0] << " row " << y;
            }
        }
        for (int x = 0; x < 640; ++x) EXPECT_EQ(pixel(fb, x, y)[3], 0.0f);  // depth untouched
    }
    // Rows past 479 of the texture are never read.
}

TEST(Twister, NarrowAndClippedSpans) {
    TestTexture tex(512, 4);
    std::vector<float> row(640 * 4, -1.0f);
    // Width 0.5: ceil gives one pixel, from column 128.
    drawTwisterSpan(row.data(), kScreenWidth, tex.texels.data(), 100, 0.5f, 128, 1.0f, 512);
    EXPECT_EQ(row[4 * 100 + 0], texel(tex, 128, 0)[0]);
    EXPECT_EQ(row[4 * 99 + 0], -1.0f);
    EXPECT_EQ(row[4 * 101 + 0], -1.0f);
    // A span running off the right edge: 600..639 written, the column advancing 1.28 per
    // pixel written; nothing beyond.
    std::vector<float> wide(641 * 4, -1.0f);  // one spare pixel to catch a write past 639
    drawTwisterSpan(wide.data(), kScreenWidth, tex.texels.data(), 600, 100.0f, 0, 2.0f, 512);
    EXPECT_EQ(wide[4 * 600], 2.0f * texel(tex, 0, 0)[0]);
    EXPECT_EQ(wide[4 * 601], 2.0f * texel(tex, 1, 0)[0]);
    EXPECT_EQ(wide[4 * 639], 2.0f * texel(tex, 49, 0)[0]);  // (int)(39 * 1.28) = 49
    EXPECT_EQ(wide[4 * 640], -1.0f);
    // A span ending exactly on the last strip's edge never reads past the row.
    std::vector<float> last(640 * 4, 0.0f);
    drawTwisterSpan(last.data(), kScreenWidth, tex.texels.data(), 0, 3.0f, 384, 1.0f, 512);
    EXPECT_EQ(last[4 * 2], texel(tex, 384 + 85, 0)[0]);
}

TEST(Twister, MatchesTheReferenceEverywhere) {
    TestTexture tex(512, 512);
    for (double t : {0.0, 0.37, 1.3, 2.9, 7.7, 42.1, 99.9}) {
        std::vector<float> fb(kTestFloats, 0.25f), expected(kTestFloats, 0.25f);
        drawTwister(FrameTarget{fb.data(), ScreenSize{}}, tex.texture, t);
        referenceTwister(expected, tex, t);
        int differing = 0;
        for (size_t i = 0; i < fb.size(); ++i) {
            if (std::fabs(fb[i] - expected[i]) > 1e-6f) ++differing;
        }
        EXPECT_EQ(differing, 0) << "t = " << t;
    }
}

TEST(Twister, NeverReachesLeftOf312) {
    TestTexture tex(512, 480);
    for (double t = 0; t < 60; t += 0.77) {
        std::vector<float> fb(kTestFloats, 0.0f);
        drawTwister(FrameTarget{fb.data(), ScreenSize{}}, tex.texture, t);
        for (int y = 0; y < 480; y += 7) {
            for (int x = 0; x < 312; ++x) ASSERT_EQ(pixel(fb, x, y)[0], 0.0f) << t;
        }
    }
}

TEST(Twister, SmallTexturesStayInBounds) {
    // Fewer rows than the screen: the rows below are left alone. Narrower than 512: the last
    // strips read the last column. Under AddressSanitizer any stray read shows.
    TestTexture tex(200, 100);
    std::vector<float> fb(kTestFloats, 0.0f);
    drawTwister(FrameTarget{fb.data(), ScreenSize{}}, tex.texture, 2.0);
    for (int x = 0; x < 640; ++x) EXPECT_EQ(pixel(fb, x, 300)[0], 0.0f);
}

namespace {

// The vector spans against their scalar reference, bit for bit, on rows of awkward floats:
// spans starting left of the row, running past its end, narrower than a pixel, wider than
// the row, and textures so narrow that the column clamps.
TEST(Twister, LanesMatchTheScalarReference) {
    struct Case {
        int x0;
        float width;
        int columnBase, textureWidth;
    };
    const Case cases[] = {{100, 0.5f, 128, 512}, {-30, 57.3f, 0, 512},     {600, 100.0f, 384, 512},
                          {0, 3.0f, 384, 512},   {-700, 900.0f, 256, 512}, {631, 9.01f, 128, 512},
                          {-1, 1.0f, 0, 512},    {312, 199.9f, 0, 7},      {640, 10.0f, 0, 512},
                          {-2000, 5.0f, 0, 512}, {5, 640.0f, 384, 400},    {320, 0.999f, 0, 1}};
    const float shades[] = {0.5f, 0.0f, -0.0f, 1.75f, -0.3f};
    uint32_t seed = 100;
    for (const Case& c : cases) {
        for (float shade : shades) {
            const std::vector<float> texels = awkwardFloats(size_t(c.textureWidth) * 4, seed++);
            const std::vector<float> start = awkwardFloats(640 * 4, seed++);
            std::vector<float> lanes = start, scalar = start;
            drawTwisterSpan(lanes.data(), kScreenWidth, texels.data(), c.x0, c.width, c.columnBase,
                            shade, c.textureWidth, PassLanes::Vector);
            drawTwisterSpan(scalar.data(), kScreenWidth, texels.data(), c.x0, c.width, c.columnBase,
                            shade, c.textureWidth, PassLanes::Scalar);
            EXPECT_EQ(std::memcmp(lanes.data(), scalar.data(), sizeof(float) * 640 * 4), 0)
                << "x0 " << c.x0 << " width " << c.width << " shade " << shade;
        }
    }
}

}  // namespace
