#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/render_pool.h"
#include "scene_test_support.h"
#include "scenes/overlays.h"
#include "scenes/scenes.h"

namespace {

float* pixel(std::vector<float>& fb, int x, int y) {
    return &fb[(static_cast<size_t>(y) * 640 + x) * 4];
}

// A framebuffer with a recognisable pattern, values above 1 and below 0 included.
std::vector<float> patterned() {
    std::vector<float> fb(kTestFloats);
    for (size_t i = 0; i < fb.size(); ++i) fb[i] = static_cast<float>(i % 23) * 0.1f - 0.4f;
    return fb;
}

// The band written straight from its description, pixel by pixel, every term recomputed.
void referenceBand(std::vector<float>& fb, float T, double wfac, double al) {
    const float a = 80.0f * T;
    const float cx = static_cast<float>(128.0 * std::sin(a * -0.025));
    const float cy = static_cast<float>(200.0 * std::sin(-a * 0.01594896331738437));
    int count = static_cast<int>(al * 640);
    if (count > 640) count = 640;
    for (int y = 120; y <= 360; ++y) {
        for (int x = 0; x < count; ++x) {
            const double X = x - 320, Y = 240 - y;
            const double dx = X - cx, dy = Y - cy;
            const float s = static_cast<float>(dx * dx + dy * dy);
            int32_t bits;
            std::memcpy(&bits, &s, 4);
            bits = (bits >> 1) + 0x1fc00000;
            float rho;
            std::memcpy(&rho, &bits, 4);
            const double d = std::sin(rho * 0.8 * 0.024545900834560628);
            const double e =
                std::sin(Y * 0.02 * std::sin(0.02 * a) + 0.025 * a + X * 0.024937655860349125);
            const double f = 0.12 * d + 0.25 * e;
            const float colour[3] = {static_cast<float>(0.8 * f + 0.6),
                                     static_cast<float>(0.12 * e + 0.6),
                                     static_cast<float>(0.25 * d + 0.6)};
            const float l = static_cast<float>(wfac) * static_cast<float>(f + 0.5);
            float* p = pixel(fb, x, y);
            for (int c = 0; c < 3; ++c) p[c] = p[c] * (1 - l) + colour[c] * l;
        }
    }
    fb[0] = 0.7f;
}

void referenceBlend(std::vector<float>& fb, const TestTexture& image, int top, float weight) {
    for (int r = 0; r < image.texture.height && top + r < 480; ++r) {
        for (int x = 0; x < image.texture.width && x < 640; ++x) {
            const float* t = &image.texels[(static_cast<size_t>(r) * image.texture.width + x) * 4];
            float* p = pixel(fb, x, top + r);
            const float alpha = weight * t[3];
            for (int c = 0; c < 3; ++c) {
                const float old = std::fmin(std::fmax(p[c], 0.0f), 1.0f);
                p[c] = old * (1 - alpha) + t[c] * alpha;
            }
        }
    }
}

int countDifferences(const std::vector<float>& a, const std::vector<float>& b, float tol) {
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!(std::fabs(a[i] - b[i]) <= tol * (1 + std::fabs(b[i])))) ++n;
    }
    return n;
}

float quarterAlpha(int x, int) {
    return static_cast<float>(x % 4) / 3.0f;
}

SceneInput overlayInput() {
    SceneInput input{};
    input.currentTime = 12.5;
    return input;
}

}  // namespace

