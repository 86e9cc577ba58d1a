#include <gtest/gtest.h>

#include "display/window_geometry.h"

namespace PixelDisplay {
namespace {

TEST(ZoomOffered, StrictlySmallerThanTheScreenInBothDirections) {
    // 640x480 on 1920x1080: 2x is 1280x960 (fits), 4x is 2560x1920 (does not).
    EXPECT_TRUE(zoomOffered(1, 640, 480, 1920, 1080));
    EXPECT_TRUE(zoomOffered(2, 640, 480, 1920, 1080));
    EXPECT_FALSE(zoomOffered(4, 640, 480, 1920, 1080));
    EXPECT_FALSE(zoomOffered(8, 640, 480, 1920, 1080));
    // On 1280x960 the 2x window would be exactly the screen: not offered.
    EXPECT_FALSE(zoomOffered(2, 640, 480, 1280, 960));
    EXPECT_TRUE(zoomOffered(2, 640, 480, 1281, 961));
    // One direction too large is enough to refuse: 1280 < 1281 but 960 is not < 960.
    EXPECT_FALSE(zoomOffered(2, 640, 480, 1281, 960));
    // 80x60 on 1920x1080: 8x is 640x480.
    EXPECT_TRUE(zoomOffered(8, 80, 60, 1920, 1080));
    // Original size is always there, even for a display larger than the screen.
    EXPECT_TRUE(zoomOffered(1, 4000, 3000, 1920, 1080));
    // Only the four sizes exist.
    EXPECT_FALSE(zoomOffered(3, 10, 10, 1920, 1080));
    EXPECT_FALSE(zoomOffered(0, 10, 10, 1920, 1080));
    EXPECT_FALSE(zoomOffered(16, 10, 10, 1920, 1080));
    // 2^28 * 8 wraps to 0 in 32 bits; it must still be refused.
    EXPECT_FALSE(zoomOffered(8, 1 << 28, 1 << 28, 1920, 1080));
}

TEST(ZoomedWindowRect, KeepsTheCentreAndClampsToTheScreenOrigin) {
    const FrameBorders noFrame = {0, 0, 0, 0};
    // Centre (720, 540): 1x keeps the window where it is, 2x grows it around the centre.
    EXPECT_EQ(zoomedWindowRect({400, 300, 1040, 780}, 640, 480, noFrame).left, 400);
    const WindowRect twice = zoomedWindowRect({400, 300, 1040, 780}, 1280, 960, noFrame);
    EXPECT_EQ(twice.left, 720 - 640);
    EXPECT_EQ(twice.top, 540 - 480);
    EXPECT_EQ(twice.right, 80 + 1280);
    EXPECT_EQ(twice.bottom, 60 + 960);

    // The frame adds to the outer size: 1280 + 4 + 4 wide, 960 + 30 + 4 high. Centre
    // (420, 340) minus half of that is negative on both axes: moved to 0, size kept.
    const WindowRect framed = zoomedWindowRect({100, 100, 740, 580}, 1280, 960, {4, 30, 4, 4});
    EXPECT_EQ(framed.left, 0);
    EXPECT_EQ(framed.top, 0);
    EXPECT_EQ(framed.right, 1288);
    EXPECT_EQ(framed.bottom, 994);

    // Odd sizes truncate: centre (320, 240) of (0, 0, 641, 481); 101 wide: 320 - 50 = 270.
    const WindowRect odd = zoomedWindowRect({0, 0, 641, 481}, 101, 51, noFrame);
    EXPECT_EQ(odd.left, 270);
    EXPECT_EQ(odd.top, 240 - 25);
    EXPECT_EQ(odd.right, 371);
    EXPECT_EQ(odd.bottom, 266);

    // A Windows frame (8 left, right and bottom, 31 top) around a 2x client: 1296 x 999
    // centred on (960, 540), 999 / 2 truncating to 499; near the corner it starts at 0, 0.
    const FrameBorders windowsFrame = {8, 31, 8, 8};
    const WindowRect centred = zoomedWindowRect({640, 300, 1280, 780}, 1280, 960, windowsFrame);
    EXPECT_EQ(centred.left, 960 - 648);
    EXPECT_EQ(centred.top, 540 - 499);
    EXPECT_EQ(centred.right - centred.left, 1296);
    EXPECT_EQ(centred.bottom - centred.top, 999);
    const WindowRect corner = zoomedWindowRect({0, 0, 200, 100}, 1280, 960, windowsFrame);
    EXPECT_EQ(corner.left, 0);
    EXPECT_EQ(corner.top, 0);
    EXPECT_EQ(corner.right, 1296);
    EXPECT_EQ(corner.bottom, 999);
}

TEST(CentredOrigin, HalvesTowardMinusInfinityAndNeverGoesNegative) {
    EXPECT_EQ(centredOrigin(1920, 648), 636);
    EXPECT_EQ(centredOrigin(1920, 647), 636);  // 1273 / 2 rounded down
    EXPECT_EQ(centredOrigin(1920, 1920), 0);
    EXPECT_EQ(centredOrigin(1920, 657), 631);  // (1920 - 657) >> 1
    EXPECT_EQ(centredOrigin(1080, 520), 280);
    EXPECT_EQ(centredOrigin(1920, 1921), 0);
    EXPECT_EQ(centredOrigin(100, 101), 0);  // -1 >> 1 is -1, raised to 0
    EXPECT_EQ(centredOrigin(100, 300), 0);
}

TEST(LetterboxRect, LargestPictureOfTheDisplayAspectCentred) {
    // 16:9 screen: full height, 1440 wide, 240 of border on each side.
    const PictureRect wide = letterboxRect(1920, 1080, 640, 480);
    EXPECT_EQ(wide.x, 240);
    EXPECT_EQ(wide.y, 0);
    EXPECT_EQ(wide.w, 1440);
    EXPECT_EQ(wide.h, 1080);
    // 5:4 screen: full width, 960 high, 32 of border above and below.
    const PictureRect tall = letterboxRect(1280, 1024, 640, 480);
    EXPECT_EQ(tall.x, 0);
    EXPECT_EQ(tall.y, 32);
    EXPECT_EQ(tall.w, 1280);
    EXPECT_EQ(tall.h, 960);
    // Same aspect: no border at all.
    const PictureRect same = letterboxRect(800, 600, 640, 480);
    EXPECT_EQ(same.x, 0);
    EXPECT_EQ(same.y, 0);
    EXPECT_EQ(same.w, 800);
    EXPECT_EQ(same.h, 600);
    // Nothing to show into.
    EXPECT_EQ(letterboxRect(0, 600, 640, 480).w, 0);
}

TEST(LetterboxRect, AlwaysInsideTheOutputAndFillingOneDirection) {
    for (int w = 1; w <= 700; w += 7) {
        for (int h = 1; h <= 700; h += 11) {
            const PictureRect r = letterboxRect(w, h, 640, 480);
            ASSERT_GE(r.x, 0);
            ASSERT_GE(r.y, 0);
            ASSERT_LE(r.x + r.w, w);
            ASSERT_LE(r.y + r.h, h);
            ASSERT_TRUE(r.w == w || r.h == h) << w << "x" << h;
            // Aspect within one pixel of 4:3: |3w - 4h| < 4 + 3.
            ASSERT_LT(std::abs(3 * r.w - 4 * r.h), 7) << w << "x" << h;
            // Borders balanced within one pixel.
            ASSERT_LE(std::abs((w - r.w - r.x) - r.x), 1);
            ASSERT_LE(std::abs((h - r.h - r.y) - r.y), 1);
        }
    }
}

TEST(ToDisplayPixels, ScalesWindowPixelsToDisplayPixels) {
    // A 2x window (client 1280 wide) of a 640-wide display: client 640 is display 320.
    EXPECT_EQ(toDisplayPixels(640, 0, 1280, 640), 320.0f);
    EXPECT_EQ(toDisplayPixels(1, 0, 1280, 640), 0.5f);
    // Letterboxed at y 32, 960 high, for 480 display rows: 32 is row 0, 512 is row 240.
    EXPECT_EQ(toDisplayPixels(32, 32, 960, 480), 0.0f);
    EXPECT_EQ(toDisplayPixels(512, 32, 960, 480), 240.0f);
    // The border and anything outside the window stay on the display's edges.
    EXPECT_EQ(toDisplayPixels(0, 32, 960, 480), 0.0f);
    EXPECT_EQ(toDisplayPixels(1023, 32, 960, 480), 480.0f);
    EXPECT_EQ(toDisplayPixels(-5, 0, 640, 640), 0.0f);
    // A window of no size reports 0 rather than dividing by zero.
    EXPECT_EQ(toDisplayPixels(10, 0, 0, 640), 0.0f);
}

TEST(ClampBox, KeepsEveryBoxInsideTheDisplay) {
    auto same = [](DirtyBox a, DirtyBox b) {
        return a.xBegin == b.xBegin && a.xEnd == b.xEnd && a.yBegin == b.yBegin && a.yEnd == b.yEnd;
    };
    EXPECT_TRUE(same(clampBox(nullptr, 640, 480), {0, 640, 0, 480}));
    const DirtyBox inside = {10, 20, 30, 40};
    EXPECT_TRUE(same(clampBox(&inside, 640, 480), inside));
    const DirtyBox over = {-10, 700, -5, 500};
    EXPECT_TRUE(same(clampBox(&over, 640, 480), {0, 640, 0, 480}));
    const DirtyBox inverted = {50, 40, 60, 10};
    EXPECT_TRUE(same(clampBox(&inverted, 640, 480), {50, 50, 60, 60}));
    const DirtyBox beyond = {700, 800, 900, 1000};
    EXPECT_TRUE(same(clampBox(&beyond, 640, 480), {640, 640, 480, 480}));
    // Whatever the box, the result is ordered and inside.
    for (int a = -700; a <= 700; a += 70) {
        for (int b = -700; b <= 700; b += 70) {
            const DirtyBox box = {a, b, b, a};
            const DirtyBox c = clampBox(&box, 640, 480);
            ASSERT_TRUE(0 <= c.xBegin && c.xBegin <= c.xEnd && c.xEnd <= 640);
            ASSERT_TRUE(0 <= c.yBegin && c.yBegin <= c.yEnd && c.yEnd <= 480);
        }
    }
}

}  // namespace
}  // namespace PixelDisplay
