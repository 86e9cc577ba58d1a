// The offered screen sizes and the mapping of picture rows and columns onto them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/screen.h"

namespace {

TEST(Screen, OfferedScalesGiveSidesInWholeMultiplesOfEight) {
    ScreenSize screen;
    ASSERT_TRUE(screenForScale(2.25, screen));
    EXPECT_EQ(screen.width, 1440);
    EXPECT_EQ(screen.height, 1080);
    EXPECT_EQ(screen.scale, 2.25);
    ASSERT_TRUE(screenForScale(1.0, screen));
    EXPECT_EQ(screen.width, 640);
    EXPECT_EQ(screen.scale, 1.0);  // exactly: scale 1 takes the unscaled paths
    // 1.05 is not exact in binary and is still the 0.05 step.
    ASSERT_TRUE(screenForScale(1.05, screen));
    EXPECT_EQ(screen.width, 672);
    EXPECT_EQ(screen.height, 504);
    for (const double refused :
         {0.5, 0.95, 2.33, 4.55, 5.0, -2.0, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(screenForScale(refused, screen)) << refused;
    }
    for (int step = kMinScaleStep; step <= kMaxScaleStep; ++step) {
        const ScreenSize s = screenAtStep(step);
        EXPECT_EQ(s.width % 8, 0) << step;
        EXPECT_EQ(s.height % 8, 0) << step;
        EXPECT_EQ(s.width * 3, s.height * 4) << step;
    }
}

TEST(Screen, LargestScreenWithinAFrameKeepsItsShape) {
    ScreenSize screen;
    ASSERT_TRUE(largestScreenWithin(1920, 1080, screen));
    EXPECT_EQ(screen.width, 1440);
    EXPECT_EQ(screen.height, 1080);
    ASSERT_TRUE(largestScreenWithin(3840, 2160, screen));
    EXPECT_EQ(screen.width, 2880);
    EXPECT_EQ(screen.height, 2160);
    ASSERT_TRUE(largestScreenWithin(100000, 100000, screen));
    EXPECT_EQ(screen.width, 2880);  // 4.5 at most
    ASSERT_TRUE(largestScreenWithin(1023, 767, screen));
    EXPECT_LE(screen.width, 1023);
    EXPECT_LE(screen.height, 767);
    EXPECT_EQ(screen.width, 992);
    ASSERT_TRUE(largestScreenWithin(640, 480, screen));
    EXPECT_EQ(screen.scale, 1.0);
    EXPECT_FALSE(largestScreenWithin(639, 1000, screen));
    EXPECT_FALSE(largestScreenWithin(1000, 479, screen));
    EXPECT_FALSE(largestScreenWithin(-1, -1, screen));
}

// Every picture row owns a run of screen rows, the runs meet without gap or overlap, and
// pixel centres map back inside the picture row they belong to.
TEST(Screen, PictureRowsCoverTheScreenRowsExactlyOnce) {
    for (int step = kMinScaleStep; step <= kMaxScaleStep; ++step) {
        const ScreenSize s = screenAtStep(step);
        EXPECT_EQ(s.pixelFrom(0), 0);
        EXPECT_EQ(s.pixelFrom(kScreenHeight), s.height) << step;
        EXPECT_EQ(s.pixelFrom(kScreenWidth), s.width) << step;
        for (int row = 0; row < kScreenHeight; ++row) {
            const int first = s.pixelFrom(row), end = s.pixelFrom(row + 1);
            ASSERT_GE(end - first, 1) << "step " << step << " row " << row;
            for (int y = first; y < end; ++y) {
                const double centre = s.picturePosition(y) + 0.5;
                ASSERT_GE(centre, row) << step;
                ASSERT_LT(centre, row + 1) << step;
            }
        }
    }
    const ScreenSize one;
    for (int p = -3; p < 700; ++p) {
        EXPECT_EQ(one.picturePosition(p), p);
        EXPECT_EQ(one.pixelFrom(p), p);
    }
}

}  // namespace
