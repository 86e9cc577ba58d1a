#include "render/frame_target.h"

#include "lanes/lanes.h"

namespace {

#define LANES_KERNEL "render/fill_lanes.inc"
#include "lanes/each_width.inc"

void fillWidest(float* begin, long pixels, Lanes<4>::Float pixel) {
    if (widestLanes() == LaneWidth::kEight) {
        lanes8::fill(begin, pixels, pixel);
    } else {
        lanes4::fill(begin, pixels, pixel);
    }
}

}  // namespace

void fillFloats(float* begin, long floats, float value) {
    fillWidest(begin, floats / 4, Lanes<4>::splat(value));
}

void fillPixels(float* begin, long pixels, float r, float g, float b, float depth) {
    fillWidest(begin, pixels, Lanes<4>::Float{r, g, b, depth});
}

void clearDepths(float* begin, long pixels) {
    if (widestLanes() == LaneWidth::kEight) {
        lanes8::clearDepths(begin, pixels);
    } else {
        lanes4::clearDepths(begin, pixels);
    }
}

void copyPixels(float* to, const float* from, long pixels) {
    using L = Lanes<4>;
    for (long i = 0; i < pixels; ++i) L::store(to + 4 * i, L::loadFloats(from + 4 * i));
}
