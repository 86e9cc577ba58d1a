#include "scenes/overlays.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "render/render_pool.h"
#include "scenes/pass_lanes.h"
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

// The band's numbers are written once for one pixel (float, double) and for one pixel in each
// of four rows (Lanes<4>::Float, Lanes<4>::Double): every lane does the scalar pixel's double
// and float operations in the same order, so the lanes draw the scalar bits. Four doubles are
// 256 bits, which must not be passed by value (lanes/lanes.h): they go by reference.
using Double4 = Lanes<4>::Double;
template <class Floats>
using WordsOf = std::conditional_t<std::is_same_v<Floats, float>, uint32_t, Lanes<4>::Word>;

[[gnu::always_inline]] inline void narrow(float& to, double from) {
    to = static_cast<float>(from);
}
[[gnu::always_inline]] inline void narrow(Float4& to, const Double4& from) {
    to = __builtin_convertvector(from, Float4);
}
[[gnu::always_inline]] inline void widen(double& to, float from) {
    to = from;
}
[[gnu::always_inline]] inline void widen(Double4& to, const Float4& from) {
    to = __builtin_convertvector(from, Double4);
}

// The one sine per pixel left, in single precision: the band's colours are floats, and a
// float sine is within their rounding while costing a fraction of a double one.
[[gnu::always_inline]] inline float ringSine(float angle) {
    return std::sin(angle);
}

// Square root by halving the exponent in the bit pattern (Blinn, "Floating-Point Tricks", 1997);
// the band's rings are defined with this approximation, not the exact root. s is a sum of
// squares, so its sign bit is clear (only -0 could set it; masking maps it to +0).
template <class Floats>
[[gnu::always_inline]] inline Floats approximateSqrt(Floats s) {
    using Words = WordsOf<Floats>;
    return std::bit_cast<Floats>(((std::bit_cast<Words>(s) & 0x7FFFFFFFu) >> 1) + 0x1FC00000u);
}

// The column factor of the wave: 1/40.1.
constexpr double kColumnFactor = 0.024937655860349125;
// The rings' factor: 1/40.74.
constexpr double kRingFactor = 0.024545900834560628;

// The squared offset from the centre along one axis, in double as the sum takes it.
double squaredOffset(float position, float centre) {
    const double offset = static_cast<double>(position) - centre;
    return offset * offset;
}

template <class Floats>
struct PlasmaValues {
    Floats r, g, b;
    Floats k;  // blend weight before the wfac factor
};

// The angle of the band's rings at a pixel, from its squared offsets to the centre (dx * dx,
// the same in every lane, and dy * dy).
template <class Floats, class Doubles>
[[gnu::always_inline]] inline void ringAngle(double dxx, const Doubles& dyy, Floats& angle) {
    Floats s;
    narrow(s, dxx + dyy);
    Doubles rho;
    widen(rho, approximateSqrt(s));
    narrow(angle, rho * 0.8 * kRingFactor);
}

// The band's colour from the sine d of the rings' angle and the wave value e.
template <class Floats, class Doubles>
[[gnu::always_inline]] inline void plasmaFrom(const Doubles& d, const Doubles& e,
                                              PlasmaValues<Floats>& out) {
    const Doubles f = 0.12 * d + 0.25 * e;
    narrow(out.r, 0.8 * f + 0.6);
    narrow(out.g, 0.12 * e + 0.6);
    narrow(out.b, 0.25 * d + 0.6);
    narrow(out.k, f + 0.5);
}