TEST(Plasma, ColourFromFirstPrinciples) {
    // a = 0: centre (0, 0), no phase. At the centre s = 0, whose approximate root is the bit
    // pattern 0x1fc00000 (about 1e-19): d = e = 0, so r = g = b = 0.6 and k = 0.5.
    PlasmaColour c = plasmaColour(0.0f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(c.r, 0.6f);
    EXPECT_FLOAT_EQ(c.g, 0.6f);
    EXPECT_FLOAT_EQ(c.b, 0.6f);
    EXPECT_FLOAT_EQ(c.k, 0.5f);
    // (3, 4): s = 25 = 0x41c80000; halved and biased: 0x40a40000 = 5.125 (the exact root is 5).
    c = plasmaColour(0.0f, 3.0f, 4.0f);
    const double d = std::sin(5.125 * 0.8 * 0.024545900834560628);
    const double e = std::sin(3 * 0.024937655860349125);
    const double f = 0.12 * d + 0.25 * e;
    EXPECT_FLOAT_EQ(c.r, static_cast<float>(0.8 * f + 0.6));
    EXPECT_FLOAT_EQ(c.g, static_cast<float>(0.12 * e + 0.6));
    EXPECT_FLOAT_EQ(c.b, static_cast<float>(0.25 * d + 0.6));
    EXPECT_FLOAT_EQ(c.k, static_cast<float>(f + 0.5));
    // s = 4 gives exactly 2, s = 1 exactly 1: (2, 0) and (1, 0) differ only through d.
    const PlasmaColour two = plasmaColour(0.0f, 0.0f, 2.0f);
    EXPECT_FLOAT_EQ(two.b,
                    static_cast<float>(0.25 * std::sin(2 * 0.8 * 0.024545900834560628) + 0.6));
}

TEST(Plasma, BandCoverage) {
    // al = 0 or wfac = 0: the band's rows are unchanged, but (0, 0) still gets red 0.7.
    for (auto [wfac, al] : {std::pair{1.0, 0.0}, std::pair{0.0, 1.0}, std::pair{1.0, -3.0}}) {
        std::vector<float> fb = patterned(), before = fb;
        drawPlasmaBand(FrameTarget{fb.data(), ScreenSize{}}, 3.0f, wfac, al);
        before[0] = 0.7f;
        EXPECT_EQ(countDifferences(fb, before, 0.0f), 0) << wfac << " " << al;
    }
    // al = 0.5 covers columns 0..319 of rows 120..360 and nothing else.
    std::vector<float> fb(kTestFloats, 0.0f);
    drawPlasmaBand(FrameTarget{fb.data(), ScreenSize{}}, 3.0f, 1.0, 0.5);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            const bool inBand = y >= 120 && y <= 360 && x < 320;
            const float* p = pixel(fb, x, y);
            if (x == 0 && y == 0) continue;
            ASSERT_EQ(p[1] != 0.0f, inBand) << x << "," << y;
            ASSERT_EQ(p[3], 0.0f);
        }
    }
    EXPECT_EQ(pixel(fb, 0, 0)[0], 0.7f);
    // al above 1 stops at the row's end: row 121 is not touched by row 120's band.
    std::vector<float> wide(kTestFloats, 0.0f), full(kTestFloats, 0.0f);
    drawPlasmaBand(FrameTarget{wide.data(), ScreenSize{}}, 3.0f, 1.0, 7.5);
    drawPlasmaBand(FrameTarget{full.data(), ScreenSize{}}, 3.0f, 1.0, 1.0);
    EXPECT_EQ(countDifferences(wide, full, 0.0f), 0);
    // Values under the band are not clamped: 5 stays above 1 after a weight below 1.
    std::vector<float> bright(kTestFloats, 5.0f);
    drawPlasmaBand(FrameTarget{bright.data(), ScreenSize{}}, 3.0f, 1.0, 1.0);
    EXPECT_GT(pixel(bright, 100, 200)[0], 1.0f);
}

TEST(Plasma, MatchesTheReferencePixelByPixel) {
    for (float T : {0.0f, 1.7f, 33.3f, 101.0f}) {
        for (auto [wfac, al] : {std::pair{1.0, 1.0}, std::pair{0.6, 0.37}, std::pair{-0.5, 0.9}}) {
            std::vector<float> fb = patterned(), expected = patterned();
            drawPlasmaBand(FrameTarget{fb.data(), ScreenSize{}}, T, wfac, al);
            referenceBand(expected, T, wfac, al);
            EXPECT_EQ(countDifferences(fb, expected, 2e-6f), 0) << T << " " << wfac << " " << al;
        }
    }
}

// Four rows per vector against the row-by-row reference, bit for bit: awkward framebuffer
// floats, band heights that leave rows over after the groups of four (scaled screens), and
// the rows shared out over threads.
TEST(Plasma, LanesMatchTheScalarReference) {
    RenderPool* pool = createRenderPool(3);
    for (const double scale : {1.0, 1.05, 2.25}) {
        ScreenSize screen;
        ASSERT_TRUE(screenForScale(scale, screen));
        const std::vector<float> start = awkwardFloats(static_cast<size_t>(screen.floats()), 7);
        for (float T : {0.0f, 2.9f, 71.4f}) {
            for (auto [wfac, al] :
                 {std::pair{1.0, 1.0}, std::pair{0.3, 0.41}, std::pair{-2.0, 0.7}}) {
                std::vector<float> lanes = start, scalar = start;
                drawPlasmaBand(FrameTarget{lanes.data(), screen, pool}, T, wfac, al,
                               PassLanes::Vector);
                drawPlasmaBand(FrameTarget{scalar.data(), screen, nullptr}, T, wfac, al,
                               PassLanes::Scalar);
                ASSERT_EQ(firstDifference(lanes, scalar), -1) << scale << " " << T << " " << al;
            }
        }
    }
    destroyRenderPool(pool);
}

