#include "scenes/overlays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "render/render_pool.h"
#include "scenes/float_lanes.h"
#include "scenes/picture_sampling.h"

namespace {

// What the band reads for every pixel, computed once per frame from the phase a.
struct PlasmaFrame {
    float cx, cy;      // centre of the rings
    double sinPhase;   // sin(0.02 a)
    double phaseTerm;  // 0.025 a
};

PlasmaFrame plasmaFrame(float a) {
    const double phase = a;
    PlasmaFrame frame;
    frame.cx = static_cast<float>(128.0 * std::sin(phase * -0.025));
    frame.cy = static_cast<float>(200.0 * std::sin(-phase * 0.01594896331738437));  // -a/62.7
    frame.sinPhase = std::sin(0.02 * phase);
    frame.phaseTerm = 0.025 * phase;
    return frame;
}

// The part of the wave's argument that depends on the row only; the column term is added
// last, so precomputing this keeps the sum's order.
double rowTerm(const PlasmaFrame& frame, float Y) {
    return static_cast<double>(Y) * 0.02 * frame.sinPhase + frame.phaseTerm;
}

// Square root by halving the exponent in the bit pattern (Blinn, "Floating-Point Tricks", 1997);
// the band's rings are defined with this approximation, not the exact root. s is a sum of
// squares, so its sign bit is clear (only -0 could set it; masking maps it to +0) and the
// right shift of the pattern is the same done unsigned as signed.
float approximateSqrt(float s) {
    uint32_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    bits = ((bits & 0x7FFFFFFFu) >> 1) + 0x1FC00000u;
    float root;
    std::memcpy(&root, &bits, sizeof root);
    return root;
}

// The column factor of the wave: 1/40.1.
constexpr double kColumnFactor = 0.024937655860349125;

// The squared offset from the centre along one axis, in double as the sum takes it.
double squaredOffset(float position, float centre) {
    const double offset = static_cast<double>(position) - centre;
    return offset * offset;
}

// The band's colour from the pixel's squared offsets to the centre (dx * dx, dy * dy) and its
// wave value e.
// Inlined: a call per pixel measured a quarter of the band's time.
inline __attribute__((always_inline)) PlasmaColour plasmaAt(double dxx, double dyy, double e) {
    const float s = static_cast<float>(dxx + dyy);
    const float rho = approximateSqrt(s);
    // The one sine per pixel left, in single precision: the band's colours are floats, and a
    // float sine is within their rounding while costing a fraction of a double one.
    const double d =
        std::sin(static_cast<float>(static_cast<double>(rho) * 0.8 * 0.024545900834560628));
    const double f = 0.12 * d + 0.25 * e;
    return PlasmaColour{static_cast<float>(0.8 * f + 0.6), static_cast<float>(0.12 * e + 0.6),
                        static_cast<float>(0.25 * d + 0.6), static_cast<float>(f + 0.5)};
}

float clampUnit(float v) {
    if (v < 0.0f) return 0.0f;
    if (v > 1.0f) return 1.0f;
    return v;
}

// al * width truncated, kept to one row (and to 0 for NaN or negative values).
int bandColumns(double al, int width) {
    const double columns = al * width;
    if (!(columns >= 1.0)) return 0;
    if (columns >= width) return width;
    return static_cast<int>(columns);
}

}  // namespace

PlasmaColour plasmaColour(float a, float X, float Y) {
    const PlasmaFrame frame = plasmaFrame(a);
    const double e = std::sin(rowTerm(frame, Y) + static_cast<double>(X) * kColumnFactor);
    return plasmaAt(squaredOffset(X, frame.cx), squaredOffset(Y, frame.cy), e);
}

