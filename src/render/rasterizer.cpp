#include "render/rasterizer.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lanes/lanes.h"
#include "render/raster_stats.h"
#include "render/texture.h"

// Half-space rasterization in blocks after Pineda, "A Parallel Algorithm for Polygon
// Rasterization" (SIGGRAPH 1988). The vector lanes test a block row's edges, and a run of
// blocks' corners, at once (raster_lanes.inc).

namespace {

// The texel rounding below needs float arithmetic done in float precision (SSE, not x87).
static_assert(FLT_EVAL_METHOD == 0);

constexpr int kBlock = 8;
constexpr float kMaxCorner = 8388608.0f;  // 2^23 pixels = 2^27 in 28.4

RasterLanes gLanes = widestLanes();

struct Gradient {
    float dx, dy;  // change per pixel right, per pixel row down
};

// ceil(v / 16) for 28.4 values (arithmetic shift = floor).
int ceilPixel(int v) {
    return (v + 15) >> 4;
}

// Screen gradients over the snapped corners (28.4 values / 16), the triangle that the edge
// functions cover. D is twice its signed area, exact from the integers, and never 0 here.
struct ScreenPlane {
    float sx10, sy10, sx20, sy20;
    float area;  // D = (sx1 - sx0)(sy2 - sy0) - (sx2 - sx0)(sy1 - sy0)

    explicit ScreenPlane(const SnappedTriangle& t)
        : sx10(static_cast<float>(t.X[1] - t.X[0]) / 16.0f),
          sy10(static_cast<float>(t.Y[1] - t.Y[0]) / 16.0f),
          sx20(static_cast<float>(t.X[2] - t.X[0]) / 16.0f),
          sy20(static_cast<float>(t.Y[2] - t.Y[0]) / 16.0f),
          area(static_cast<float>(t.doubleArea) / 256.0f) {}

    Gradient of(float a0, float a1, float a2) const {
        return {((a1 - a0) * sy20 - (a2 - a0) * sy10) / area,
                ((a2 - a0) * sx10 - (a1 - a0) * sx20) / area};
    }
};

// What a block's top-left e says of the block, for one edge with these steps: it reaches the
// edge's inside when e >= touch, lies wholly inside when e >= inside; along a block row e
// grows by at most rowReach.
struct EdgeTests {
    int64_t touch, inside, rowReach;
};
[[gnu::always_inline]] inline EdgeTests edgeTests(int64_t stepX, int64_t stepY) {
    return {-7 * std::max<int64_t>(stepX, 0) - 7 * std::max<int64_t>(stepY, 0),
            7 * std::max<int64_t>(-stepX, 0) + 7 * std::max<int64_t>(-stepY, 0),
            7 * std::max<int64_t>(stepX, 0)};
}

// q first, then the filler's screen-linear attributes, at a block's top-left pixel: all start
// from the block's own top-left weights and are stepped from there.
template <int kValues>
struct BlockStart {
    float row[kValues];
    float dx[kValues];
    float dy[kValues];
};

template <int kLinear>
[[gnu::always_inline]] inline void blockStart(const PreparedFace& f, int64_t e01, int64_t e12,
                                              BlockStart<1 + kLinear>& start) {
    const float w2 = static_cast<float>(e01) * f.invS;
    const float w0 = static_cast<float>(e12) * f.invS;
    const float w1 = 1.0f - w0 - w2;
    start.row[0] = w0 / f.z[0] + w1 / f.z[1] + w2 / f.z[2];
    start.dx[0] = f.qdx;
    start.dy[0] = f.qdy;
    for (int k = 0; k < kLinear; ++k) {
        const float* a = f.linear[k];
        start.row[1 + k] = w0 * a[0] + w1 * a[1] + w2 * a[2];
        start.dx[1 + k] = f.linearDx[k];
        start.dy[1 + k] = f.linearDy[k];
    }
}

// Fills one 8x8 block whose top-left pixel has working values e01, e12, e20. Blocks wholly
// inside all three edges skip the coverage test (kTestCoverage false); in an edge block, rows
// outside some edge all along are skipped whole. The reference for the vector lanes
// (raster_lanes.inc).
template <bool kTestCoverage, class Fill>
[[gnu::always_inline]] inline void drawBlock(const PreparedFace& f, const EdgeTests tests[3],
                                             const Fill& fill, float* framebuffer, int width,
                                             int bx, int by, int64_t e01, int64_t e12,
                                             int64_t e20) {
    constexpr int kValues = 1 + Fill::kLinear;
    BlockStart<kValues> start;
    blockStart<Fill::kLinear>(f, e01, e12, start);
    float* rowValue = start.row;
    const float* dx = start.dx;
    const float* dy = start.dy;

    float* rowPixel = framebuffer + 4 * (static_cast<std::ptrdiff_t>(by) * width + bx);
    for (int j = 0; j < kBlock; ++j) {
        if (!kTestCoverage || (e01 + tests[0].rowReach >= 0 && e12 + tests[1].rowReach >= 0 &&
                               e20 + tests[2].rowReach >= 0)) {
            int64_t a = e01, b = e12, c = e20;
            float value[kValues];
            for (int k = 0; k < kValues; ++k) value[k] = rowValue[k];
            float* pixel = rowPixel;
            for (int i = 0; i < kBlock; ++i) {
                // All three non-negative <=> no sign bit in their OR.
                if ((!kTestCoverage || (a | b | c) >= 0) && value[0] < pixel[3]) {
                    pixel[3] = value[0];
                    if constexpr (Fill::kPerspective) {
                        const float w2 = static_cast<float>(a) * f.invS;
                        const float w0 = static_cast<float>(b) * f.invS;
                        const float w1 = 1.0f - w0 - w2;
                        fill.shade(pixel, w0, w1, w2, value[0]);
                    } else {
                        fill.shade(pixel, value + 1);
                    }
                }
                a += f.stepX[0];
                b += f.stepX[1];
                c += f.stepX[2];
                for (int k = 0; k < kValues; ++k) value[k] += dx[k];
                pixel += 4;
            }
        }
        e01 += f.stepY[0];
        e12 += f.stepY[1];
        e20 += f.stepY[2];
        for (int k = 0; k < kValues; ++k) rowValue[k] += dy[k];
        rowPixel += 4 * static_cast<std::ptrdiff_t>(width);
    }
}

// The show's hooks of the engine: all empty, so that this instantiation compiles to the engine
// without any counting.
struct NoCounters {
    void triangle() {}
    void blockSkipped(int, int) {}
    void beforeBlock(const float*, int, int, int, bool) {}
    void afterBlock(const float*, int, int, int) {}
};

// The edit mode's hooks, writing into a RasterStats of the framebuffer's size. Passed pixels are
// found around each block, not inside the pixel loop: the depth test is strict and stores the
// value it tested, so a pixel's stored depth changes exactly when it passes.
class StatsCounters {
public:
    explicit StatsCounters(RasterStats& stats) : stats_(stats) {}