TEST(Pictures, BlendClampsTheOldPixelFirst) {
    TestTexture image(640, 30, quarterAlpha);
    std::vector<float> fb = patterned(), expected = patterned();
    blendImage(FrameTarget{fb.data(), ScreenSize{}}, image.texture, 455,
               0.8f);  // rows 455..479, cut at the bottom
    referenceBlend(expected, image, 455, 0.8f);
    EXPECT_EQ(countDifferences(fb, expected, 1e-7f), 0);
    // Alpha 0 (column 0): the old value comes back clamped: 1.8 -> 1, -0.4 -> 0.
    std::vector<float> hot(kTestFloats, 1.8f);
    blendImage(FrameTarget{hot.data(), ScreenSize{}}, image.texture, 10, 1.0f);
    EXPECT_EQ(pixel(hot, 0, 10)[0], 1.0f);
    EXPECT_EQ(pixel(hot, 0, 9)[0], 1.8f);   // above the picture: untouched
    EXPECT_EQ(pixel(hot, 0, 10)[3], 1.8f);  // depth untouched
    std::vector<float> cold(kTestFloats, -0.4f);
    blendImage(FrameTarget{cold.data(), ScreenSize{}}, image.texture, 10, 1.0f);
    EXPECT_EQ(pixel(cold, 4, 12)[2], 0.0f);
    // Alpha 1 (column 3, weight 1): the texel itself.
    EXPECT_EQ(pixel(cold, 3, 12)[0], image.texels[(2 * 640 + 3) * 4]);
}

TEST(Pictures, OtherSizesDrawOnlyWhatIsOnScreen) {
    // Wider than the screen: the first 640 columns of each row.
    TestTexture wide(700, 20);
    std::vector<float> fb = patterned(), expected = patterned();
    blendImage(FrameTarget{fb.data(), ScreenSize{}}, wide.texture, 470, 1.0f);
    referenceBlend(expected, wide, 470, 1.0f);
    EXPECT_EQ(countDifferences(fb, expected, 1e-7f), 0);
    // Narrower: columns beyond it untouched.
    TestTexture narrow(10, 5);
    std::vector<float> small = patterned(), original = patterned();
    blendImage(FrameTarget{small.data(), ScreenSize{}}, narrow.texture, 100, 1.0f);
    EXPECT_EQ(pixel(small, 10, 100)[0], pixel(original, 10, 100)[0]);
    EXPECT_NE(pixel(small, 9, 100)[0], pixel(original, 9, 100)[0]);
    // Below the screen: nothing.
    blendImage(FrameTarget{small.data(), ScreenSize{}}, narrow.texture, 480, 1.0f);
    blendImage(FrameTarget{small.data(), ScreenSize{}}, narrow.texture, 2147483647, 1.0f);
}

