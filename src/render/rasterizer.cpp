#include "render/rasterizer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lanes/lanes.h"
#include "render/raster_stats.h"
#include "render/texture.h"

// Half-space rasterization in blocks after Pineda, "A Parallel Algorithm for Polygon
// Rasterization" (SIGGRAPH 1988), with the serpentine block walk of McCormack and McNamara,
// "Tiled Polygon Traversal Using Half-Plane Edge Functions" (2000).

namespace {

// The texel rounding below needs float arithmetic done in float precision (SSE, not x87).
static_assert(FLT_EVAL_METHOD == 0);

constexpr int kBlock = 8;
constexpr float kMaxCorner = 8388608.0f;  // 2^23 pixels = 2^27 in 28.4

// Triangles of fewer pixels are drawn by the scalar blocks.
constexpr int64_t kMinLanePixels = 32;

RasterLanes gLanes = widestLanes();

// An attribute given at the three corners.
struct CornerValues {
    float a0, a1, a2;
};

struct Gradient {
    float dx, dy;  // change per pixel right, per pixel row down
};

// One edge a->b: e = floor((E - 1) / 16) at pixel corners, stepped in integers.
struct Edge {
    int64_t stepX;      // Yb - Ya
    int64_t stepY;      // Xa - Xb
    int64_t origin;     // e at the first block's top-left pixel
    int64_t touch;      // a block reaches the edge's inside when its top-left e >= touch
    int64_t inside;     // and lies wholly inside it when its top-left e >= inside
    int64_t rowReach;   // 7 * max(stepX, 0): how much e can grow along a block row
    int64_t laneLimit;  // every e of a block stays in int32 when |top-left e| < laneLimit
};

// Everything a block needs, fixed once per triangle.
template <int kLinear>
struct Setup {
    Edge edge[3];  // 0->1, 1->2, 2->0 (e01 is opposite corner 2, e12 opposite corner 0)
    int originX, originY;
    float invS;
    float z[3];
    Gradient q;
    std::array<CornerValues, kLinear> linear;
    std::array<Gradient, kLinear> linearGradient;
};

// Screen gradients over the snapped corners (28.4 values / 16), the triangle that the edge
// functions cover. D is twice its signed area, exact from the integers, and never 0 here.
struct ScreenPlane {
    float sx10, sy10, sx20, sy20;
    float area;  // D = (sx1 - sx0)(sy2 - sy0) - (sx2 - sx0)(sy1 - sy0)

    // doubleArea: (X1 - X0)(Y2 - Y0) - (X2 - X0)(Y1 - Y0) of the 28.4 corners.
    ScreenPlane(const int X[3], const int Y[3], int64_t doubleArea)
        : sx10(static_cast<float>(X[1] - X[0]) / 16.0f),
          sy10(static_cast<float>(Y[1] - Y[0]) / 16.0f),
          sx20(static_cast<float>(X[2] - X[0]) / 16.0f),
          sy20(static_cast<float>(Y[2] - Y[0]) / 16.0f),
          area(static_cast<float>(doubleArea) / 256.0f) {}