    void triangle() { ++stats_.faces; }

    void blockSkipped(int bx, int by) {
        ++stats_.blockSkipped[blockIndex(bx, by)];
        ++stats_.blocksSkipped;
    }

    void beforeBlock(const float* framebuffer, int width, int bx, int by, bool full) {
        const size_t block = blockIndex(bx, by);
        if (full) {
            ++stats_.blockFull[block];
            ++stats_.blocksFull;
        } else {
            ++stats_.blockPartial[block];
            ++stats_.blocksPartial;
        }
        for (int j = 0; j < kBlock; ++j) {
            const float* depth = framebuffer + depthAt(width, bx, by + j);
            for (int i = 0; i < kBlock; ++i) depthBefore_[j][i] = depth[4 * i];
        }
    }

    void afterBlock(const float* framebuffer, int width, int bx, int by) {
        for (int j = 0; j < kBlock; ++j) {
            const float* depth = framebuffer + depthAt(width, bx, by + j);
            uint32_t* overdraw = stats_.overdraw + static_cast<size_t>(by + j) * width + bx;
            for (int i = 0; i < kBlock; ++i) {
                // Bits, not values: a NaN depth never passes and never compares equal.
                if (std::memcmp(&depth[4 * i], &depthBefore_[j][i], sizeof(float)) != 0) {
                    ++overdraw[i];
                    ++stats_.pixelsPassed;
                }
            }
        }
    }

private:
    size_t blockIndex(int bx, int by) const {
        return static_cast<size_t>(by / kBlock) * stats_.blockColumns + bx / kBlock;
    }
    static std::ptrdiff_t depthAt(int width, int px, int py) {
        return 4 * (static_cast<std::ptrdiff_t>(py) * width + px) + 3;
    }