// On a scaled screen a picture covers the screen rows of its picture rows, reads between its
// texels without leaving the picture, lets no transparent texel's colour through, and is cut
// at the screen's edges like the unscaled one.
TEST(Pictures, ScaledPicturesKeepTheirPlaceAndEdges) {
    ScreenSize screen;
    ASSERT_TRUE(screenForScale(2.25, screen));
    // Columns 0..9 transparent red, the rest opaque blue; wider than the picture.
    TestTexture image(700, 30, [](int x, int) { return x < 10 ? 0.0f : 1.0f; });
    for (size_t i = 0; i < image.texels.size(); i += 4) {
        const bool clear = (i / 4) % 700 < 10;
        image.texels[i] = clear ? 1.0f : 0.0f;
        image.texels[i + 1] = 0.0f;
        image.texels[i + 2] = clear ? 0.0f : 1.0f;
    }
    std::vector<float> fb(screen.floats(), 0.0f);
    const auto at = [&](int x, int y) {
        return &fb[4 * (static_cast<size_t>(y) * screen.width + x)];
    };
    blendImage(FrameTarget{fb.data(), screen}, image.texture, 460, 1.0f);  // cut at the bottom
    const int first = screen.pixelFrom(460);
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            const float* p = at(x, y);
            ASSERT_EQ(p[0], 0.0f) << x << "," << y;  // no red from the transparent texels
            ASSERT_EQ(p[3], 0.0f);                   // depth untouched
            if (y < first) {
                ASSERT_EQ(p[2], 0.0f) << x << "," << y;
            } else if (x >= screen.pixelFrom(11)) {
                ASSERT_NEAR(p[2], 1.0f, 1e-6f) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(at(screen.pixelFrom(5), first)[2], 0.0f);
    // Wholly off screen, far or near: nothing, and no row outside the framebuffer is touched.
    std::vector<float> untouched(screen.floats(), 0.0f);
    for (const int top : {-30, -2147483647 - 1, 480, 2147483647}) {
        std::fill(fb.begin(), fb.end(), 0.0f);
        blendImage(FrameTarget{fb.data(), screen}, image.texture, top, 1.0f);
        EXPECT_EQ(fb, untouched) << top;
    }
}

// The vector blend against its scalar reference, bit for bit but for which NaN comes out
// where both products are NaN (the compiler's operand order decides that, in scalar code as
// in vectors): awkward floats in the framebuffer and the picture (alpha included), widths
// around the vector and the row, and pictures cut at every edge.
TEST(Pictures, LanesMatchTheScalarReference) {
    struct Case {
        int width, height, top;
        float weight;
    };
    const Case cases[] = {{1, 1, 0, 1.0f},       {3, 5, 477, 0.5f},   {7, 9, -4, 0.8f},
                          {640, 3, 200, 1.0f},   {641, 4, 10, 0.3f},  {700, 30, 465, 1.7f},
                          {13, 40, -39, -0.25f}, {639, 2, 478, 0.0f}, {5, 5, -5, 1.0f}};
    uint32_t seed = 1;
    for (const Case& c : cases) {
        TestTexture image(c.width, c.height);
        image.texels = awkwardFloats(image.texels.size(), seed++);
        image.texture.texels = image.texels.data();
        const std::vector<float> start = awkwardFloats(kTestFloats, seed++);
        std::vector<float> lanes = start, scalar = start;
        blendImage(FrameTarget{lanes.data(), ScreenSize{}}, image.texture, c.top, c.weight,
                   PassLanes::Vector);
        blendImage(FrameTarget{scalar.data(), ScreenSize{}}, image.texture, c.top, c.weight,
                   PassLanes::Scalar);
        EXPECT_EQ(firstDifference(lanes, scalar), -1)
            << c.width << "x" << c.height << " at row " << c.top;
    }
}

TEST(Overlays, CompofillerHeight) {
    TestObjects o;
    SceneInput input = overlayInput();
    input.tracks.cfy = 1.49;  // rounds to 1: nothing
    std::vector<float>& fb = o.test.framebuffer;
    std::fill(fb.begin(), fb.end(), 0.3f);
    drawOverlays(o.assets, o.test.target, input);
    std::vector<float> plain(kTestFloats, 0.3f);
    plain[0] = 0.7f;
    EXPECT_EQ(countDifferences(fb, plain, 0.0f), 0);
    // Rounds to 2: the picture's top row lands on row 2.
    input.tracks.cfy = 1.5;
    std::fill(fb.begin(), fb.end(), 0.3f);
    drawOverlays(o.assets, o.test.target, input);
    std::vector<float> expected(kTestFloats, 0.3f);
    expected[0] = 0.7f;
    referenceBlend(expected, o.compofiller, 2, 1.0f);
    EXPECT_EQ(countDifferences(fb, expected, 1e-7f), 0);
    EXPECT_EQ(pixel(fb, 5, 1)[0], 0.3f);
    EXPECT_EQ(pixel(fb, 5, 2)[0], o.compofiller.texels[5 * 4]);
}

TEST(Overlays, CreditFades) {
    TestObjects o;
    SceneInput input = overlayInput();
    std::vector<float>& fb = o.test.framebuffer;
    std::vector<float> base(kTestFloats, 0.3f);
    base[0] = 0.7f;
    // Exactly 0.01 shows nothing.
    input.tracks.cred1 = 0.01;
    input.tracks.cred2 = 0.01;
    std::fill(fb.begin(), fb.end(), 0.3f);
    drawOverlays(o.assets, o.test.target, input);
    EXPECT_EQ(countDifferences(fb, base, 0.0f), 0);
    // cred1 at 1: its own alpha alone; cred2 at 0.5 blended over the result, from row 150.
    input.tracks.cred1 = 1.0;
    input.tracks.cred2 = 0.5;
    std::fill(fb.begin(), fb.end(), 0.3f);
    drawOverlays(o.assets, o.test.target, input);
    std::vector<float> expected = base;
    referenceBlend(expected, o.cred1, 150, 1.0f);
    referenceBlend(expected, o.cred2, 150, 0.5f);
    EXPECT_EQ(countDifferences(fb, expected, 1e-7f), 0);
    EXPECT_EQ(pixel(fb, 1, 149)[0], 0.3f);
}
