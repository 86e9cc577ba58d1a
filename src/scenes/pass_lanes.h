// The 2D passes over the framebuffer in vector lanes (lanes/lanes.h): which code a pass runs,
// its lanes or its scalar reference that tests hold the lanes to bit for bit, and how a pass
// writes a pixel's colour held in the four lanes of one vector.
#pragma once

#include "lanes/lanes.h"

enum class PassLanes { Vector, Scalar };

using Float4 = Lanes<4>::Float;

// Lanes<4>::clampUnit under the scalar clamp's name, for code written once for both.
[[gnu::always_inline]] inline Float4 clampUnit(Float4 v) {
    return Lanes<4>::clampUnit(v);
}

// Sets r, g and b of a framebuffer pixel (r, g, b, depth) to lanes 0-2 of `colour`; the depth
// keeps its bits.
[[gnu::always_inline]] inline void writeColour(float* pixel, Float4 colour) {
    constexpr Lanes<4>::Int kColourLanes = {-1, -1, -1, 0};
    Lanes<4>::store(pixel, Lanes<4>::select(kColourLanes, colour, Lanes<4>::loadFloats(pixel)));
}