    Gradient of(float a0, float a1, float a2) const {
        return {((a1 - a0) * sy20 - (a2 - a0) * sy10) / area,
                ((a2 - a0) * sx10 - (a1 - a0) * sx20) / area};
    }
};

// q first, then the filler's screen-linear attributes, at a block's top-left pixel: all start
// from the block's own top-left weights and are stepped from there.
template <int kValues>
struct BlockStart {
    float row[kValues];
    float dx[kValues];
    float dy[kValues];
};

template <int kLinear>
[[gnu::always_inline]] inline void blockStart(const Setup<kLinear>& t, int64_t e01, int64_t e12,
                                              BlockStart<1 + kLinear>& start) {
    const float w2 = static_cast<float>(e01) * t.invS;
    const float w0 = static_cast<float>(e12) * t.invS;
    const float w1 = 1.0f - w0 - w2;
    start.row[0] = w0 / t.z[0] + w1 / t.z[1] + w2 / t.z[2];
    start.dx[0] = t.q.dx;
    start.dy[0] = t.q.dy;
    for (int k = 0; k < kLinear; ++k) {
        const CornerValues& a = t.linear[k];
        start.row[1 + k] = w0 * a.a0 + w1 * a.a1 + w2 * a.a2;
        start.dx[1 + k] = t.linearGradient[k].dx;
        start.dy[1 + k] = t.linearGradient[k].dy;
    }
}

// In an edge block, rows outside some edge all along are skipped whole.
template <int kLinear>
[[gnu::always_inline]] inline bool rowMayCover(const Setup<kLinear>& t, int64_t e01, int64_t e12,
                                               int64_t e20) {
    return e01 + t.edge[0].rowReach >= 0 && e12 + t.edge[1].rowReach >= 0 &&
           e20 + t.edge[2].rowReach >= 0;
}

// Fills one 8x8 block whose top-left pixel has working values e01, e12, e20. Blocks wholly
// inside all three edges skip the coverage test (kTestCoverage false). Inlined into each
// instantiation of the engine, as when the show's was the only one. The reference for the
// vector lanes (raster_lanes.inc).
template <bool kTestCoverage, class Fill>
[[gnu::always_inline]] inline void drawBlock(const Setup<Fill::kLinear>& t, const Fill& fill,
                                             float* framebuffer, int width, int bx, int by,
                                             int64_t e01, int64_t e12, int64_t e20) {
    constexpr int kValues = 1 + Fill::kLinear;
    BlockStart<kValues> start;
    blockStart(t, e01, e12, start);
    float* rowValue = start.row;
    const float* dx = start.dx;
    const float* dy = start.dy;

    float* rowPixel = framebuffer + 4 * (static_cast<std::ptrdiff_t>(by) * width + bx);
    for (int j = 0; j < kBlock; ++j) {
        if (!kTestCoverage || rowMayCover(t, e01, e12, e20)) {
            int64_t a = e01, b = e12, c = e20;
            float value[kValues];
            for (int k = 0; k < kValues; ++k) value[k] = rowValue[k];
            float* pixel = rowPixel;
            for (int i = 0; i < kBlock; ++i) {
                // All three non-negative <=> no sign bit in their OR.
                if ((!kTestCoverage || (a | b | c) >= 0) && value[0] < pixel[3]) {
                    pixel[3] = value[0];
                    if constexpr (Fill::kPerspective) {
                        const float w2 = static_cast<float>(a) * t.invS;
                        const float w0 = static_cast<float>(b) * t.invS;
                        const float w1 = 1.0f - w0 - w2;
                        fill.shade(pixel, w0, w1, w2, value[0]);
                    } else {
                        fill.shade(pixel, value + 1);
                    }
                }
                a += t.edge[0].stepX;
                b += t.edge[1].stepX;
                c += t.edge[2].stepX;
                for (int k = 0; k < kValues; ++k) value[k] += dx[k];
                pixel += 4;
            }
        }
        e01 += t.edge[0].stepY;
        e12 += t.edge[1].stepY;
        e20 += t.edge[2].stepY;
        for (int k = 0; k < kValues; ++k) rowValue[k] += dy[k];
        rowPixel += 4 * static_cast<std::ptrdiff_t>(width);
    }
}

// Draws the block in vector lanes when `lanes` asks for them and its edge values fit the lanes'
// int32; false leaves it to drawBlock. Defined with the lanes, below the fillers.
template <bool kTestCoverage, class Fill>
bool drawBlockInLanes(RasterLanes lanes, const Setup<Fill::kLinear>& t, const Fill& fill,
                      float* framebuffer, int width, int bx, int by, const int64_t e[3]);

// ceil(v / 16) for 28.4 values (arithmetic shift = floor).
int ceilPixel(int v) {
    return (v + 15) >> 4;
}

// The show's hooks of the engine: all empty, so that this instantiation compiles to the engine
// without any counting.
struct NoCounters {
    static constexpr bool kMayUseLanes = true;
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
    static constexpr bool kMayUseLanes = false;
    explicit StatsCounters(RasterStats& stats) : stats_(stats) {}

    void triangle() { ++stats_.faces; }