    RasterStats& stats_;
    float depthBefore_[kBlock][kBlock];
};

// The scalar engine: every block of the box's rows in the band, in int64 edge values. Any walk
// that draws every block reaching all three insides draws the same pixels, the one in lanes
// included; this one also names each block it finds outside an edge.
template <class Fill, class Counters>
void walkBlocks(const PreparedFace& f, const Fill& fill, float* framebuffer, int width,
                RowBand rows, Counters& counters) {
    // Both multiples of 8: the band starts and ends on block rows.
    const int yFirst = std::max(f.originY, rows.first);
    const int yEnd = std::min(f.yEnd, rows.end);
    if (yFirst >= yEnd) return;
    counters.triangle();
    EdgeTests tests[3];
    for (int k = 0; k < 3; ++k) tests[k] = edgeTests(f.stepX[k], f.stepY[k]);
    for (int by = yFirst; by < yEnd; by += kBlock) {
        int64_t rowE[3];  // e at (originX, by)
        for (int k = 0; k < 3; ++k) {
            rowE[k] = f.edgeOrigin[k] + static_cast<int64_t>(by - f.originY) * f.stepY[k];
        }
        for (int bx = f.originX; bx < f.xEnd; bx += kBlock) {
            int64_t e[3];
            for (int k = 0; k < 3; ++k) {
                e[k] = rowE[k] + static_cast<int64_t>(bx - f.originX) * f.stepX[k];
            }
            if (e[0] < tests[0].touch || e[1] < tests[1].touch || e[2] < tests[2].touch) {
                counters.blockSkipped(bx, by);
                continue;
            }
            const bool full =
                e[0] >= tests[0].inside && e[1] >= tests[1].inside && e[2] >= tests[2].inside;
            counters.beforeBlock(framebuffer, width, bx, by, full);
            if (full) {
                drawBlock<false>(f, tests, fill, framebuffer, width, bx, by, e[0], e[1], e[2]);
            } else {
                drawBlock<true>(f, tests, fill, framebuffer, width, bx, by, e[0], e[1], e[2]);
            }
            counters.afterBlock(framebuffer, width, bx, by);
        }
    }
}

// r mod period in [0, period) for a rounded value r outside it: any sign or size, NaN gives 0.
// Beyond 2^24 every float is an integer, so fmod stays exact; no conversion can overflow.
[[gnu::noinline]] int wrapOutside(float r, int period) {
    if (r != r) return 0;
    if (!(std::fabs(r) < 16777216.0f)) r = std::fmod(r, static_cast<float>(period));
    int i = static_cast<int>(r) % period;
    return i < 0 ? i + period : i;
}

// round(x) mod period, rounding ties to even. Between -0.5 and period - 0.5 (the usual case)
// adding and subtracting 1.5 * 2^23 rounds x to an integer: the addition leaves no fraction
// bits, so the default rounding mode does the work, and the subtraction is exact. That is
// nearbyint's result without a library call; everything else takes the careful path.
inline int wrapRounded(float x, int period, float periodAsFloat) {
    if (x >= -0.5f && x < periodAsFloat - 0.5f) {
        return static_cast<int>((x + 12582912.0f) - 12582912.0f);
    }
    return wrapOutside(std::rint(x), period);
}

// Texel addressing: u runs left to right, v bottom to top; the pattern repeats every W - 1
// columns and H - 1 rows, so the top row and the rightmost column are never sampled.
class TexelAddress {
public:
    explicit TexelAddress(const Texture& texture)
        : texels_(texture.texels),
          width_(texture.width),
          lastRow_(texture.height - 1),
          columnScale_(static_cast<float>(texture.width - 1)),
          rowScale_(static_cast<float>(texture.height - 1)),
          columnPeriod_(std::max(texture.width - 1, 1)),
          rowPeriod_(std::max(texture.height - 1, 1)),
          columnPeriodAsFloat_(static_cast<float>(columnPeriod_)),
          rowPeriodAsFloat_(static_cast<float>(rowPeriod_)) {}

    std::ptrdiff_t index(float u, float v) const {
        const int column = wrapRounded(columnScale_ * u, columnPeriod_, columnPeriodAsFloat_);
        const int row = lastRow_ - wrapRounded(rowScale_ * v, rowPeriod_, rowPeriodAsFloat_);
        return static_cast<std::ptrdiff_t>(row) * width_ + column;
    }

    const float* at(float u, float v) const { return texels_ + 4 * index(u, v); }

