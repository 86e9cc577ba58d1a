#include "render/screen.h"

#include <algorithm>
#include <cmath>

int ScreenSize::pixelFrom(double edge) const {
    // Far edges (a picture placed off screen) stay far, within what an int holds.
    const double estimate = std::ceil(edge * scale - 0.5);
    if (!(estimate > -1.0e9)) return -1000000000;
    if (estimate > 1.0e9) return 1000000000;
    int pixel = static_cast<int>(estimate);
    // A centre that falls on the edge must land on the same side as picturePosition puts it.
    while (picturePosition(pixel) + 0.5 < edge) ++pixel;
    while (picturePosition(pixel - 1) + 0.5 >= edge) --pixel;
    return pixel;
}

ScreenSize screenAtStep(int step) {
    ScreenSize screen;
    screen.width = kScreenWidth / kScaleSteps * step;
    screen.height = kScreenHeight / kScaleSteps * step;
    screen.scale = static_cast<double>(screen.width) / kScreenWidth;
    return screen;
}

bool screenForScale(double scale, ScreenSize& screen) {
    if (!(scale >= 1.0 && scale <= kMaxScaleStep / double(kScaleSteps))) return false;
    // Typed decimals such as 1.05 are not exact in binary: take the nearest step when it is
    // that close.
    const double step = std::round(scale * kScaleSteps);
    if (std::fabs(scale * kScaleSteps - step) > 1e-6) return false;
    screen = screenAtStep(static_cast<int>(step));
    return true;
}

bool largestScreenWithin(int width, int height, ScreenSize& screen) {
    const int step = std::min({kMaxScaleStep, width / (kScreenWidth / kScaleSteps),
                               height / (kScreenHeight / kScaleSteps)});
    if (step < kMinScaleStep) return false;
    screen = screenAtStep(step);
    return true;
}