    // A face may test one block more than once on its walk; it counts once.
    void blockSkipped(int bx, int by) {
        const size_t block = blockIndex(bx, by);
        const uint32_t face = static_cast<uint32_t>(stats_.faces);
        if (stats_.blockLastSkip[block] == face) return;
        stats_.blockLastSkip[block] = face;
        ++stats_.blockSkipped[block];
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

// The coverage engine shared by the three fillers; Counters is NoCounters or StatsCounters.
template <class Fill, class Counters>
void rasterize(float* framebuffer, int width, int height, const ScreenCorner corner[3],
               const Fill& fill, const std::array<CornerValues, Fill::kLinear>& linear,
               RowBand rows, Counters& counters) {
    if (width <= 0 || height <= 0 || width % kBlock != 0 || height % kBlock != 0) return;

    int X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        // Written so that NaN fails too; within the bound the int conversion is exact.
        if (!(std::fabs(corner[i].sx) <= kMaxCorner && std::fabs(corner[i].sy) <= kMaxCorner))
            return;
        // rint rounds exactly like nearbyint (ties to even in the default mode) but is inlined.
        X[i] = static_cast<int>(std::rint(corner[i].sx * 16.0f));
        Y[i] = static_cast<int>(std::rint(corner[i].sy * 16.0f));
    }

    // Twice the signed area in 1/256 px^2, negative for counter-clockwise corners (y down).
    // Clockwise and zero-area triangles cover no pixel under the edge rules below; stopping
    // here changes nothing but the time.
    const int64_t area = static_cast<int64_t>(X[1] - X[0]) * (Y[2] - Y[0]) -
                         static_cast<int64_t>(X[2] - X[0]) * (Y[1] - Y[0]);
    if (area >= 0) return;

    const int xStart = std::max(ceilPixel(std::min({X[0], X[1], X[2]})), 0);
    const int xEnd = std::min(ceilPixel(std::max({X[0], X[1], X[2]})), width);
    // Only the band's rows; everything below depends on the corners, not on where the walk
    // starts, so a band draws the same bits as the whole screen does there.
    const int yStart = std::max({ceilPixel(std::min({Y[0], Y[1], Y[2]})), 0, rows.first});
    const int yEnd = std::min({ceilPixel(std::max({Y[0], Y[1], Y[2]})), height, rows.end});
    if (xStart >= xEnd || yStart >= yEnd) return;

    Setup<Fill::kLinear> t;
    t.originX = xStart & ~(kBlock - 1);
    t.originY = yStart & ~(kBlock - 1);
    for (int k = 0; k < 3; ++k) {
        const int a = k;
        const int b = (k + 1) % 3;
        Edge& edge = t.edge[k];
        edge.stepX = Y[b] - Y[a];
        edge.stepY = X[a] - X[b];
        // Top-left rule: top and left edges include the pixels exactly on them.
        const bool topLeft = edge.stepX > 0 || (edge.stepX == 0 && edge.stepY > 0);
        const int64_t e = (16 * static_cast<int64_t>(t.originY) - Y[a]) * edge.stepY +
                          (16 * static_cast<int64_t>(t.originX) - X[a]) * edge.stepX +
                          (topLeft ? 1 : 0);
        edge.origin = (e - 1) >> 4;
        edge.touch = -7 * std::max<int64_t>(edge.stepX, 0) - 7 * std::max<int64_t>(edge.stepY, 0);
        edge.inside = 7 * std::max<int64_t>(-edge.stepX, 0) + 7 * std::max<int64_t>(-edge.stepY, 0);
        edge.rowReach = 7 * std::max<int64_t>(edge.stepX, 0);
        // 8 steps each way: the lanes also step once past the block's last row.
        edge.laneLimit = (int64_t{1} << 31) - 8 * std::abs(edge.stepX) - 8 * std::abs(edge.stepY);
    }

    // Weights, q and the linear attributes all describe the snapped triangle: S is the exact
    // sum of its three edge functions / 16 (e01 + e12 + e20 differ from it by their floors),
    // and the gradients come from the snapped corners. A block corner may extrapolate the
    // plane far outside a thin triangle; the floors in S, or gradients of the unsnapped
    // corners, would scale that wrongly and put depths far outside the corners' range.
    t.invS = 1.0f / (static_cast<float>(-area) / 16.0f);
    for (int i = 0; i < 3; ++i) t.z[i] = corner[i].z;
    const ScreenPlane plane(X, Y, area);
    t.q = plane.of(1.0f / corner[0].z, 1.0f / corner[1].z, 1.0f / corner[2].z);
    for (int k = 0; k < Fill::kLinear; ++k) {
        t.linear[k] = linear[k];
        t.linearGradient[k] = plane.of(linear[k].a0, linear[k].a1, linear[k].a2);
    }

    counters.triangle();
    // Slivers and tiny triangles cover a few pixels of each block: setting up the lanes would
    // cost more than the scalar pixels (falling discs, measured).
    const RasterLanes lanes =
        Counters::kMayUseLanes && -area >= 512 * kMinLanePixels ? gLanes : RasterLanes::kScalar;
    auto drawTouching = [&](int bx, int by, const int64_t e[3]) {
        const bool full =
            e[0] >= t.edge[0].inside && e[1] >= t.edge[1].inside && e[2] >= t.edge[2].inside;
        counters.beforeBlock(framebuffer, width, bx, by, full);
        const bool inLanes =
            Counters::kMayUseLanes && lanes != RasterLanes::kScalar &&
            (full ? drawBlockInLanes<false>(lanes, t, fill, framebuffer, width, bx, by, e)
                  : drawBlockInLanes<true>(lanes, t, fill, framebuffer, width, bx, by, e));
        if (!inLanes && full) {
            drawBlock<false>(t, fill, framebuffer, width, bx, by, e[0], e[1], e[2]);
        } else if (!inLanes) {
            drawBlock<true>(t, fill, framebuffer, width, bx, by, e[0], e[1], e[2]);
        }
        counters.afterBlock(framebuffer, width, bx, by);
    };

    // Serpentine walk over the block rows, starting at the box's first block column heading
    // left. It only saves time: every block of a row that touches all three edges is drawn,
    // and those blocks form one run of columns (each edge keeps one side of a line).
    auto inRange = [&](int bx) { return bx >= t.originX && bx < xEnd; };
    int column = t.originX;
    int direction = -kBlock;
    for (int by = t.originY; by < yEnd; by += kBlock) {
        int64_t rowE[3];  // e at (originX, by)
        for (int k = 0; k < 3; ++k) {
            rowE[k] = t.edge[k].origin + static_cast<int64_t>(by - t.originY) * t.edge[k].stepY;
        }
        auto edgesAt = [&](int bx, int64_t e[3]) {
            for (int k = 0; k < 3; ++k) {
                e[k] = rowE[k] + static_cast<int64_t>(bx - t.originX) * t.edge[k].stepX;
            }
        };
        // The first edge (0->1, 1->2, 2->0) whose inside the block misses; -1 if none. One
        // branch for the three tests: which way it goes is hard enough to predict.
        auto firstMiss = [&](int bx) {
            int64_t e[3];
            edgesAt(bx, e);
            const int misses = int{e[0] < t.edge[0].touch} | int{e[1] < t.edge[1].touch} << 1 |
                               int{e[2] < t.edge[2].touch} << 2;
            if (misses == 0) return -1;
            counters.blockSkipped(bx, by);
            return std::countr_zero(static_cast<unsigned>(misses));
        };
        auto grows = [&](int k, int dir) {
            return dir > 0 ? t.edge[k].stepX > 0 : t.edge[k].stepX < 0;
        };

        // Run ahead to the far end of the row's run. From a block outside it, go on only while
        // the failing edge grows ahead: the run then lies ahead (thin slanted triangles can
        // move it more than a block between rows); otherwise it lies behind or nowhere.
        int miss = firstMiss(column);
        while (miss >= 0 && grows(miss, direction) && inRange(column + direction)) {
            column += direction;
            miss = firstMiss(column);
        }
        // Every block from the run's first found block to its far end touches all three
        // edges: the sweep back draws them without testing them again.
        const bool runFound = miss < 0;
        const int runFirst = column;
        if (runFound) {
            while (inRange(column + direction) && firstMiss(column + direction) < 0) {
                column += direction;
            }
        }

        // Sweep back, drawing the run; stop at the first block that the run cannot follow.
        direction = -direction;
        bool known = runFound;
        for (;;) {
            miss = known ? -1 : firstMiss(column);
            if (column == runFirst) known = false;
            if (miss < 0) {
                int64_t e[3];
                edgesAt(column, e);
                drawTouching(column, by, e);
            } else if (!grows(miss, direction)) {
                break;
            }
            if (!inRange(column + direction)) break;
            column += direction;
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

template <int kLinear>
bool blockFitsLanes(const Setup<kLinear>& t, const int64_t e[3]) {
    return std::abs(e[0]) < t.edge[0].laneLimit && std::abs(e[1]) < t.edge[1].laneLimit &&
           std::abs(e[2]) < t.edge[2].laneLimit;
}

template <bool kTestCoverage, class Fill>
bool drawBlockInLanes(RasterLanes lanes, const Setup<Fill::kLinear>& t, const Fill& fill,
                      float* framebuffer, int width, int bx, int by, const int64_t e[3]) {
    if (!blockFitsLanes(t, e)) return false;
    if (lanes == RasterLanes::kEight) {
        lanes8::drawBlockLanes<kTestCoverage>(t, fill, framebuffer, width, bx, by, e[0], e[1],
                                              e[2]);
    } else {
        lanes4::drawBlockLanes<kTestCoverage>(t, fill, framebuffer, width, bx, by, e[0], e[1],
                                              e[2]);
    }
    return true;
}

// Kept out of line so that the show's instantiation is compiled (and inlined) as if it were
// the only one.
template <class Fill>
[[gnu::noinline]] void rasterizeCounted(float* framebuffer, int width, int height,
                                        const ScreenCorner corner[3], const Fill& fill,
                                        const std::array<CornerValues, Fill::kLinear>& linear,
                                        RowBand rows, RasterStats& stats) {
    StatsCounters counters(stats);
    rasterize(framebuffer, width, height, corner, fill, linear, rows, counters);
}

// The show's engine, or the counting one when stats of the framebuffer's size are given: chosen
// once per triangle, so that nothing is tested per block or pixel on the show's path.
template <class Fill>
void rasterizeFace(float* framebuffer, int width, int height, const ScreenCorner corner[3],
                   const Fill& fill, const std::array<CornerValues, Fill::kLinear>& linear,
                   RasterStats* stats, RowBand rows) {
    if (stats != nullptr && stats->width == width && stats->height == height) {
        rasterizeCounted(framebuffer, width, height, corner, fill, linear, rows, *stats);
    } else {
        NoCounters counters;
        rasterize(framebuffer, width, height, corner, fill, linear, rows, counters);
    }
}

}  // namespace

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
    LitFill fill{colour[0], colour[1], colour[2], {}};
    for (int i = 0; i < 3; ++i) fill.iz[i] = intensity[i] / corners[i].z;
    rasterizeFace(framebuffer, width, height, corners, fill, {}, stats, rows);
}

void fillTextured(float* framebuffer, int width, int height, const ScreenCorner corners[3],
                  const Uv uv[3], const Texture& texture, RasterStats* stats, RowBand rows) {
    if (!hasTexels(texture)) return;
    TexturedFill fill{TexelAddress(texture), {}, {}};
    for (int i = 0; i < 3; ++i) {
        fill.uz[i] = uv[i].u / corners[i].z;
        fill.vz[i] = uv[i].v / corners[i].z;
    }
    rasterizeFace(framebuffer, width, height, corners, fill, {}, stats, rows);
}

void fillTexturedLit(float* framebuffer, int width, int height, const ScreenCorner corners[3],
                     const Uv uv[3], const Texture& texture, const float intensity[3],
                     RasterStats* stats, RowBand rows) {
    if (!hasTexels(texture)) return;
    const TexturedLitFill fill{TexelAddress(texture)};
    rasterizeFace(framebuffer, width, height, corners, fill,
                  {{{uv[0].u, uv[1].u, uv[2].u},
                    {uv[0].v, uv[1].v, uv[2].v},
                    {intensity[0], intensity[1], intensity[2]}}},
                  stats, rows);
}