    // Read directly by the vector lanes.
    const float* texels_;
    int width_;
    int lastRow_;
    float columnScale_;
    float rowScale_;
    int columnPeriod_;
    int rowPeriod_;
    float columnPeriodAsFloat_;
    float rowPeriodAsFloat_;
};

bool hasTexels(const Texture& texture) {
    return texture.texels != nullptr && texture.width >= 1 && texture.height >= 1;
}

struct LitFill {
    static constexpr bool kPerspective = true;
    static constexpr int kLinear = 0;
    float r, g, b;
    float iz[3];  // I_k / z_k

    explicit LitFill(const PreparedFace& f)
        : r(f.colour[0]),
          g(f.colour[1]),
          b(f.colour[2]),
          iz{f.perZ[0][0], f.perZ[0][1], f.perZ[0][2]} {}

    [[gnu::always_inline]] void shade(float* pixel, float w0, float w1, float w2, float q) const {
        const float intensity = (w0 * iz[0] + w1 * iz[1] + w2 * iz[2]) / q;
        pixel[0] = r * intensity;
        pixel[1] = g * intensity;
        pixel[2] = b * intensity;
    }
};

struct TexturedFill {
    static constexpr bool kPerspective = true;
    static constexpr int kLinear = 0;
    TexelAddress texture;
    float uz[3];  // u_k / z_k
    float vz[3];  // v_k / z_k

    explicit TexturedFill(const PreparedFace& f)
        : texture(*f.texture),
          uz{f.perZ[0][0], f.perZ[0][1], f.perZ[0][2]},
          vz{f.perZ[1][0], f.perZ[1][1], f.perZ[1][2]} {}

    [[gnu::always_inline]] void shade(float* pixel, float w0, float w1, float w2, float q) const {
        const float u = (w0 * uz[0] + w1 * uz[1] + w2 * uz[2]) / q;
        const float v = (w0 * vz[0] + w1 * vz[1] + w2 * vz[2]) / q;
        const float* texel = texture.at(u, v);
        const float alpha = texel[3];
        const float keep = 1.0f - alpha;
        pixel[0] = texel[0] * alpha + keep * clampUnitZeroingNaN(pixel[0]);
        pixel[1] = texel[1] * alpha + keep * clampUnitZeroingNaN(pixel[1]);
        pixel[2] = texel[2] * alpha + keep * clampUnitZeroingNaN(pixel[2]);
    }
};

struct TexturedLitFill {
    static constexpr bool kPerspective = false;
    static constexpr int kLinear = 3;  // u, v, intensity
    TexelAddress texture;

    explicit TexturedLitFill(const PreparedFace& f) : texture(*f.texture) {}

