#include "scenes/twister.h"

#include <algorithm>
#include <cmath>

#include "render/screen.h"
#include "scenes/pass_lanes.h"
#include "scenes/picture_sampling.h"

namespace {

constexpr float kShadePerPixel = 0.0025f;

// The texture column at u. Rounding of the steps can carry u onto the next strip's first
// column, which past the last strip is outside the row.
int spanColumn(float u, int textureWidth) {
    const int column = static_cast<int>(u);
    return column > textureWidth - 1 ? textureWidth - 1 : column;
}

}  // namespace

void drawTwisterSpan(float* row, int rowWidth, const float* textureRow, int x0, float width,
                     int columnBase, float shade, int textureWidth, PassLanes lanes) {
    const int pixels = static_cast<int>(std::ceil(width));
    const float step = static_cast<float>(kTwisterStripWidth) / width;
    float u = static_cast<float>(columnBase);
    if (lanes == PassLanes::Vector) {
        // The clipping of the loop below, done once: pixels left of the row are skipped
        // without advancing u, and the span stops at the row's end.
        const long long first = x0 < 0 ? -static_cast<long long>(x0) : 0;
        const long long end = std::min<long long>(pixels, rowWidth - static_cast<long long>(x0));
        for (long long i = first; i < end; ++i) {
            const float* texel = textureRow + 4 * spanColumn(u, textureWidth);
            writeColour(row + 4 * (x0 + i), shade * Lanes<4>::loadFloats(texel));
            u += step;
        }
        return;
    }
    for (int i = 0; i < pixels; ++i) {
        const int x = x0 + i;
        if (x > rowWidth - 1) break;  // the rest of the span is off the row too
        if (x < 0) continue;
        const float* texel = textureRow + 4 * spanColumn(u, textureWidth);
        float* pixel = row + 4 * x;
        pixel[0] = shade * texel[0];
        pixel[1] = shade * texel[1];
        pixel[2] = shade * texel[2];
        u += step;
    }
}

namespace {

// A side's span on a scaled screen: each pixel reads the strip at its centre, between two
// texture rows and two columns of the strip (the strip's edge columns are not blended with the
// neighbouring side's).
void drawSmoothSpan(float* row, int rowWidth, const float* textureRow0, const float* textureRow1,
                    float rowFraction, int x0, float width, int columnBase, float shade,
                    int textureWidth) {
    const int pixels = static_cast<int>(std::ceil(width));
    const double step = static_cast<double>(kTwisterStripWidth) / width;
    const int lastColumn = std::min(columnBase + kTwisterStripWidth, textureWidth) - 1;
    const int first = std::max(0, -x0), end = std::min(pixels, rowWidth - x0);
    for (int i = first; i < end; ++i) {
        const double u =
            std::clamp(columnBase + (i + 0.5) * step - 0.5, static_cast<double>(columnBase),
                       static_cast<double>(std::max(lastColumn, columnBase)));
        const int c0 = std::min(static_cast<int>(u), textureWidth - 1);
        const int c1 = std::min(c0 + 1, std::max(lastColumn, c0));
        const BilinearTap column{c0, c1, static_cast<float>(u - c0)};
        writeColour(row + 4 * (x0 + i),
                    shade * sampleBilinear(textureRow0, textureRow1, column, rowFraction));
    }
}

}  // namespace

void drawTwister(const FrameTarget& target, const Texture& texture, double sceneTime) {
    float* framebuffer = target.framebuffer;
    const ScreenSize& screen = target.screen;
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

        float* row = framebuffer + static_cast<long>(y) * screen.width * 4;
        const BilinearTap v = bilinearTap(position, pictureRows);
        const long rowFloats = static_cast<long>(texture.width) * 4;
        for (int side = 0; side < 4; ++side) {
            const float from = edges[side];
            const float to = edges[side + 1];
            if (!(static_cast<int>(from) < static_cast<int>(to))) continue;
            const float width = to - from;
            const int x0 = static_cast<int>(std::ceil(from));
            if (scale == 1.0) {
                drawTwisterSpan(row, screen.width, texture.texels + y * rowFloats, x0, width,
                                side * kTwisterStripWidth, width * shadePerPixel, texture.width);
            } else {
                drawSmoothSpan(row, screen.width, texture.texels + v.i0 * rowFloats,
                               texture.texels + v.i1 * rowFloats, v.f, x0, width,
                               side * kTwisterStripWidth, width * shadePerPixel, texture.width);
            }
        }
    }
}