namespace {

struct PlasmaJob {
    float* framebuffer;
    ScreenSize screen;
    PlasmaFrame frame;
    int firstRow, endRow;  // screen rows
    int columns;
    float weight;
    double inverseScale;  // picture pixels per screen pixel
    double stepSin, stepCos;
    // (X - cx)^2 of each column: the same for every row.
    const double* columnSquares;
    PassLanes lanes;
};

constexpr int kPlasmaBandRows = 16;

// What a row of the band starts from: Y, (Y - cy)^2 and the wave's sine and cosine at the
// first column.
struct PlasmaRow {
    float* pixel;
    double dyy;
    double waveSin, waveCos;
};

PlasmaRow plasmaRow(const PlasmaJob& job, int y) {
    const float Y = static_cast<float>(240.0 - job.screen.picturePosition(y));
    const double start = rowTerm(job.frame, Y) + (0.5 * job.inverseScale - 320.5) * kColumnFactor;
    return PlasmaRow{job.framebuffer + static_cast<long>(y) * job.screen.width * 4,
                     squaredOffset(Y, job.frame.cy), std::sin(start), std::cos(start)};
}

#ifdef SCENE_FLOAT_LANES
typedef double Double4 __attribute__((vector_size(32)));

// Four rows at once, one per lane: every lane does the double and float operations of
// drawPlasmaRow in the same order, so the bits are the same; only the sine runs per lane.
void drawPlasmaRowsLanes(const PlasmaJob& job, int y) {
    float* pixel[4];
    Double4 dyy, waveSin, waveCos;
    for (int i = 0; i < 4; ++i) {
        const PlasmaRow row = plasmaRow(job, y + i);
        pixel[i] = row.pixel;
        dyy[i] = row.dyy;
        waveSin[i] = row.waveSin;
        waveCos[i] = row.waveCos;
    }
    for (int x = 0; x < job.columns; ++x) {
        const Float4 s = __builtin_convertvector(job.columnSquares[x] + dyy, Float4);
        // approximateSqrt per lane.
        const Mask4 bits = ((std::bit_cast<Mask4>(s) & 0x7FFFFFFF) >> 1) + 0x1FC00000;
        const Double4 rho = __builtin_convertvector(std::bit_cast<Float4>(bits), Double4);
        const Float4 angle = __builtin_convertvector(rho * 0.8 * 0.024545900834560628, Float4);
        Double4 d;
        for (int i = 0; i < 4; ++i) d[i] = std::sin(angle[i]);
        const Double4 e = waveSin;
        const Double4 f = 0.12 * d + 0.25 * e;
        const Float4 r = __builtin_convertvector(0.8 * f + 0.6, Float4);
        const Float4 g = __builtin_convertvector(0.12 * e + 0.6, Float4);
        const Float4 b = __builtin_convertvector(0.25 * d + 0.6, Float4);
        const Float4 l = job.weight * __builtin_convertvector(f + 0.5, Float4);
        const Float4 keep = 1.0f - l;
        const Double4 nextSin = waveSin * job.stepCos + waveCos * job.stepSin;
        waveCos = waveCos * job.stepCos - waveSin * job.stepSin;
        waveSin = nextSin;
        for (int i = 0; i < 4; ++i) {
            float* p = pixel[i] + 4 * x;
            p[0] = p[0] * keep[i] + r[i] * l[i];
            p[1] = p[1] * keep[i] + g[i] * l[i];
            p[2] = p[2] * keep[i] + b[i] * l[i];
        }
    }
}
#endif

void drawPlasmaRow(const PlasmaJob& job, int y) {
    const PlasmaRow row = plasmaRow(job, y);
    double waveSin = row.waveSin, waveCos = row.waveCos;
    float* pixel = row.pixel;
    for (int x = 0; x < job.columns; ++x, pixel += 4) {
        const PlasmaColour c = plasmaAt(job.columnSquares[x], row.dyy, waveSin);
        const double nextSin = waveSin * job.stepCos + waveCos * job.stepSin;
        waveCos = waveCos * job.stepCos - waveSin * job.stepSin;
        waveSin = nextSin;
        const float l = job.weight * c.k;
        const float keep = 1.0f - l;
        pixel[0] = pixel[0] * keep + c.r * l;
        pixel[1] = pixel[1] * keep + c.g * l;
        pixel[2] = pixel[2] * keep + c.b * l;
    }
}

// Rows of the band, each on its own: any split of them gives the same bits.
void drawPlasmaRows(void* data, int band) {
    const PlasmaJob& job = *static_cast<const PlasmaJob*>(data);
    int y = job.firstRow + band * kPlasmaBandRows;
    const int end = std::min(y + kPlasmaBandRows, job.endRow);
#ifdef SCENE_FLOAT_LANES
    if (job.lanes == PassLanes::Vector) {
        for (; y + 4 <= end; y += 4) drawPlasmaRowsLanes(job, y);
    }
#endif
    for (; y < end; ++y) drawPlasmaRow(job, y);
}

}  // namespace