    [[gnu::always_inline]] void shade(float* pixel, const float* linear) const {
        const float* texel = texture.at(linear[0], linear[1]);
        const float intensity = linear[2];
        pixel[0] = texel[0] * intensity;
        pixel[1] = texel[1] * intensity;
        pixel[2] = texel[2] * intensity;
    }
};

#define LANES_KERNEL "render/raster_lanes.inc"
#include "lanes/each_width.inc"

// The show's engine, or the counting one when stats of the framebuffer's size are given: chosen
// once per face and band, so that nothing is tested per block or pixel on the show's path.
template <class Fill>
void drawWith(float* framebuffer, int width, int height, const PreparedFace& face, RowBand rows,
              RasterStats* stats, const DepthBounds* bounds) {
    const Fill fill(face);
    if (stats != nullptr && stats->width == width && stats->height == height) {
        StatsCounters counters(*stats);
        walkBlocks(face, fill, framebuffer, width, rows, counters);
    } else if (gLanes == RasterLanes::kEight && face.fitsLanes) {
        lanes8::drawFaceLanes(face, fill, framebuffer, width, rows, bounds);
    } else if (gLanes == RasterLanes::kFour && face.fitsLanes) {
        lanes4::drawFaceLanes(face, fill, framebuffer, width, rows, bounds);
    } else {
        NoCounters counters;
        walkBlocks(face, fill, framebuffer, width, rows, counters);
    }
}

// The coverage and the interpolation set-up that every filler shares.
void prepareFace(PreparedFace& f, FillKind kind, const SnappedTriangle& t,
                 const ScreenCorner corners[3]) {
    f.kind = kind;
    f.originX = t.xStart & ~(kBlock - 1);
    f.originY = t.yStart & ~(kBlock - 1);
    f.xEnd = t.xEnd;
    f.yEnd = t.yEnd;
    // The lanes reach whole runs of 8 block columns, and step once past a block's last row.
    const int64_t spanX = ((f.xEnd - f.originX + 63) & ~63) + kBlock;
    const int64_t spanY = ((f.yEnd - f.originY + 7) & ~7) + kBlock;
    f.fitsLanes = true;
    for (int k = 0; k < 3; ++k) {
        const int a = k;
        const int b = (k + 1) % 3;
        // Corners within 2^27 in 28.4: the steps fit in 29 bits.
        f.stepX[k] = t.Y[b] - t.Y[a];
        f.stepY[k] = t.X[a] - t.X[b];
        // Top-left rule: top and left edges include the pixels exactly on them.
        const bool topLeft = f.stepX[k] > 0 || (f.stepX[k] == 0 && f.stepY[k] > 0);
        const int64_t e = (16 * static_cast<int64_t>(f.originY) - t.Y[a]) * f.stepY[k] +
                          (16 * static_cast<int64_t>(f.originX) - t.X[a]) * f.stepX[k] +
                          (topLeft ? 1 : 0);
        f.edgeOrigin[k] = (e - 1) >> 4;
        const int64_t reach = std::abs(f.edgeOrigin[k]) + std::abs(int64_t{f.stepX[k]}) * spanX +
                              std::abs(int64_t{f.stepY[k]}) * spanY;
        f.fitsLanes = f.fitsLanes && reach < (int64_t{1} << 31) - 1;
    }

    // Weights, q and the linear attributes all describe the snapped triangle: S is the exact
    // sum of its three edge functions / 16 (e01 + e12 + e20 differ from it by their floors),
    // and the gradients come from the snapped corners. A block corner may extrapolate the
    // plane far outside a thin triangle; the floors in S, or gradients of the unsnapped
    // corners, would scale that wrongly and put depths far outside the corners' range.
    f.invS = 1.0f / (static_cast<float>(-t.doubleArea) / 16.0f);
    for (int i = 0; i < 3; ++i) f.z[i] = corners[i].z;
    const Gradient q =
        ScreenPlane(t).of(1.0f / corners[0].z, 1.0f / corners[1].z, 1.0f / corners[2].z);
    f.qdx = q.dx;
    f.qdy = q.dy;
    f.texture = nullptr;
}

}  // namespace

bool snapTriangle(const ScreenCorner corners[3], int width, int height, SnappedTriangle& t) {
    if (width <= 0 || height <= 0 || width % kBlock != 0 || height % kBlock != 0) return false;
    // The three corners' x, then y, in one vector each (the fourth lane repeats corner 0).
    using L = Lanes<4>;
    const L::Float x = {corners[0].sx, corners[1].sx, corners[2].sx, corners[0].sx};
    const L::Float y = {corners[0].sy, corners[1].sy, corners[2].sy, corners[0].sy};
    // |v| <= 2^23, written so that NaN fails too; within the bound the rounding to int is
    // exact, ties to even like nearbyint.
    const L::Int magnitude = L::splat(0x7FFFFFFF);
    const L::Float bound = L::splat(kMaxCorner);
    const L::Int near =
        (reinterpret_cast<L::Float>(reinterpret_cast<L::Int>(x) & magnitude) <= bound) &
        (reinterpret_cast<L::Float>(reinterpret_cast<L::Int>(y) & magnitude) <= bound);
    if (L::bits(near) != L::kAll) return false;
    const L::Int X = L::roundToInt(x * L::splat(16.0f));
    const L::Int Y = L::roundToInt(y * L::splat(16.0f));
    for (int i = 0; i < 3; ++i) {
        t.X[i] = X[i];
        t.Y[i] = Y[i];
    }
    // Twice the signed area in 1/256 px^2, negative for counter-clockwise corners (y down).
    // Clockwise and zero-area triangles cover no pixel under the edge rules.
    t.doubleArea = static_cast<int64_t>(t.X[1] - t.X[0]) * (t.Y[2] - t.Y[0]) -
                   static_cast<int64_t>(t.X[2] - t.X[0]) * (t.Y[1] - t.Y[0]);
    if (t.doubleArea >= 0) return false;
    t.xStart = std::max(ceilPixel(std::min({t.X[0], t.X[1], t.X[2]})), 0);
    t.xEnd = std::min(ceilPixel(std::max({t.X[0], t.X[1], t.X[2]})), width);
    t.yStart = std::max(ceilPixel(std::min({t.Y[0], t.Y[1], t.Y[2]})), 0);
    t.yEnd = std::min(ceilPixel(std::max({t.Y[0], t.Y[1], t.Y[2]})), height);
    return t.xStart < t.xEnd && t.yStart < t.yEnd;
}

