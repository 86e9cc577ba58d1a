// The demo's screen: the 640 x 480 picture that the scenes, the overlays and the tools are made
// for, and the size of the framebuffer that draws it, which may be that picture scaled. A
// framebuffer pixel is four floats (r, g, b, depth), rows top to bottom.
#pragma once

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr int kScreenPixels = kScreenWidth * kScreenHeight;
constexpr int kScreenFloats = kScreenPixels * 4;

// The scales offered: S = n / 20 for n from 20 to 90 gives every S from 1 to 4.5 at which both
// sides are whole multiples of 8 (640 S = 32 n, 480 S = 24 n).
constexpr int kScaleSteps = 20;
constexpr int kMinScaleStep = 20;
constexpr int kMaxScaleStep = 90;
constexpr int kMaxScreenWidth = kScreenWidth / kScaleSteps * kMaxScaleStep;  // 2880

// A framebuffer of S * 640 x S * 480 pixels. Positions in the picture are continuous, pixel p
// spanning p .. p + 1, so screen pixel x covers picture positions x / S .. (x + 1) / S.
struct ScreenSize {
    int width = kScreenWidth;
    int height = kScreenHeight;
    double scale = 1.0;  // width / kScreenWidth, exactly 1 for the show's own size

    long pixels() const { return static_cast<long>(width) * height; }
    long floats() const { return 4 * pixels(); }
    // The picture position of screen pixel p's centre, less 0.5: p itself at scale 1.
    double picturePosition(int p) const { return (p + 0.5) / scale - 0.5; }
    // The first screen pixel whose centre lies at or after picture position `edge`; picture
    // pixels a .. b - 1 are screen pixels pixelFrom(a) .. pixelFrom(b) - 1 (a .. b - 1 at
    // scale 1). Edges beyond +-1e9 pixels give +-1e9, NaN -1e9.
    int pixelFrom(double edge) const;
};

// The screen at scale step / 20.
ScreenSize screenAtStep(int step);
// "1", "2.25", ...: the screen at that scale, or false when it is none of the offered ones.
bool screenForScale(double scale, ScreenSize& screen);
// The largest offered screen within width x height pixels; false when not even 640 x 480 fits.
bool largestScreenWithin(int width, int height, ScreenSize& screen);
