#include "scenes/twister.h"

#include <algorithm>
#include <cmath>

#include "render/screen.h"
#include "scenes/float_lanes.h"

namespace {

constexpr float kShadePerPixel = 0.0025f;

}  // namespace

void drawTwisterSpan(float* row, int rowWidth, const float* textureRow, int x0, float width,
                     int columnBase, float shade, int textureWidth, PassLanes lanes) {
    const int pixels = static_cast<int>(std::ceil(width));
    const float step = static_cast<float>(kTwisterStripWidth) / width;
    float u = static_cast<float>(columnBase);
#ifdef SCENE_FLOAT_LANES
    if (lanes == PassLanes::Vector) {
        // The clipping of the loop below, done once: pixels left of the row are skipped
        // without advancing u, and the span stops at the row's end.
        const long long first = x0 < 0 ? -static_cast<long long>(x0) : 0;
        const long long end = std::min<long long>(pixels, rowWidth - static_cast<long long>(x0));
        for (long long i = first; i < end; ++i) {
            int column = static_cast<int>(u);
            if (column > textureWidth - 1) column = textureWidth - 1;
            float* pixel = row + 4 * (x0 + i);
            storeFloat4(pixel,
                        selectLanes(kColourLanes, shade * loadFloat4(textureRow + 4 * column),
                                    loadFloat4(pixel)));
            u += step;
        }
        return;
    }
#endif
    (void)lanes;
    for (int i = 0; i < pixels; ++i) {
        const int x = x0 + i;
        if (x > rowWidth - 1) break;  // the rest of the span is off the row too
        if (x < 0) continue;
        int column = static_cast<int>(u);
        // Rounding of the steps can carry u onto the next strip's first column, which past
        // the last strip is outside the row.
        if (column > textureWidth - 1) column = textureWidth - 1;
        const float* texel = textureRow + 4 * column;
        float* pixel = row + 4 * x;
        pixel[0] = shade * texel[0];
        pixel[1] = shade * texel[1];
        pixel[2] = shade * texel[2];
        u += step;
    }
}

void drawTwister(float* framebuffer, const ScreenSize& screen, const Texture& texture,
                 double sceneTime) {
    if (texture.texels == nullptr || texture.width < 1) return;
    const double t = sceneTime;
    const float p = static_cast<float>(200.0 * std::sin(2.0 * t));
    const float q = static_cast<float>(std::sin(0.64 * t));
    // Finite p and q keep every edge within S (512 +- 200), so the int conversions are defined.
    if (!std::isfinite(p) || !std::isfinite(q)) return;

    const double scale = screen.scale;
    // The shade stays that of the side's width in the picture.
    const float shadePerPixel = kShadePerPixel / static_cast<float>(scale);
    const int pictureRows = texture.height < kScreenHeight ? texture.height : kScreenHeight;
    const int rows = std::min(screen.pixelFrom(pictureRows), screen.height);
    for (int y = 0; y < rows; ++y) {
        const double position = screen.picturePosition(y);
        const float a = (0.8f * static_cast<float>(position) + p) * q * 0.01f;
        const double s = std::sin(static_cast<double>(a));
        const double c = std::cos(static_cast<double>(a));
        const float e1 = static_cast<float>((512.0 + 200.0 * s) * scale);
        const float e2 = static_cast<float>((512.0 + 200.0 * c) * scale);
        const float e3 = static_cast<float>((512.0 - 200.0 * s) * scale);
        const float e4 = static_cast<float>((512.0 - 200.0 * c) * scale);
        const float edges[5] = {e1, e2, e3, e4, e1};

        const int textureY =
            std::min(static_cast<int>(std::floor(position + 0.5)), pictureRows - 1);
        float* row = framebuffer + static_cast<long>(y) * screen.width * 4;
        const float* textureRow = texture.texels + static_cast<long>(textureY) * texture.width * 4;
        for (int side = 0; side < 4; ++side) {
            const float from = edges[side];
            const float to = edges[side + 1];
            if (!(static_cast<int>(from) < static_cast<int>(to))) continue;
            const float width = to - from;
            drawTwisterSpan(row, screen.width, textureRow, static_cast<int>(std::ceil(from)), width,
                            side * kTwisterStripWidth, width * shadePerPixel, texture.width);
        }
    }
}
