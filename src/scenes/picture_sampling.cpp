#include "scenes/picture_sampling.h"

#include <cmath>

BilinearTap bilinearTap(double position, int size) {
    const double last = size - 1;
    // Clamped first, so NaN and far positions land on an edge texel too.
    const double p = position > 0.0 ? (position < last ? position : last) : 0.0;
    const int i0 = static_cast<int>(std::floor(p));
    const int i1 = i0 + 1 < size ? i0 + 1 : i0;
    return BilinearTap{i0, i1, static_cast<float>(p - i0)};
}
