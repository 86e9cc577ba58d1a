// Pictures drawn at a scaled screen: each screen pixel reads the picture at its centre's
// continuous position, between the four nearest texels.
#pragma once

// Where a position falls between two texels of a row or column of `size` texels (texel
// centres at whole numbers): texels i0 and i1 weighted 1 - f and f, clamped to the picture's
// edge texels.
struct BilinearTap {
    int i0, i1;
    float f;
};

BilinearTap bilinearTap(double position, int size);