void prepareLit(PreparedFace& face, const SnappedTriangle& triangle, const ScreenCorner corners[3],
                const float colour[3], const float intensity[3]) {
    prepareFace(face, FillKind::kLit, triangle, corners);
    for (int i = 0; i < 3; ++i) {
        face.colour[i] = colour[i];
        face.perZ[0][i] = intensity[i] / corners[i].z;
    }
}

bool prepareTextured(PreparedFace& face, const SnappedTriangle& triangle,
                     const ScreenCorner corners[3], const Uv uv[3], const Texture& texture) {
    if (!hasTexels(texture)) return false;
    prepareFace(face, FillKind::kTextured, triangle, corners);
    for (int i = 0; i < 3; ++i) {
        face.perZ[0][i] = uv[i].u / corners[i].z;
        face.perZ[1][i] = uv[i].v / corners[i].z;
    }
    face.texture = &texture;
    return true;
}

bool prepareTexturedLit(PreparedFace& face, const SnappedTriangle& triangle,
                        const ScreenCorner corners[3], const Uv uv[3], const Texture& texture,
                        const float intensity[3]) {
    if (!hasTexels(texture)) return false;
    prepareFace(face, FillKind::kTexturedLit, triangle, corners);
    const float values[3][3] = {{uv[0].u, uv[1].u, uv[2].u},
                                {uv[0].v, uv[1].v, uv[2].v},
                                {intensity[0], intensity[1], intensity[2]}};
    const ScreenPlane plane(triangle);
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 3; ++i) face.linear[k][i] = values[k][i];
        const Gradient g = plane.of(values[k][0], values[k][1], values[k][2]);
        face.linearDx[k] = g.dx;
        face.linearDy[k] = g.dy;
    }
    face.texture = &texture;
    return true;
}

void drawPreparedFace(float* framebuffer, int width, int height, const PreparedFace& face,
                      RasterStats* stats, RowBand rows, const DepthBounds* bounds) {
    switch (face.kind) {
        case FillKind::kLit:
            drawWith<LitFill>(framebuffer, width, height, face, rows, stats, bounds);
            break;
        case FillKind::kTextured:
            drawWith<TexturedFill>(framebuffer, width, height, face, rows, stats, bounds);
            break;
        case FillKind::kTexturedLit:
            drawWith<TexturedLitFill>(framebuffer, width, height, face, rows, stats, bounds);
            break;
    }
}

void setRasterizerLanes(RasterLanes lanes) {
    gLanes = static_cast<int>(lanes) <= static_cast<int>(widestLanes()) ? lanes : widestLanes();
}

RasterLanes rasterizerLanes() {
    return gLanes;
}

RasterLanes widestRasterizerLanes() {
    return widestLanes();
}

int texelIndex(const Texture& texture, float u, float v) {
    if (!hasTexels(texture)) return -1;
    return static_cast<int>(TexelAddress(texture).index(u, v));
}

void fillLit(float* framebuffer, int width, int height, const ScreenCorner corners[3],
             const float colour[3], const float intensity[3], RasterStats* stats, RowBand rows) {
    SnappedTriangle triangle;
    if (!snapTriangle(corners, width, height, triangle)) return;
    PreparedFace face;
    prepareLit(face, triangle, corners, colour, intensity);
    drawPreparedFace(framebuffer, width, height, face, stats, rows);
}

void fillTextured(float* framebuffer, int width, int height, const ScreenCorner corners[3],
                  const Uv uv[3], const Texture& texture, RasterStats* stats, RowBand rows) {
    SnappedTriangle triangle;
    if (!snapTriangle(corners, width, height, triangle)) return;
    PreparedFace face;
    if (!prepareTextured(face, triangle, corners, uv, texture)) return;
    drawPreparedFace(framebuffer, width, height, face, stats, rows);
}

void fillTexturedLit(float* framebuffer, int width, int height, const ScreenCorner corners[3],
                     const Uv uv[3], const Texture& texture, const float intensity[3],
                     RasterStats* stats, RowBand rows) {
    SnappedTriangle triangle;
    if (!snapTriangle(corners, width, height, triangle)) return;
    PreparedFace face;
    if (!prepareTexturedLit(face, triangle, corners, uv, texture, intensity)) return;
    drawPreparedFace(framebuffer, width, height, face, stats, rows);
}
