// The generated pictures, read back with the demo's texture reader.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "assets/texture.h"

namespace {

Texture* read(const char* name) {
    int code = 0;
    std::string message;
    Texture* texture =
        readTexture((std::string(DEMO_TEST_DATA_DIR "/") + name).c_str(), name, code, message);
    EXPECT_NE(texture, nullptr) << message;
    return texture;
}

const float* texel(const Texture& t, int x, int y) {
    return &t.texels[4 * (y * t.width + x)];
}

TEST(Pictures, GreetingBannersFillTheBannerRows) {
    for (const char* name : {"g-greetings.png", "g-qor.png", "g-vantle.png", "g-plum.png",
                             "g-zub.png", "g-crew.png"}) {
        Texture* t = read(name);
        ASSERT_NE(t, nullptr);
        // The banner copies the first 73 rows of 640 pixels, alpha included, over the screen.
        EXPECT_EQ(t->width, 640) << name;
        EXPECT_GE(t->height, 73) << name;
        double lo = 1.0, hi = 0.0;
        for (int y = 0; y < 73; ++y) {
            for (int x = 0; x < 640; ++x) {
                const float* p = texel(*t, x, y);
                EXPECT_EQ(p[3], 1.0f);
                lo = std::min(lo, double(p[0] + p[1] + p[2]) / 3.0);
                hi = std::max(hi, double(p[0] + p[1] + p[2]) / 3.0);
            }
        }
        EXPECT_GT(hi - lo, 0.6) << name << " shows no text";
        freeTexture(t);
    }
}

// Blended pictures: at most 640 wide, transparent around opaque lettering, and the credits fit
// below row 150.
TEST(Pictures, OverlaysBlendByAlpha) {
    for (const char* name : {"compofiller.png", "cred1.png", "cred2.png"}) {
        Texture* t = read(name);
        ASSERT_NE(t, nullptr);
        EXPECT_LE(t->width, 640) << name;
        EXPECT_GE(t->height, 20) << name;
        if (std::string(name) != "compofiller.png") {
            EXPECT_LE(150 + t->height, 480) << name;
        }
        int clear = 0, solid = 0;
        for (int i = 0; i < t->width * t->height; ++i) {
            clear += t->texels[4 * i + 3] == 0.0f;
            solid += t->texels[4 * i + 3] == 1.0f;
        }
        EXPECT_GT(clear, t->width * t->height / 4) << name;
        EXPECT_GT(solid, t->width * t->height / 50) << name;
        // The corners stay clear, so the picture's box never shows.
        EXPECT_EQ(texel(*t, 0, 0)[3], 0.0f) << name;
        EXPECT_EQ(texel(*t, t->width - 1, t->height - 1)[3], 0.0f) << name;
        freeTexture(t);
    }
}

// The twister reads four strips of 128 columns, one per side of the bar, rows 0..479.
TEST(Pictures, TwisterTextureHasFourDistinctSides) {
    Texture* t = read("hearts512.png");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width, 512);
    EXPECT_EQ(t->height, 512);
    double mean[4][3] = {};
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 512; ++x) {
            for (int c = 0; c < 3; ++c) mean[x / 128][c] += texel(*t, x, y)[c] / (128.0 * 480);
        }
    }
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
            const double distance = std::fabs(mean[a][0] - mean[b][0]) +
                                    std::fabs(mean[a][1] - mean[b][1]) +
                                    std::fabs(mean[a][2] - mean[b][2]);
            EXPECT_GT(distance, 0.1) << "strips " << a << " and " << b << " look alike";
        }
    }
    // Each strip is darker at its edges than in its middle, so the sides read as faces.
    for (int s = 0; s < 4; ++s) {
        double edge = 0, middle = 0;
        for (int y = 0; y < 480; ++y) {
            edge += texel(*t, s * 128, y)[0] + texel(*t, s * 128 + 127, y)[0];
            middle += texel(*t, s * 128 + 63, y)[0] + texel(*t, s * 128 + 64, y)[0];
        }
        EXPECT_LT(edge, middle) << "strip " << s;
    }
    freeTexture(t);
}

TEST(Pictures, LetteringTexturesAreSampleable) {
    for (const char* name : {"spintext1.png", "spintext2.png"}) {
        Texture* t = read(name);
        ASSERT_NE(t, nullptr);
        // The sampler wraps every W - 1 columns and H - 1 rows: it needs at least 2 of each.
        EXPECT_GE(t->width, 2);
        EXPECT_GE(t->height, 2);
        for (int i = 0; i < t->width * t->height; ++i) ASSERT_EQ(t->texels[4 * i + 3], 1.0f);
        freeTexture(t);
    }
}

}  // namespace
