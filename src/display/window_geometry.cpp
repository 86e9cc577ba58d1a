#include "display/window_geometry.h"

#include <algorithm>
#include <cstdint>

namespace PixelDisplay {

bool zoomOffered(int factor, int width, int height, int screenWidth, int screenHeight) {
    if (factor == 1) return true;
    if (factor != 2 && factor != 4 && factor != 8) return false;
    // 64-bit products: a huge display must not wrap into a "fitting" size.
    return int64_t{width} * factor < screenWidth && int64_t{height} * factor < screenHeight;
}

WindowRect zoomedWindowRect(WindowRect oldOuter, int clientWidth, int clientHeight,
                            FrameBorders frame) {
    const int centreX = (oldOuter.left + oldOuter.right) / 2;
    const int centreY = (oldOuter.top + oldOuter.bottom) / 2;
    // The client rectangle (0, 0, w, h) grown by the frame has a negative left and top; moving
    // it back to 0 leaves an outer size of client plus frame.
    const int outerWidth = clientWidth + frame.left + frame.right;
    const int outerHeight = clientHeight + frame.top + frame.bottom;
    WindowRect r;
    r.left = std::max(centreX - outerWidth / 2, 0);
    r.top = std::max(centreY - outerHeight / 2, 0);
    r.right = r.left + outerWidth;
    r.bottom = r.top + outerHeight;
    return r;
}

int centredOrigin(int screenSize, int outerSize) {
    return std::max((screenSize - outerSize) >> 1, 0);
}

PictureRect letterboxRect(int outputWidth, int outputHeight, int width, int height) {
    if (outputWidth <= 0 || outputHeight <= 0 || width <= 0 || height <= 0) return {0, 0, 0, 0};
    PictureRect r;
    // Compare the aspects by cross-multiplying, so that an exact fit has no rounding at all.
    if (int64_t{outputWidth} * height <= int64_t{outputHeight} * width) {
        r.w = outputWidth;
        r.h = static_cast<int>(int64_t{outputWidth} * height / width);
    } else {
        r.h = outputHeight;
        r.w = static_cast<int>(int64_t{outputHeight} * width / height);
    }
    r.x = (outputWidth - r.w) / 2;
    r.y = (outputHeight - r.h) / 2;
    return r;
}

PictureRect stretchRect(int outputWidth, int outputHeight) {
    return {0, 0, std::max(outputWidth, 0), std::max(outputHeight, 0)};
}

float toDisplayPixels(int coordinate, int pictureOrigin, int pictureSize, int displaySize) {
    if (pictureSize <= 0) return 0.0f;
    const float v = static_cast<float>(displaySize) / static_cast<float>(pictureSize) *
                    static_cast<float>(coordinate - pictureOrigin);
    return std::clamp(v, 0.0f, static_cast<float>(displaySize));
}

DirtyBox clampBox(const DirtyBox* box, int width, int height) {
    if (!box) return {0, width, 0, height};
    DirtyBox b;
    b.xBegin = std::clamp(box->xBegin, 0, width);
    b.xEnd = std::clamp(box->xEnd, b.xBegin, width);
    b.yBegin = std::clamp(box->yBegin, 0, height);
    b.yEnd = std::clamp(box->yEnd, b.yBegin, height);
    return b;
}

}  // namespace PixelDisplay