void drawPlasmaBand(const FrameTarget& target, float currentTime, double wfac, double al,
                    PassLanes lanes) {
    float* framebuffer = target.framebuffer;
    const ScreenSize& screen = target.screen;
    const float a = 80.0f * currentTime;
    PlasmaJob job{};
    job.framebuffer = framebuffer;
    job.screen = screen;
    job.frame = plasmaFrame(a);
    job.firstRow = screen.pixelFrom(kPlasmaFirstRow);
    job.endRow = std::min(screen.pixelFrom(kPlasmaLastRow + 1), screen.height);
    job.columns = bandColumns(al, screen.width);
    job.weight = static_cast<float>(wfac);
    job.inverseScale = 1.0 / screen.scale;
    job.lanes = lanes;
    // The wave's argument grows by the column factor from one picture column to the next, so
    // its sine is carried along the row by the angle-addition rotation (double precision: the
    // drift over a row of steps stays far below float resolution) instead of a sine per pixel.
    const double step = kColumnFactor * job.inverseScale;
    job.stepSin = std::sin(step);
    job.stepCos = std::cos(step);
    const int rows = job.endRow - job.firstRow;
    double columnSquares[kMaxScreenWidth];
    for (int x = 0; x < job.columns; ++x) {
        // X of the pixel's centre, (x + 0.5) / S - 0.5 - 320: exactly x - 320 at scale 1.
        const float X = static_cast<float>((x + 0.5) * job.inverseScale - 320.5);
        columnSquares[x] = squaredOffset(X, job.frame.cx);
    }
    job.columnSquares = columnSquares;
    if (job.columns > 0 && rows > 0) {
        runBands(target.pool, drawPlasmaRows, &job, (rows + kPlasmaBandRows - 1) / kPlasmaBandRows);
    }
    // The red dot covers picture pixel (0, 0) at any scale.
    const int dot = std::max(screen.pixelFrom(1), 1);
    for (int y = 0; y < dot; ++y) {
        for (int x = 0; x < dot; ++x)
            framebuffer[4 * (static_cast<long>(y) * screen.width + x)] = 0.7f;
    }
}

namespace {

void blendRowScalar(float* pixel, const float* texel, int columns, float weight) {
    for (int x = 0; x < columns; ++x, texel += 4, pixel += 4) {
        const float alpha = weight * texel[3];
        const float keep = 1.0f - alpha;
        for (int c = 0; c < 3; ++c) {
            pixel[c] = clampUnit(pixel[c]) * keep + texel[c] * alpha;
        }
    }
}

#ifdef SCENE_FLOAT_LANES
// One pixel per vector: clampUnit, then the scalar's products and sum in each colour lane; the
// depth lane is put back. The sum's operands are written in the order GCC gives the scalar
// addition, so that where both products are NaN the same one comes out.
void blendRowLanes(float* pixel, const float* texel, int columns, float weight) {
    for (int x = 0; x < columns; ++x, texel += 4, pixel += 4) {
        const Float4 t = loadFloat4(texel);
        const Float4 old = loadFloat4(pixel);
        const Float4 alpha = weight * __builtin_shufflevector(t, t, 3, 3, 3, 3);
        const Float4 keep = 1.0f - alpha;
        const Float4 c = clampUnitLanes(old);
        storeFloat4(pixel, selectLanes(kColourLanes, t * alpha + c * keep, old));
    }
}
#endif

}  // namespace

