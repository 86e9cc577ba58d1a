#include "render/frame_target.h"

#include "lanes/lanes.h"

void clearFloats(float* begin, long floats) {
    using L = Lanes<4>;
    const L::Float zero = L::splat(0.0f);
    float* end = begin + floats;
    // Whole cache lines of vector stores: a plain memset is the same work, but glibc does it
    // with a string instruction that instruction counts take one byte at a time.
    for (float* p = begin; p < end; p += 16) {
        L::store(p, zero);
        L::store(p + 4, zero);
        L::store(p + 8, zero);
        L::store(p + 12, zero);
    }
}

void fillPixels(float* begin, long pixels, float r, float g, float b, float depth) {
    using L = Lanes<4>;
    const L::Float pixel = {r, g, b, depth};
    float* end = begin + 4 * pixels;
    for (float* p = begin; p < end; p += 16) {
        L::store(p, pixel);
        L::store(p + 4, pixel);
        L::store(p + 8, pixel);
        L::store(p + 12, pixel);
    }
}

void copyPixels(float* to, const float* from, long pixels) {
    using L = Lanes<4>;
    for (long i = 0; i < pixels; ++i) L::store(to + 4 * i, L::loadFloats(from + 4 * i));
}
