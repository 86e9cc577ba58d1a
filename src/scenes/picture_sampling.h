// Pictures drawn at a scaled screen (the title, the credits, the greetings banner, the
// twister's texture): each screen pixel reads the picture at its centre's continuous position,
// between the four nearest texels (r, g, b, a floats, four to a texel). Each effect finds its
// texels; the weighting is written here once.
#pragma once

#include "scenes/pass_lanes.h"

// Where a position falls between two texels of a row or column of `size` texels (texel
// centres at whole numbers): texels i0 and i1 weighted 1 - f and f, clamped to the picture's
// edge texels.
struct BilinearTap {
    int i0, i1;
    float f;
};

BilinearTap bilinearTap(double position, int size);

// The four texels at columns u.i0, u.i1 of rows row0 and row1, each float weighted by
// distance: along the rows first, then between them with weights 1 - v and v.
[[gnu::always_inline]] inline Float4 sampleBilinear(const float* row0, const float* row1,
                                                    const BilinearTap& u, float v) {
    using L = Lanes<4>;
    const Float4 top =
        L::loadFloats(row0 + 4 * u.i0) * (1.0f - u.f) + L::loadFloats(row0 + 4 * u.i1) * u.f;
    const Float4 bottom =
        L::loadFloats(row1 + 4 * u.i0) * (1.0f - u.f) + L::loadFloats(row1 + 4 * u.i1) * u.f;
    return top * (1.0f - v) + bottom * v;
}

// The same texels for blending a picture with transparency: each weighted by distance and by
// its alpha, so that a transparent texel adds no colour. `colour` holds r, g, b (lane 3 is of
// no use), `alpha` the sum of the four weights.
struct AlphaWeightedSample {
    Float4 colour;
    float alpha;
};

[[gnu::always_inline]] inline AlphaWeightedSample sampleAlphaWeighted(const float* row0,
                                                                      const float* row1,
                                                                      const BilinearTap& u,
                                                                      float v) {
    using L = Lanes<4>;
    const float* t[4] = {row0 + 4 * u.i0, row0 + 4 * u.i1, row1 + 4 * u.i0, row1 + 4 * u.i1};
    const float w[4] = {(1.0f - u.f) * (1.0f - v), u.f * (1.0f - v), (1.0f - u.f) * v, u.f * v};
    float a[4];
    for (int k = 0; k < 4; ++k) a[k] = w[k] * t[k][3];
    return {
        ((L::loadFloats(t[0]) * a[0] + L::loadFloats(t[1]) * a[1]) + L::loadFloats(t[2]) * a[2]) +
            L::loadFloats(t[3]) * a[3],
        ((a[0] + a[1]) + a[2]) + a[3]};
}