namespace {

// blendImage on a scaled screen. The four texels are weighted by their alpha as well, and the
// sum is the texel * alpha of the blend, so transparent texels add nothing.
struct ScaledBlendJob {
    float* framebuffer;
    const ScreenSize* screen;
    const Texture* image;
    int topRow;
    float weight;
    int firstRow, endRow, columns;
    const BilinearTap* taps;  // per screen column
};

constexpr int kBlendBandRows = 16;

void blendScaledRows(void* data, int band) {
    const ScaledBlendJob& job = *static_cast<const ScaledBlendJob*>(data);
    const Texture& image = *job.image;
    const long rowFloats = static_cast<long>(image.width) * 4;
    const int first = job.firstRow + band * kBlendBandRows;
    const int end = std::min(first + kBlendBandRows, job.endRow);
    for (int y = first; y < end; ++y) {
        const BilinearTap v =
            bilinearTap(job.screen->picturePosition(y) - job.topRow, image.height);
        const float* row0 = image.texels + v.i0 * rowFloats;
        const float* row1 = image.texels + v.i1 * rowFloats;
        float* pixel = job.framebuffer + static_cast<long>(y) * job.screen->width * 4;
        for (int x = 0; x < job.columns; ++x, pixel += 4) {
            const BilinearTap& u = job.taps[x];
            const float* t[4] = {row0 + 4 * u.i0, row0 + 4 * u.i1, row1 + 4 * u.i0,
                                 row1 + 4 * u.i1};
            const float w[4] = {(1.0f - u.f) * (1.0f - v.f), u.f * (1.0f - v.f), (1.0f - u.f) * v.f,
                                u.f * v.f};
            float a[4];
            for (int k = 0; k < 4; ++k) a[k] = w[k] * t[k][3];
            const float keep = 1.0f - job.weight * (((a[0] + a[1]) + a[2]) + a[3]);
#ifdef SCENE_FLOAT_LANES
            // The scalar lines below, four lanes at once in the same order.
            const Float4 sum =
                ((loadFloat4(t[0]) * a[0] + loadFloat4(t[1]) * a[1]) + loadFloat4(t[2]) * a[2]) +
                loadFloat4(t[3]) * a[3];
            const Float4 old = loadFloat4(pixel);
            storeFloat4(pixel, selectLanes(kColourLanes,
                                           clampUnitLanes(old) * keep + sum * job.weight, old));
#else
            for (int c = 0; c < 3; ++c) {
                const float sum =
                    ((t[0][c] * a[0] + t[1][c] * a[1]) + t[2][c] * a[2]) + t[3][c] * a[3];
                pixel[c] = clampUnit(pixel[c]) * keep + sum * job.weight;
            }
#endif
        }
    }
}

void blendImageScaled(float* framebuffer, const ScreenSize& screen, const Texture& image,
                      int topRow, float weight, RenderPool* pool) {
    ScaledBlendJob job{framebuffer, &screen, &image, topRow, weight, 0, 0, 0, nullptr};
    job.columns = std::min(screen.pixelFrom(std::min(image.width, kScreenWidth)), screen.width);
    job.firstRow = std::max(screen.pixelFrom(topRow), 0);
    job.endRow =
        std::min(screen.pixelFrom(static_cast<double>(topRow) + image.height), screen.height);
    if (job.columns < 1 || job.endRow <= job.firstRow) return;
    // Every row reads the same columns.
    BilinearTap taps[kMaxScreenWidth];
    for (int x = 0; x < job.columns; ++x)
        taps[x] = bilinearTap(screen.picturePosition(x), image.width);
    job.taps = taps;
    runBands(pool, blendScaledRows, &job,
             (job.endRow - job.firstRow + kBlendBandRows - 1) / kBlendBandRows);
}

}  // namespace

void blendImage(const FrameTarget& target, const Texture& image, int topRow, float weight,
                PassLanes lanes) {
    float* framebuffer = target.framebuffer;
    const ScreenSize& screen = target.screen;
    if (image.texels == nullptr || image.width < 1 || image.height < 1) return;
    if (screen.scale != 1.0) {
        blendImageScaled(framebuffer, screen, image, topRow, weight, target.pool);
        return;
    }
    if (topRow >= screen.height) return;
    const int columns = image.width < screen.width ? image.width : screen.width;
    for (int r = 0; r < image.height; ++r) {
        const int y = topRow + r;
        if (y >= screen.height) break;
        if (y < 0) continue;
        const float* texel = image.texels + static_cast<long>(r) * image.width * 4;
        float* pixel = framebuffer + static_cast<long>(y) * screen.width * 4;
#ifdef SCENE_FLOAT_LANES
        if (lanes == PassLanes::Vector) {
            blendRowLanes(pixel, texel, columns, weight);
            continue;
        }
#endif
        blendRowScalar(pixel, texel, columns, weight);
    }
    (void)lanes;
}