// The band's colour at a pixel from its squared offsets to the centre and its wave value e.
// Inlined: a call per pixel measured a quarter of the band's time.
[[gnu::always_inline]] inline void plasmaAt(double dxx, double dyy, double e,
                                            PlasmaValues<float>& out) {
    float angle;
    ringAngle(dxx, dyy, angle);
    double d;
    widen(d, ringSine(angle));
    plasmaFrom(d, e, out);
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
    PlasmaValues<float> c;
    plasmaAt(squaredOffset(X, frame.cx), squaredOffset(Y, frame.cy), e, c);
    return PlasmaColour{c.r, c.g, c.b, c.k};
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

// The wave one picture column on: its sine by the angle-addition rotation.
template <class Doubles>
[[gnu::always_inline]] inline void stepWave(double stepSin, double stepCos, Doubles& waveSin,
                                            Doubles& waveCos) {
    const Doubles nextSin = waveSin * stepCos + waveCos * stepSin;
    waveCos = waveCos * stepCos - waveSin * stepSin;
    waveSin = nextSin;
}

// The band's colour over a pixel with weight l.
[[gnu::always_inline]] inline void blendPlasma(float* pixel, float r, float g, float b, float l) {
    const float keep = 1.0f - l;
    pixel[0] = pixel[0] * keep + r * l;
    pixel[1] = pixel[1] * keep + g * l;
    pixel[2] = pixel[2] * keep + b * l;
}

void drawPlasmaRow(const PlasmaJob& job, int y) {
    const PlasmaRow row = plasmaRow(job, y);
    double waveSin = row.waveSin, waveCos = row.waveCos;
    float* pixel = row.pixel;
    for (int x = 0; x < job.columns; ++x, pixel += 4) {
        PlasmaValues<float> c;
        plasmaAt(job.columnSquares[x], row.dyy, waveSin, c);
        stepWave(job.stepSin, job.stepCos, waveSin, waveCos);
        blendPlasma(pixel, c.r, c.g, c.b, job.weight * c.k);
    }
}

#define LANES_KERNEL "scenes/plasma_lanes.inc"
#include "lanes/each_width.inc"

// Rows of the band, each on its own: any split of them gives the same bits.
void drawPlasmaRows(void* data, int band) {
    const PlasmaJob& job = *static_cast<const PlasmaJob*>(data);
    int y = job.firstRow + band * kPlasmaBandRows;
    const int end = std::min(y + kPlasmaBandRows, job.endRow);
    if (job.lanes == PassLanes::Vector) {
        const bool wide = widestLanes() == LaneWidth::kEight;
        for (; y + 4 <= end; y += 4) {
            if (wide) {
                lanes8::drawPlasmaRows4(job, y);
            } else {
                lanes4::drawPlasmaRows4(job, y);
            }
        }
    }
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

// A picture's texel over the old colour: the old colour, clamped first, keeps `keep` of
// itself. One float of a pixel, or a pixel's four at once.
template <class T>
[[gnu::always_inline]] inline T blendOver(T old, T texel, float alpha, float keep) {
    return texel * alpha + clampUnit(old) * keep;
}

void blendRowScalar(float* pixel, const float* texel, int columns, float weight) {
    for (int x = 0; x < columns; ++x, texel += 4, pixel += 4) {
        const float alpha = weight * texel[3];
        const float keep = 1.0f - alpha;
        for (int c = 0; c < 3; ++c) pixel[c] = blendOver(pixel[c], texel[c], alpha, keep);
    }
}

#define LANES_KERNEL "scenes/blend_lanes.inc"
#include "lanes/each_width.inc"

void blendRowLanes(float* pixel, const float* texel, int columns, float weight) {
    if (widestLanes() == LaneWidth::kEight) {
        lanes8::blendRow(pixel, texel, columns, weight);
    } else {
        lanes4::blendRow(pixel, texel, columns, weight);
    }
}

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
            const AlphaWeightedSample sample = sampleAlphaWeighted(row0, row1, job.taps[x], v.f);
            const float keep = 1.0f - job.weight * sample.alpha;
            writeColour(pixel,
                        clampUnit(Lanes<4>::loadFloats(pixel)) * keep + sample.colour * job.weight);
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
        if (lanes == PassLanes::Vector) {
            blendRowLanes(pixel, texel, columns, weight);
        } else {
            blendRowScalar(pixel, texel, columns, weight);
        }
    }
}
