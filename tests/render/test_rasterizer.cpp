#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "render/raster_stats.h"
#include "render/rasterizer.h"
#include "render/texture.h"

namespace {

struct Frame {
    int width;
    int height;
    std::vector<float> pixels;

    Frame(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4, 0.0f) {}
    float* data() { return pixels.data(); }
    float* at(int px, int py) { return &pixels[4 * (static_cast<size_t>(py) * width + px)]; }
    bool drawn(int px, int py) { return at(px, py)[3] != 0.0f; }
    int drawnCount() {
        int count = 0;
        for (int py = 0; py < height; ++py) {
            for (int px = 0; px < width; ++px) count += drawn(px, py) ? 1 : 0;
        }
        return count;
    }
};

const float kWhite[3] = {1.0f, 1.0f, 1.0f};
const float kOne[3] = {1.0f, 1.0f, 1.0f};

void lit(Frame& frame, ScreenCorner a, ScreenCorner b, ScreenCorner c,
         const float* colour = kWhite) {
    const ScreenCorner corners[3] = {a, b, c};
    fillLit(frame.data(), frame.width, frame.height, corners, colour, kOne);
}

ScreenCorner at(float sx, float sy, float z = -1.0f) {
    return {sx, sy, z};
}

// A texture whose texel (x, y) has red x/255, green y/255, blue 0.25 and the given alpha.
struct TestTexture {
    std::vector<float> texels;
    Texture texture{};

    TestTexture(int w, int h, float alpha = 1.0f) : texels(static_cast<size_t>(w) * h * 4) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                float* t = &texels[4 * (static_cast<size_t>(y) * w + x)];
                t[0] = x / 255.0f;
                t[1] = y / 255.0f;
                t[2] = 0.25f;
                t[3] = alpha;
            }
        }
        texture.texels = texels.data();
        texture.width = w;
        texture.height = h;
    }
};

// ---------------------------------------------------------------------------------------------
// An independent reference: every pixel of the frame evaluates the three edge functions
// directly, with no blocks and no walk. It knows the 8x8 grid only because q and the
// screen-linear attributes are defined as stepped from each block's top-left pixel.

enum class Filler { kLit, kTextured, kTexturedLit };

struct Shading {
    Filler filler = Filler::kLit;
    float colour[3] = {1, 1, 1};
    float intensity[3] = {1, 1, 1};
    Uv uv[3] = {};
    const Texture* texture = nullptr;
};

int64_t floorDiv16(int64_t a) {
    return a / 16 - ((a % 16 != 0 && a < 0) ? 1 : 0);
}
int64_t ceilDiv16(int64_t a) {
    return -floorDiv16(-a);
}

int64_t referenceWrap(float scaled, int period) {
    if (period < 1) return 0;  // a texture 1 texel wide or high
    const float r = std::nearbyint(scaled);
    if (std::isnan(r)) return 0;
    double m = std::fmod(static_cast<double>(r), period);
    if (m < 0) m += period;
    return static_cast<int64_t>(m);
}

const float* referenceTexel(const Texture& t, float u, float v) {
    const int64_t column = referenceWrap(static_cast<float>(t.width - 1) * u, t.width - 1);
    const int64_t row =
        (t.height - 1) - referenceWrap(static_cast<float>(t.height - 1) * v, t.height - 1);
    return t.texels + 4 * (row * t.width + column);
}

struct ReferenceResult {
    bool refused = false;
    int64_t box[4] = {0, 0, 0, 0};  // xStart, xEnd, yStart, yEnd
    int coveredOutsideBox = 0;
};

ReferenceResult referenceFill(Frame& frame, const ScreenCorner c[3], const Shading& s) {
    ReferenceResult result;
    int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(c[i].sx) <= 8388608.0f && std::fabs(c[i].sy) <= 8388608.0f)) {
            result.refused = true;
            return result;
        }
        X[i] = static_cast<int64_t>(std::nearbyint(c[i].sx * 16.0f));
        Y[i] = static_cast<int64_t>(std::nearbyint(c[i].sy * 16.0f));
    }
    const int64_t xStart = std::max<int64_t>(ceilDiv16(std::min({X[0], X[1], X[2]})), 0);
    const int64_t xEnd = std::min<int64_t>(ceilDiv16(std::max({X[0], X[1], X[2]})), frame.width);
    const int64_t yStart = std::max<int64_t>(ceilDiv16(std::min({Y[0], Y[1], Y[2]})), 0);
    const int64_t yEnd = std::min<int64_t>(ceilDiv16(std::max({Y[0], Y[1], Y[2]})), frame.height);
    result.box[0] = xStart;
    result.box[1] = xEnd;
    result.box[2] = yStart;
    result.box[3] = yEnd;
    if (xStart >= xEnd || yStart >= yEnd) return result;

    auto e = [&](int k, int64_t px, int64_t py) {
        const int a = k, b = (k + 1) % 3;
        const int64_t right = Y[b] - Y[a], down = X[a] - X[b];
        const bool topLeft = right > 0 || (right == 0 && down > 0);
        const int64_t E = (16 * py - Y[a]) * down + (16 * px - X[a]) * right + (topLeft ? 1 : 0);
        return floorDiv16(E - 1);
    };
    // The snapped triangle: S is the exact sum of the edge functions / 16, i.e. minus twice
    // the signed area / 16, and the gradients use the snapped corners.
    const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0) return result;  // only to avoid dividing by 0: such a triangle covers nothing
    const float invS = 1.0f / (static_cast<float>(-area) / 16.0f);
    const float sx10 = static_cast<float>(X[1] - X[0]) / 16.0f;
    const float sy10 = static_cast<float>(Y[1] - Y[0]) / 16.0f;
    const float sx20 = static_cast<float>(X[2] - X[0]) / 16.0f;
    const float sy20 = static_cast<float>(Y[2] - Y[0]) / 16.0f;
    const float D = static_cast<float>(area) / 256.0f;
    auto ddx = [&](float a0, float a1, float a2) {
        return ((a1 - a0) * sy20 - (a2 - a0) * sy10) / D;
    };
    auto ddy = [&](float a0, float a1, float a2) {
        return ((a2 - a0) * sx10 - (a1 - a0) * sx20) / D;
    };
    const float iz[3] = {1.0f / c[0].z, 1.0f / c[1].z, 1.0f / c[2].z};
    // Screen-linear attributes: q, then u, v, I of fillTexturedLit.
    float corner[4][3] = {{0, 0, 0},
                          {s.uv[0].u, s.uv[1].u, s.uv[2].u},
                          {s.uv[0].v, s.uv[1].v, s.uv[2].v},
                          {s.intensity[0], s.intensity[1], s.intensity[2]}};
    float gx[4], gy[4];
    gx[0] = ddx(iz[0], iz[1], iz[2]);
    gy[0] = ddy(iz[0], iz[1], iz[2]);
    for (int k = 1; k < 4; ++k) {
        gx[k] = ddx(corner[k][0], corner[k][1], corner[k][2]);
        gy[k] = ddy(corner[k][0], corner[k][1], corner[k][2]);
    }

    for (int py = 0; py < frame.height; ++py) {
        for (int px = 0; px < frame.width; ++px) {
            const int64_t e01 = e(0, px, py), e12 = e(1, px, py), e20 = e(2, px, py);
            if (e01 < 0 || e12 < 0 || e20 < 0) continue;
            if (px < xStart || px >= xEnd || py < yStart || py >= yEnd) ++result.coveredOutsideBox;

            const int bx = px / 8 * 8, by = py / 8 * 8;
            const float bw2 = static_cast<float>(e(0, bx, by)) * invS;
            const float bw0 = static_cast<float>(e(1, bx, by)) * invS;
            const float bw1 = 1.0f - bw0 - bw2;
            float value[4];
            value[0] = bw0 / c[0].z + bw1 / c[1].z + bw2 / c[2].z;
            for (int k = 1; k < 4; ++k) {
                value[k] = bw0 * corner[k][0] + bw1 * corner[k][1] + bw2 * corner[k][2];
            }
            for (int k = 0; k < 4; ++k) {
                for (int j = by; j < py; ++j) value[k] += gy[k];
                for (int i = bx; i < px; ++i) value[k] += gx[k];
            }

            float* pixel = frame.at(px, py);
            const float q = value[0];
            if (!(q < pixel[3])) continue;
            pixel[3] = q;

            const float w2 = static_cast<float>(e01) * invS;
            const float w0 = static_cast<float>(e12) * invS;
            const float w1 = 1.0f - w0 - w2;
            switch (s.filler) {
                case Filler::kLit: {
                    const float I =
                        (w0 * (s.intensity[0] / c[0].z) + w1 * (s.intensity[1] / c[1].z) +
                         w2 * (s.intensity[2] / c[2].z)) /
                        q;
                    for (int ch = 0; ch < 3; ++ch) pixel[ch] = s.colour[ch] * I;
                    break;
                }
                case Filler::kTextured: {
                    const float u = (w0 * (s.uv[0].u / c[0].z) + w1 * (s.uv[1].u / c[1].z) +
                                     w2 * (s.uv[2].u / c[2].z)) /
                                    q;
                    const float v = (w0 * (s.uv[0].v / c[0].z) + w1 * (s.uv[1].v / c[1].z) +
                                     w2 * (s.uv[2].v / c[2].z)) /
                                    q;
                    const float* t = referenceTexel(*s.texture, u, v);
                    for (int ch = 0; ch < 3; ++ch) {
                        const float old = std::min(std::max(pixel[ch], 0.0f), 1.0f);
                        pixel[ch] = t[ch] * t[3] + (1.0f - t[3]) * old;
                    }
                    break;
                }
                case Filler::kTexturedLit: {
                    const float* t = referenceTexel(*s.texture, value[1], value[2]);
                    for (int ch = 0; ch < 3; ++ch) pixel[ch] = t[ch] * value[3];
                    break;
                }
            }
        }
    }
    return result;
}

void engineFill(Frame& frame, const ScreenCorner c[3], const Shading& s,
                RasterStats* stats = nullptr) {
    switch (s.filler) {
        case Filler::kLit:
            fillLit(frame.data(), frame.width, frame.height, c, s.colour, s.intensity, stats);
            break;
        case Filler::kTextured:
            fillTextured(frame.data(), frame.width, frame.height, c, s.uv, *s.texture, stats);
            break;
        case Filler::kTexturedLit:
            fillTexturedLit(frame.data(), frame.width, frame.height, c, s.uv, *s.texture,
                            s.intensity, stats);
            break;
    }
}

// Random triangles of every shape the renderer can meet, and some it should refuse.
class TriangleSource {
public:
    TriangleSource(unsigned seed, int width, int height) : rng_(seed), w_(width), h_(height) {}

    float uniform(float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng_);
    }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    void next(ScreenCorner c[3], std::string& kind) {
        const int shape = pick(8);
        float x[3], y[3];
        switch (shape) {
            case 0: {  // small, around a point near the screen
                kind = "small";
                const float cx = uniform(-12, w_ + 12), cy = uniform(-12, h_ + 12);
                for (int i = 0; i < 3; ++i)
                    x[i] = cx + uniform(-12, 12), y[i] = cy + uniform(-12, 12);
                break;
            }
            case 1:  // medium, on and around the screen
                kind = "medium";
                for (int i = 0; i < 3; ++i)
                    x[i] = uniform(-30, w_ + 30), y[i] = uniform(-30, h_ + 30);
                break;
            case 2:  // huge, mostly covering the screen
                kind = "huge";
                for (int i = 0; i < 3; ++i)
                    x[i] = uniform(-6000, 6000), y[i] = uniform(-6000, 6000);
                break;
            case 3: {  // thin needles at any slope, including nearly horizontal ones
                kind = "thin";
                x[0] = uniform(-20, w_ + 20), y[0] = uniform(-20, h_ + 20);
                const float angle = uniform(0, 6.2831853f), length = uniform(5, 3 * w_);
                x[1] = x[0] + length * std::cos(angle), y[1] = y[0] + length * std::sin(angle);
                const float t = uniform(0, 1), offset = uniform(-1.5f, 1.5f);
                x[2] = x[0] + t * (x[1] - x[0]) - offset * std::sin(angle);
                y[2] = y[0] + t * (y[1] - y[0]) + offset * std::cos(angle);
                break;
            }
            case 4: {  // degenerate: collinear or repeated corners
                kind = "degenerate";
                for (int i = 0; i < 2; ++i)
                    x[i] = uniform(-10, w_ + 10), y[i] = uniform(-10, h_ + 10);
                const float t = pick(2) ? 0.0f : uniform(-1, 2);
                x[2] = x[0] + t * (x[1] - x[0]), y[2] = y[0] + t * (y[1] - y[0]);
                break;
            }
            case 5:  // on the pixel grid or on 1/32 steps (ties of the 28.4 rounding)
                kind = "snapped";
                for (int i = 0; i < 3; ++i) {
                    const float step = pick(2) ? 1.0f : 1.0f / 32.0f;
                    x[i] = std::round(uniform(-8, w_ + 8) / step) * step;
                    y[i] = std::round(uniform(-8, h_ + 8) / step) * step;
                }
                break;
            case 6:  // far away, some beyond what the engine accepts
                kind = "far";
                for (int i = 0; i < 3; ++i) {
                    x[i] = uniform(-1.2e7f, 1.2e7f), y[i] = uniform(-1.2e7f, 1.2e7f);
                }
                if (pick(4) == 0) x[pick(3)] = pick(2) ? NAN : INFINITY;
                break;
            default:  // off the screen on one side
                kind = "offscreen";
                for (int i = 0; i < 3; ++i)
                    x[i] = uniform(-200, -0.01f), y[i] = uniform(-50, h_ + 50);
                if (pick(2)) std::swap(x, y);
                break;
        }
        for (int i = 0; i < 3; ++i) c[i] = {x[i], y[i], -uniform(0.1f, 60.0f)};
        // Mostly counter-clockwise (y down); the rest must draw nothing.
        const float area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
        if (area > 0 && pick(10) != 0) std::swap(c[1], c[2]);
    }

    // Depths around the triangles' range, some pixels untouched, colours beyond 0..1; one of a
    // few backgrounds made once, so that filling stays cheap.
    void prefill(Frame& frame) {
        if (backgrounds_.empty()) {
            for (int b = 0; b < 4; ++b) {
                std::vector<float> pixels(frame.pixels.size());
                for (size_t i = 0; i < pixels.size(); i += 4) {
                    for (int ch = 0; ch < 3; ++ch) pixels[i + ch] = uniform(-0.5f, 1.5f);
                    pixels[i + 3] = pick(3) == 0 ? 0.0f : uniform(-12.0f, -0.01f);
                }
                backgrounds_.push_back(std::move(pixels));
            }
        }
        frame.pixels = backgrounds_[pick(static_cast<int>(backgrounds_.size()))];
    }

    Shading shading(Filler filler, const Texture* texture) {
        Shading s;
        s.filler = filler;
        s.texture = texture;
        for (int i = 0; i < 3; ++i) {
            s.colour[i] = uniform(0, 1);
            s.intensity[i] = uniform(0, 2);
            s.uv[i] = {uniform(-2, 3), uniform(-2, 3)};
        }
        return s;
    }

    // The next triangle with its shading, drawn over `frame` refilled at random.
    struct Trial {
        ScreenCorner c[3];
        std::string kind;
        Shading s;
    };
    Trial trial(Filler filler, const Texture* texture, Frame& frame) {
        Trial t;
        next(t.c, t.kind);
        t.s = shading(filler, texture);
        prefill(frame);
        return t;
    }

private:
    std::mt19937 rng_;
    int w_, h_;
    std::vector<std::vector<float>> backgrounds_;
};

bool sameFloat(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Runs `count` random triangles through engine and reference; returns a description of the
// first disagreement, or "".
std::string compareWithReference(Filler filler, int width, int height, int count, unsigned seed) {
    TestTexture texture(37, 23, 0.6f);
    TriangleSource source(seed, width, height);
    Frame engine(width, height), reference(width, height);
    for (int n = 0; n < count; ++n) {
        const auto [c, kind, s] = source.trial(filler, &texture.texture, reference);
        engine.pixels = reference.pixels;
        const Frame before = reference;

        engineFill(engine, c, s);
        const ReferenceResult r = referenceFill(reference, c, s);
        // The set-up's refusal is the rasterizer's own: a refused triangle covers nothing, an
        // accepted one has the reference's box.
        SnappedTriangle snapped;
        const bool accepted = snapTriangle(c, width, height, snapped);

        auto describe = [&](const std::string& what, int px, int py) {
            char text[400];
            std::snprintf(text, sizeof text,
                          "%s at (%d, %d), triangle %d (%s): (%.9g, %.9g, %g) (%.9g, %.9g, %g) "
                          "(%.9g, %.9g, %g)",
                          what.c_str(), px, py, n, kind.c_str(), c[0].sx, c[0].sy, c[0].z, c[1].sx,
                          c[1].sy, c[1].z, c[2].sx, c[2].sy, c[2].z);
            return std::string(text);
        };
        if (r.coveredOutsideBox != 0) return describe("reference covers outside its box", -1, -1);
        if (accepted && (snapped.xStart != r.box[0] || snapped.xEnd != r.box[1] ||
                         snapped.yStart != r.box[2] || snapped.yEnd != r.box[3]))
            return describe("snapped box differs", -1, -1);
        if (!accepted && std::memcmp(reference.data(), before.pixels.data(),
                                     reference.pixels.size() * sizeof(float)) != 0)
            return describe("refused by the set-up but drawn by the reference", -1, -1);
        for (int py = 0; py < height; ++py) {
            for (int px = 0; px < width; ++px) {
                const size_t i = 4 * (static_cast<size_t>(py) * width + px);
                const bool changed = !sameFloat(engine.pixels[i + 3], before.pixels[i + 3]);
                const bool inBox = !r.refused && px >= r.box[0] && px < r.box[1] &&
                                   py >= r.box[2] && py < r.box[3];
                if (changed && !inBox) return describe("drawn outside the bounding box", px, py);
                if (!sameFloat(engine.pixels[i + 3], reference.pixels[i + 3])) {
                    return describe("depth " + std::to_string(engine.pixels[i + 3]) + " vs " +
                                        std::to_string(reference.pixels[i + 3]),
                                    px, py);
                }
                for (int ch = 0; ch < 3; ++ch) {
                    const float a = engine.pixels[i + ch], b = reference.pixels[i + ch];
                    const bool close =
                        sameFloat(a, b) || std::fabs(a - b) <= 1e-6f * std::max(1.0f, std::fabs(b));
                    if (!close) {
                        return describe("colour " + std::to_string(a) + " vs " + std::to_string(b),
                                        px, py);
                    }
                }
            }
        }
    }
    return "";
}

// ---------------------------------------------------------------------------------------------

TEST(Rasterizer, CoverageFollowsTopLeftRuleWithCornerSampling) {
    // Right angle at the origin, legs of 10 px: the two legs are left and top edges
    // (inclusive), the hypotenuse x + y = 10 is exclusive. Covered: px + py < 10, which is
    // 10 + 9 + ... + 1 = 55 pixels.
    Frame frame(640, 480);
    lit(frame, at(0, 0), at(0, 10), at(10, 0));
    EXPECT_TRUE(frame.drawn(0, 0));
    EXPECT_TRUE(frame.drawn(9, 0));
    EXPECT_TRUE(frame.drawn(0, 9));
    EXPECT_TRUE(frame.drawn(4, 5));
    EXPECT_FALSE(frame.drawn(10, 0));
    EXPECT_FALSE(frame.drawn(0, 10));
    EXPECT_FALSE(frame.drawn(5, 5));
    EXPECT_EQ(frame.drawnCount(), 55);

    // The same corners clockwise on the screen draw nothing.
    Frame reversed(640, 480);
    lit(reversed, at(0, 0), at(10, 0), at(0, 10));
    EXPECT_EQ(reversed.drawnCount(), 0);

    // An 8x8 square cut along its diagonal: 64 pixels, the diagonal ones drawn once.
    Frame square(64, 64);
    const float red[3] = {1, 0, 0}, green[3] = {0, 1, 0};
    lit(square, at(0, 0), at(0, 8), at(8, 8), red);
    lit(square, at(0, 0), at(8, 8), at(8, 0), green);
    EXPECT_EQ(square.drawnCount(), 64);
    // The diagonal runs down-right: a left edge of the upper-right triangle, which owns it.
    EXPECT_EQ(square.at(3, 3)[1], 1.0f);
    EXPECT_EQ(square.at(3, 4)[0], 1.0f);

    // 28.4 rounding ties go to even: 1/32 px snaps to 0, 3/32 px to 2/16.
    Frame tieDown(640, 480), tieUp(640, 480);
    lit(tieDown, at(0.03125f, 0), at(0.03125f, 10), at(10, 0));
    lit(tieUp, at(0.09375f, 0), at(0.09375f, 10), at(10, 0));
    EXPECT_TRUE(tieDown.drawn(0, 5));
    EXPECT_FALSE(tieUp.drawn(0, 5));
}

TEST(Rasterizer, OffScreenAndOversizedTriangles) {
    Frame frame(640, 480);
    lit(frame, at(-20, 0), at(-20, 10), at(-10, 0));    // left of x = 0
    lit(frame, at(-10, 0), at(-10, 10), at(0, 0));      // ends exactly at x = 0 (exclusive)
    lit(frame, at(0, 490), at(0, 500), at(10, 490));    // below the last row
    lit(frame, at(650, 10), at(650, 20), at(660, 10));  // right of the screen
    EXPECT_EQ(frame.drawnCount(), 0);

    // Far larger than the screen: the hypotenuse x + y = 2000 clears every pixel.
    lit(frame, at(-1000, -1000), at(-1000, 3000), at(3000, -1000));
    EXPECT_EQ(frame.drawnCount(), 640 * 480);

    // Beyond 2^23 px, infinite or NaN corners are refused; 2^23 itself is accepted.
    Frame refused(640, 480);
    lit(refused, at(-1e9f, -1e9f), at(-1e9f, 1e9f), at(1e9f, -1e9f));
    lit(refused, at(0, 0), at(0, NAN), at(10, 0));
    lit(refused, at(-INFINITY, 0), at(0, 10), at(10, 0));
    EXPECT_EQ(refused.drawnCount(), 0);
    lit(refused, at(-8388608.0f, -1), at(-8388608.0f, 8388608.0f), at(8388608.0f, -1));
    EXPECT_EQ(refused.drawnCount(), 640 * 480);

    // Framebuffers that are not whole 8x8 blocks are left alone rather than overrun.
    std::vector<float> odd(12 * 10 * 4, 0.0f);
    const ScreenCorner corners[3] = {at(0, 0), at(0, 100), at(100, 0)};
    fillLit(odd.data(), 12, 10, corners, kWhite, kOne);
    EXPECT_EQ(std::count(odd.begin(), odd.end(), 0.0f), static_cast<long>(odd.size()));
}

TEST(Rasterizer, DepthTestIsStrictAndKeepsNearer) {
    Frame frame(64, 64);
    const float a[3] = {1, 0, 0}, b[3] = {0, 1, 0}, c[3] = {0, 0, 1};
    lit(frame, at(0, 0, -2), at(0, 40, -2), at(40, 0, -2), a);
    // Flat at z = -2: q = 1/z = -0.5 everywhere (up to the weights' rounding).
    EXPECT_NEAR(frame.at(5, 5)[3], -0.5f, 1e-6f);
    EXPECT_NEAR(frame.at(0, 30)[3], -0.5f, 1e-6f);
    const float depth = frame.at(5, 5)[3];

    lit(frame, at(0, 0, -2), at(0, 40, -2), at(40, 0, -2), b);  // equal depth: first stays
    EXPECT_EQ(frame.at(5, 5)[0], 1.0f);
    EXPECT_EQ(frame.at(5, 5)[3], depth);

    lit(frame, at(0, 0, -3), at(0, 40, -3), at(40, 0, -3), c);  // farther: rejected
    EXPECT_EQ(frame.at(5, 5)[0], 1.0f);

    lit(frame, at(0, 0, -1), at(0, 40, -1), at(40, 0, -1), c);  // nearer: q = -1 wins
    EXPECT_EQ(frame.at(5, 5)[2], 1.0f);
    EXPECT_NEAR(frame.at(5, 5)[3], -1.0f, 1e-6f);
}

// The camera-space point that the top-left corner of pixel (px, py) sees on the plane of
// p0, p1, p2 (projection sx = 320 - 201 x / z, sy = 201 y / z + 240).
struct Point3 {
    double x, y, z;
};
Point3 seenAt(int px, int py, const Point3 p[3]) {
    const double rx = (320.0 - px) / 201.0, ry = (py - 240.0) / 201.0;  // x/z and y/z
    const double ux = p[1].x - p[0].x, uy = p[1].y - p[0].y, uz = p[1].z - p[0].z;
    const double vx = p[2].x - p[0].x, vy = p[2].y - p[0].y, vz = p[2].z - p[0].z;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    const double z = (nx * p[0].x + ny * p[0].y + nz * p[0].z) / (nx * rx + ny * ry + nz);
    return {rx * z, ry * z, z};
}
ScreenCorner project(const Point3& p) {
    return {static_cast<float>(320.0 - 201.0 * p.x / p.z),
            static_cast<float>(201.0 * p.y / p.z + 240.0), static_cast<float>(p.z)};
}

TEST(Rasterizer, LitIntensityIsPerspectiveCorrect) {
    // A slanted triangle from z = -1.5 to z = -9. An attribute that is affine in camera space,
    // f = 0.5 + 0.3 x - 0.2 y - 0.1 z, given at the corners, must come out at every pixel as f
    // of the point that pixel sees; depth must be 1/z of it. Tolerances cover the 1/16 px
    // snapping of the weights.
    const Point3 p[3] = {{-1.0, -0.8, -1.5}, {0.5, 2.5, -9.0}, {3.0, -1.0, -4.0}};
    auto f = [](const Point3& q) { return 0.5 + 0.3 * q.x - 0.2 * q.y - 0.1 * q.z; };
    ScreenCorner c[3];
    float intensity[3];
    for (int i = 0; i < 3; ++i) c[i] = project(p[i]), intensity[i] = static_cast<float>(f(p[i]));
    if ((c[1].sx - c[0].sx) * (c[2].sy - c[0].sy) - (c[2].sx - c[0].sx) * (c[1].sy - c[0].sy) > 0) {
        std::swap(c[1], c[2]);
        std::swap(intensity[1], intensity[2]);
    }
    Frame frame(640, 480);
    fillLit(frame.data(), 640, 480, c, kWhite, intensity);
    int checked = 0;
    for (int py = 0; py < 480; py += 3) {
        for (int px = 0; px < 640; px += 3) {
            if (!frame.drawn(px, py)) continue;
            const Point3 seen = seenAt(px, py, p);
            EXPECT_NEAR(frame.at(px, py)[0], f(seen), 0.01) << px << "," << py;
            EXPECT_NEAR(frame.at(px, py)[3], 1.0 / seen.z, 0.002) << px << "," << py;
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(Rasterizer, TexelAddressing) {
    TestTexture big(256, 256);
    const Texture& t = big.texture;
    EXPECT_EQ(texelIndex(t, 0.5f, 0.0f), 255 * 256 + 128);  // round(127.5) = 128, bottom row
    EXPECT_EQ(texelIndex(t, 1.0f, 1.0f), 255 * 256 + 0);    // 255 mod 255 = 0; v = 1 bottom
    EXPECT_EQ(texelIndex(t, 0.0f, 0.5f), 127 * 256 + 0);    // row 255 - 128

    // Ties to even, and the non-negative wrap of negative coordinates (period W - 1 = 4).
    TestTexture five(5, 5);
    auto column = [&](float u) { return texelIndex(five.texture, u, 0.0f) - 4 * 5; };
    EXPECT_EQ(column(0.125f), 0);                              // 0.5 -> 0
    EXPECT_EQ(column(0.375f), 2);                              // 1.5 -> 2
    EXPECT_EQ(column(0.625f), 2);                              // 2.5 -> 2
    EXPECT_EQ(column(0.875f), 0);                              // 3.5 -> 4 -> 0
    EXPECT_EQ(column(-0.25f), 3);                              // -1 -> 3
    EXPECT_EQ(column(-1.0f), 0);                               // -4 -> 0
    EXPECT_EQ(column(-0.375f), 2);                             // -1.5 -> -2 -> 2
    EXPECT_EQ(column(2.25f), 1);                               // 9 -> 1
    EXPECT_EQ(texelIndex(five.texture, 0.0f, -0.25f), 1 * 5);  // row 4 - (-1 mod 4 = 3)

    // Nothing outside the texture, whatever the coordinate; never the top row or last column.
    const float odd[] = {1e20f, -1e20f, 3e38f, INFINITY, -INFINITY, NAN, 16777217.0f, 8388609.5f};
    for (float u : odd) {
        for (float v : odd) {
            const int i = texelIndex(five.texture, u, v);
            EXPECT_GE(i, 5);
            EXPECT_LT(i, 25);
            EXPECT_NE(i % 5, 4);
        }
    }
    for (float u = -3.0f; u < 3.0f; u += 0.01f) {
        const int i = texelIndex(big.texture, u, u * 0.7f);
        EXPECT_GE(i / 256, 1);
        EXPECT_LE(i % 256, 254);
    }

    // One texel wide or high addresses column or row 0; no texels, no address.
    TestTexture line(1, 3), single(1, 1);
    EXPECT_EQ(texelIndex(line.texture, 0.7f, 0.5f), 1);  // row 2 - round(1.0) = 1
    EXPECT_EQ(texelIndex(single.texture, 0.3f, 0.9f), 0);
    Texture empty{};
    EXPECT_EQ(texelIndex(empty, 0.5f, 0.5f), -1);
}

TEST(Rasterizer, TexturedBlendsOverClampedPixel) {
    // alpha 0: the colour becomes its old value clamped to 0..1, but the depth is written.
    TestTexture clear(8, 8, 0.0f);
    Frame frame(64, 64);
    for (int i = 0; i < 64 * 64; ++i) {
        frame.pixels[4 * i + 0] = 2.0f;
        frame.pixels[4 * i + 1] = -1.0f;
        frame.pixels[4 * i + 2] = 0.5f;
    }
    const ScreenCorner c[3] = {at(0, 0, -2), at(0, 40, -2), at(40, 0, -2)};
    const Uv uv[3] = {{0.1f, 0.1f}, {0.1f, 0.9f}, {0.9f, 0.1f}};
    fillTextured(frame.data(), 64, 64, c, uv, clear.texture);
    EXPECT_EQ(frame.at(3, 3)[0], 1.0f);
    EXPECT_EQ(frame.at(3, 3)[1], 0.0f);
    EXPECT_EQ(frame.at(3, 3)[2], 0.5f);
    EXPECT_NEAR(frame.at(3, 3)[3], -0.5f, 1e-6f);

    // alpha 0.25 over (0.2, 2.0, -1.0): T*0.25 + 0.75*clamp(old).
    std::vector<float> texel(4 * 4 * 4);
    for (int i = 0; i < 16; ++i) {
        texel[4 * i + 0] = 1.0f, texel[4 * i + 1] = 0.5f, texel[4 * i + 2] = 0.0f;
        texel[4 * i + 3] = 0.25f;
    }
    Texture flat{};
    flat.texels = texel.data(), flat.width = 4, flat.height = 4;
    Frame over(64, 64);
    for (int i = 0; i < 64 * 64; ++i) {
        over.pixels[4 * i + 0] = 0.2f;
        over.pixels[4 * i + 1] = 2.0f;
        over.pixels[4 * i + 2] = -1.0f;
    }
    fillTextured(over.data(), 64, 64, c, uv, flat);
    EXPECT_NEAR(over.at(3, 3)[0], 0.4f, 1e-6f);    // 0.25 + 0.75 * 0.2
    EXPECT_NEAR(over.at(3, 3)[1], 0.875f, 1e-6f);  // 0.125 + 0.75 * 1
    EXPECT_NEAR(over.at(3, 3)[2], 0.0f, 1e-6f);    // 0 + 0.75 * 0

    // Every pixel shows a texel, never from the top row or the rightmost column.
    TestTexture coded(16, 16);
    Frame shown(64, 64);
    fillTextured(shown.data(), 64, 64, c, uv, coded.texture);
    for (int py = 0; py < 64; ++py) {
        for (int px = 0; px < 64; ++px) {
            if (!shown.drawn(px, py)) continue;
            const float* p = shown.at(px, py);
            const int column = static_cast<int>(std::lround(p[0] * 255.0f));
            const int row = static_cast<int>(std::lround(p[1] * 255.0f));
            EXPECT_LE(column, 14);
            EXPECT_GE(row, 1);
            EXPECT_EQ(p[2], 0.25f);
        }
    }

    // A texture without texels draws nothing.
    Texture empty{};
    Frame untouched(64, 64);
    fillTextured(untouched.data(), 64, 64, c, uv, empty);
    fillTexturedLit(untouched.data(), 64, 64, c, uv, empty, kOne);
    EXPECT_EQ(untouched.drawnCount(), 0);
}

TEST(Rasterizer, TexturedLitIsLinearInScreenSpace) {
    // Intensity 0 at (0, 0), 1 at (0, 64), 2 at (64, 0) on a white texture: linear in the
    // screen whatever the depths, so I = x/32 + y/64 at a pixel's corner.
    std::vector<float> white(4 * 4 * 4, 1.0f);
    Texture t{};
    t.texels = white.data(), t.width = 4, t.height = 4;
    const ScreenCorner c[3] = {at(0, 0, -1), at(0, 64, -5), at(64, 0, -20)};
    const Uv uv[3] = {{0, 0}, {0, 1}, {1, 0}};
    const float intensity[3] = {0.0f, 1.0f, 2.0f};
    Frame frame(128, 128);
    fillTexturedLit(frame.data(), 128, 128, c, uv, t, intensity);
    int checked = 0;
    for (int py = 0; py < 64; ++py) {
        for (int px = 0; px < 64; ++px) {
            if (!frame.drawn(px, py)) continue;
            EXPECT_NEAR(frame.at(px, py)[0], px / 32.0f + py / 64.0f, 0.01f) << px << "," << py;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 64 * 65 / 2);  // x + y < 64
}

TEST(Rasterizer, SharedEdgesDrawnExactlyOnce) {
    // Random fans and jittered meshes that cover the whole frame: every pixel must be drawn by
    // exactly one triangle (no double drawing on shared edges, no gaps between them).
    std::mt19937 rng(20240611);
    auto uniform = [&](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    const int w = 96, h = 64;
    std::vector<int> count(w * h);
    auto drawCounted = [&](ScreenCorner a, ScreenCorner b, ScreenCorner c) {
        if ((b.sx - a.sx) * (c.sy - a.sy) - (c.sx - a.sx) * (b.sy - a.sy) > 0) std::swap(b, c);
        Frame frame(w, h);
        lit(frame, a, b, c);
        for (int py = 0; py < h; ++py) {
            for (int px = 0; px < w; ++px) count[py * w + px] += frame.drawn(px, py) ? 1 : 0;
        }
    };
    auto snap = [&](float v) {
        switch (rng() % 3) {
            case 0:
                return std::round(v);  // on a pixel corner
            case 1:
                return std::round(v * 16.0f) / 16.0f;  // on the 28.4 grid
            default:
                return v;
        }
    };

    for (int round = 0; round < 60; ++round) {
        std::fill(count.begin(), count.end(), 0);
        if (round % 2 == 0) {
            // A fan around a point on the screen, spokes reaching far outside.
            const ScreenCorner centre = at(snap(uniform(0, w)), snap(uniform(0, h)));
            std::vector<float> angles;
            float a = uniform(0, 1);
            const float start = a;
            while (a < start + 6.2831853f - 0.05f) {
                angles.push_back(a);
                a += uniform(0.05f, 1.5f);
            }
            std::vector<ScreenCorner> rim;
            for (float angle : angles) {
                rim.push_back(at(snap(centre.sx + 3000 * std::cos(angle)),
                                 snap(centre.sy + 3000 * std::sin(angle))));
            }
            for (size_t i = 0; i < rim.size(); ++i) {
                drawCounted(centre, rim[i], rim[(i + 1) % rim.size()]);
            }
        } else {
            // A jittered grid over and beyond the frame, each cell cut along a random diagonal.
            // Jitter below a tenth of the cell (with the snapping) can never fold a triangle over.
            const float step = uniform(10, 30);
            const int cols = static_cast<int>((w + 40) / step) + 2;
            const int rows = static_cast<int>((h + 40) / step) + 2;
            std::vector<ScreenCorner> grid;
            for (int j = 0; j <= rows; ++j) {
                for (int i = 0; i <= cols; ++i) {
                    const float jitter = 0.1f * step - 0.5f;
                    grid.push_back(at(snap(-20 + i * step + uniform(-jitter, jitter)),
                                      snap(-20 + j * step + uniform(-jitter, jitter))));
                }
            }
            auto g = [&](int i, int j) { return grid[j * (cols + 1) + i]; };
            for (int j = 0; j < rows; ++j) {
                for (int i = 0; i < cols; ++i) {
                    if (rng() % 2) {
                        drawCounted(g(i, j), g(i + 1, j), g(i + 1, j + 1));
                        drawCounted(g(i, j), g(i + 1, j + 1), g(i, j + 1));
                    } else {
                        drawCounted(g(i, j), g(i + 1, j), g(i, j + 1));
                        drawCounted(g(i + 1, j), g(i + 1, j + 1), g(i, j + 1));
                    }
                }
            }
        }
        for (int py = 0; py < h; ++py) {
            for (int px = 0; px < w; ++px) {
                ASSERT_EQ(count[py * w + px], 1)
                    << "round " << round << " pixel (" << px << ", " << py << ")";
            }
        }
    }
}

TEST(Rasterizer, BlockEngineAgreesWithPerPixelReference) {
    // Coverage and depth bit for bit, colours within float rounding, nothing outside the box.
    EXPECT_EQ(compareWithReference(Filler::kLit, 128, 96, 3000, 1), "");
    EXPECT_EQ(compareWithReference(Filler::kTextured, 128, 96, 2000, 2), "");
    EXPECT_EQ(compareWithReference(Filler::kTexturedLit, 128, 96, 2000, 3), "");
    EXPECT_EQ(compareWithReference(Filler::kLit, 640, 480, 60, 4), "");
}

TEST(Rasterizer, DepthStaysWithinTheCornersRange) {
    // Inside a triangle q = 1/z is a convex combination of the corners' 1/z. The weights of a
    // pixel are off by at most about 1/S each (floored working values), so q may leave the
    // corners' range by at most ~2.2/S of it. Thin needles, whose block corners extrapolate
    // far outside them, are the hard case.
    std::mt19937 rng(99);
    auto uniform = [&](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    Frame frame(256, 256);
    int drawnTriangles = 0;
    for (int n = 0; n < 1500; ++n) {
        const float x0 = uniform(0, 256), y0 = uniform(0, 256), angle = uniform(0, 6.2831853f);
        const float length = uniform(5, 300), t = uniform(0, 1);
        const float offset = n % 2 ? uniform(-0.3f, 0.3f) : uniform(-20.0f, 20.0f);
        const float x1 = x0 + length * std::cos(angle), y1 = y0 + length * std::sin(angle);
        ScreenCorner c[3] = {at(x0, y0, -uniform(0.1f, 50)), at(x1, y1, -uniform(0.1f, 50)),
                             at(x0 + t * (x1 - x0) - offset * std::sin(angle),
                                y0 + t * (y1 - y0) + offset * std::cos(angle), -uniform(0.1f, 50))};
        double X[3], Y[3];
        for (int i = 0; i < 3; ++i)
            X[i] = std::nearbyint(c[i].sx * 16), Y[i] = std::nearbyint(c[i].sy * 16);
        double area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
        if (area > 0) std::swap(c[1], c[2]), area = -area;
        const double S = -area / 16.0;
        const double q0 = 1.0 / c[0].z, q1 = 1.0 / c[1].z, q2 = 1.0 / c[2].z;
        const double lo = std::min({q0, q1, q2}), hi = std::max({q0, q1, q2});
        const double tolerance = (hi - lo) * 2.2 / S + 1e-5 * std::fabs(lo);

        std::fill(frame.pixels.begin(), frame.pixels.end(), 0.0f);
        lit(frame, c[0], c[1], c[2]);
        bool drawn = false;
        for (int py = 0; py < 256; ++py) {
            for (int px = 0; px < 256; ++px) {
                const float q = frame.at(px, py)[3];
                if (q == 0.0f) continue;
                drawn = true;
                ASSERT_GE(q, lo - tolerance) << "triangle " << n << " pixel " << px << "," << py;
                ASSERT_LE(q, hi + tolerance) << "triangle " << n << " pixel " << px << "," << py;
            }
        }
        drawnTriangles += drawn ? 1 : 0;
    }
    EXPECT_GT(drawnTriangles, 1000);
}

TEST(Rasterizer, ThinNeedleSpanningBlockRowsIsFound) {
    // Nearly horizontal and thinner than a pixel: between two block rows its covered pixels
    // jump far to the right, past where the walk ended on the row above.
    for (float offset : {0.05f, 0.2f, 0.5f}) {
        const ScreenCorner c[3] = {at(2.3f, 4.1f), at(120.7f, 10.9f + offset), at(121.0f, 10.9f)};
        Shading s;
        Frame engine(128, 32), reference(128, 32);
        engineFill(engine, c, s);
        referenceFill(reference, c, s);
        EXPECT_GT(reference.drawnCount(), 0);
        EXPECT_EQ(engine.drawnCount(), reference.drawnCount()) << offset;
    }
}

}  // namespace

namespace {

TEST(Rasterizer, CountingEngineDrawsTheSamePixels) {
    // The edit mode's counting instantiation against the show's, bit for bit, over every
    // filler and shape; the pixels it counts as passed are those whose depth changed, and
    // each lies in a block it counts as drawn.
    TestTexture texture(37, 23, 0.6f);
    const int w = 128, h = 96;
    RasterStats* stats = createRasterStats(w, h);
    for (Filler filler : {Filler::kLit, Filler::kTextured, Filler::kTexturedLit}) {
        TriangleSource source(7 + static_cast<unsigned>(filler), w, h);
        resetRasterStats(*stats);
        int64_t changed = 0;
        Frame plain(w, h), counted(w, h);
        for (int n = 0; n < 1500; ++n) {
            const auto [c, kind, s] = source.trial(filler, &texture.texture, plain);
            counted.pixels = plain.pixels;
            const Frame before = plain;
            engineFill(plain, c, s);
            engineFill(counted, c, s, stats);
            ASSERT_EQ(std::memcmp(plain.data(), counted.data(), plain.pixels.size() * 4), 0)
                << "triangle " << n << " (" << kind << ")";
            for (size_t i = 3; i < plain.pixels.size(); i += 4)
                changed += sameFloat(plain.pixels[i], before.pixels[i]) ? 0 : 1;
        }
        EXPECT_EQ(stats->pixelsPassed, changed);
        EXPECT_GT(stats->faces, 500);
        EXPECT_GT(stats->blocksFull, 0);
        EXPECT_GT(stats->blocksPartial, 0);
        EXPECT_GT(stats->blocksSkipped, 0);
        for (int py = 0; py < h; ++py) {
            for (int px = 0; px < w; ++px) {
                const int block = py / 8 * stats->blockColumns + px / 8;
                if (stats->overdraw[py * w + px] == 0) continue;
                ASSERT_GT(stats->blockFull[block] + stats->blockPartial[block], 0u)
                    << px << ", " << py;
            }
        }
    }
    destroyRasterStats(stats);
}

TEST(Rasterizer, CountsOfATriangleCountedByHand) {
    // Right angle at the origin, legs of 16 px: px + py < 16 is covered, 136 pixels. Block
    // (0, 0) lies wholly inside (px + py <= 14), blocks (1, 0) and (0, 1) are cut by the
    // hypotenuse, block (1, 1) starts on it (px + py >= 16): skipped.
    Frame frame(64, 64);
    RasterStats* stats = createRasterStats(64, 64);
    const ScreenCorner far[3] = {at(0, 0, -2), at(0, 16, -2), at(16, 0, -2)};
    const ScreenCorner near[3] = {at(0, 0, -1), at(0, 16, -1), at(16, 0, -1)};
    fillLit(frame.data(), 64, 64, far, kWhite, kOne, stats);
    EXPECT_EQ(stats->faces, 1);
    EXPECT_EQ(stats->blocksFull, 1);
    EXPECT_EQ(stats->blocksPartial, 2);
    EXPECT_EQ(stats->blocksSkipped, 1);
    EXPECT_EQ(stats->pixelsPassed, 136);
    EXPECT_EQ(frame.drawnCount(), 136);

    // The same face nearer passes every pixel again; the far one once more passes none but
    // visits the same blocks.
    fillLit(frame.data(), 64, 64, near, kWhite, kOne, stats);
    fillLit(frame.data(), 64, 64, far, kWhite, kOne, stats);
    EXPECT_EQ(stats->faces, 3);
    EXPECT_EQ(stats->blocksFull, 3);
    EXPECT_EQ(stats->blocksPartial, 6);
    EXPECT_EQ(stats->blocksSkipped, 3);
    EXPECT_EQ(stats->pixelsPassed, 272);
    EXPECT_EQ(stats->blockFull[0], 3u);
    EXPECT_EQ(stats->blockPartial[1], 3u);
    EXPECT_EQ(stats->blockPartial[8], 3u);
    EXPECT_EQ(stats->blockSkipped[9], 3u);
    EXPECT_EQ(stats->blockFull[2] + stats->blockPartial[2] + stats->blockSkipped[2], 0u);
    EXPECT_EQ(stats->overdraw[0], 2u);
    EXPECT_EQ(stats->overdraw[15], 2u);          // (15, 0)
    EXPECT_EQ(stats->overdraw[15 * 64], 2u);     // (0, 15)
    EXPECT_EQ(stats->overdraw[8 * 64 + 7], 2u);  // (7, 8): 15 < 16
    EXPECT_EQ(stats->overdraw[8 * 64 + 8], 0u);  // (8, 8) on the hypotenuse
    EXPECT_EQ(stats->overdraw[16], 0u);          // (16, 0)

    // Back-facing and off-screen faces never reach the walk; a record of another size counts
    // nothing (the triangle is still drawn).
    fillLit(frame.data(), 64, 64, std::array<ScreenCorner, 3>{far[0], far[2], far[1]}.data(),
            kWhite, kOne, stats);
    EXPECT_EQ(stats->faces, 3);
    resetRasterStats(*stats);
    EXPECT_EQ(stats->pixelsPassed, 0);
    EXPECT_EQ(stats->overdraw[0], 0u);
    Frame wide(128, 64);
    fillLit(wide.data(), 128, 64, far, kWhite, kOne, stats);
    EXPECT_EQ(wide.drawnCount(), 136);
    EXPECT_EQ(stats->faces, 0);
    destroyRasterStats(stats);
}

}  // namespace

namespace {

void engineFillRows(Frame& frame, const ScreenCorner c[3], const Shading& s, RowBand rows) {
    switch (s.filler) {
        case Filler::kLit:
            fillLit(frame.data(), frame.width, frame.height, c, s.colour, s.intensity, nullptr,
                    rows);
            break;
        case Filler::kTextured:
            fillTextured(frame.data(), frame.width, frame.height, c, s.uv, *s.texture, nullptr,
                         rows);
            break;
        case Filler::kTexturedLit:
            fillTexturedLit(frame.data(), frame.width, frame.height, c, s.uv, *s.texture,
                            s.intensity, nullptr, rows);
            break;
    }
}

// The same random triangles drawn on the whole frame and band by band, bands of 8 to 40 rows.
std::string compareBandsWithWhole(Filler filler, int width, int height, int count, unsigned seed) {
    TestTexture texture(37, 23, 0.6f);
    TriangleSource source(seed, width, height);
    Frame whole(width, height), banded(width, height);
    for (int n = 0; n < count; ++n) {
        const auto [c, kind, s] = source.trial(filler, &texture.texture, whole);
        banded.pixels = whole.pixels;
        engineFill(whole, c, s);
        const int bandRows = 8 * (1 + n % 5);
        for (int first = 0; first < height; first += bandRows) {
            engineFillRows(banded, c, s, {first, std::min(first + bandRows, height)});
        }
        if (std::memcmp(whole.data(), banded.data(), whole.pixels.size() * sizeof(float)) != 0)
            return "triangle " + std::to_string(n) + " (" + kind + ")";
    }
    return "";
}

TEST(Rasterizer, BandsDrawTheSameBitsAsTheWholeScreen) {
    EXPECT_EQ(compareBandsWithWhole(Filler::kLit, 128, 96, 3000, 21), "");
    EXPECT_EQ(compareBandsWithWhole(Filler::kTextured, 128, 96, 1000, 22), "");
    EXPECT_EQ(compareBandsWithWhole(Filler::kTexturedLit, 128, 96, 1000, 23), "");
    EXPECT_EQ(compareBandsWithWhole(Filler::kLit, 640, 480, 100, 24), "");
}

}  // namespace

namespace {

// Every lane width this machine runs draws the scalar code's bits: random triangles of every
// shape (those reaching beyond int32 edge values take the scalar blocks), texture coordinates
// beyond the fast wrapping range, NaN and huge ones, and textures one texel wide or high.
std::string compareLanesWithScalar(Filler filler, RasterLanes lanes, int width, int height,
                                   int count, unsigned seed) {
    const TestTexture textures[3] = {TestTexture(37, 23, 0.6f), TestTexture(1, 5, 0.3f),
                                     TestTexture(16, 1, 1.0f)};
    TriangleSource source(seed, width, height);
    Frame scalar(width, height), vector(width, height);
    for (int n = 0; n < count; ++n) {
        ScreenCorner c[3];
        std::string kind;
        source.next(c, kind);
        if (n % 5 == 0) {
            // Corners thousands of pixels out: edge values cross int32 within the screen.
            kind = "large";
            const float reach = source.uniform(3000.0f, 16000.0f);
            for (int i = 0; i < 3; ++i) {
                c[i].sx = source.uniform(-reach, reach);
                c[i].sy = source.uniform(-reach, reach);
            }
            const float area = (c[1].sx - c[0].sx) * (c[2].sy - c[0].sy) -
                               (c[2].sx - c[0].sx) * (c[1].sy - c[0].sy);
            if (area > 0) std::swap(c[1], c[2]);
        }
        Shading s = source.shading(filler, &textures[n % 3].texture);
        if (n % 7 == 0) {
            const float odd[4] = {NAN, 3e9f, -7e7f, INFINITY};
            s.uv[source.pick(3)].u = odd[source.pick(4)];
            s.uv[source.pick(3)].v = odd[source.pick(4)];
        }
        // -0 intensities: lanes that a step leaves alone must keep -0, not become +0.
        if (n % 11 == 0) s.intensity[0] = s.intensity[1] = s.intensity[2] = -0.0f;
        source.prefill(scalar);
        vector.pixels = scalar.pixels;
        setRasterizerLanes(RasterLanes::kScalar);
        engineFill(scalar, c, s);
        setRasterizerLanes(lanes);
        engineFill(vector, c, s);
        if (std::memcmp(scalar.data(), vector.data(), scalar.pixels.size() * sizeof(float)) != 0)
            return "triangle " + std::to_string(n) + " (" + kind + ")";
    }
    return "";
}

// Depth bounds only save work: random triangles drawn one after another over the same frame,
// through drawPreparedFace with bounds and without, give the same bits; after each, every
// bound is still at least each (non-NaN) depth of its block row. The frames start with depths
// around the triangles' range, some cleared, some NaN, with bounds unknown (+infinity), exact,
// or loose.
std::string compareWithDepthBounds(Filler filler, RasterLanes lanes, int width, int height,
                                   int count, unsigned seed) {
    const TestTexture texture(37, 23, 0.6f);
    TriangleSource source(seed, width, height);
    Frame plain(width, height), bounded(width, height);
    source.prefill(plain);
    for (size_t i = 3; i < plain.pixels.size(); i += 4 * 97) plain.pixels[i] = NAN;
    bounded.pixels = plain.pixels;
    const int columns = width / 8;
    std::vector<float> rowMax(static_cast<size_t>(columns) * (height / 8) * 8);
    auto largest = [&](size_t row) {  // block row `row` in DepthBounds order
        const size_t block = row / 8, j = row % 8;
        const size_t bx = block % columns * 8, py = block / columns * 8 + j;
        float m = -INFINITY;
        for (size_t i = 0; i < 8; ++i) {
            const float d = bounded.pixels[4 * (py * width + bx + i) + 3];
            if (d > m) m = d;
        }
        return m;
    };
    for (size_t row = 0; row < rowMax.size(); ++row) {
        const int kind = source.pick(3);
        rowMax[row] = kind == 0 ? INFINITY : largest(row) + (kind == 1 ? 0.0f : 0.5f);
    }
    const DepthBounds bounds{rowMax.data(), columns};
    setRasterizerLanes(lanes);
    for (int n = 0; n < count; ++n) {
        ScreenCorner c[3];
        std::string kind;
        source.next(c, kind);
        Shading s = source.shading(filler, &texture.texture);
        if (n % 9 == 0) s.intensity[0] = s.intensity[1] = s.intensity[2] = -0.0f;
        // Nearer and nearer, so that later faces both pass and fail against earlier ones.
        for (ScreenCorner& corner : c) corner.z = -source.uniform(0.1f, 60.0f);
        if (n % 13 == 0) c[source.pick(3)].z = NAN;
        SnappedTriangle t;
        if (!snapTriangle(c, width, height, t)) continue;
        PreparedFace face;
        bool drawn = true;
        switch (filler) {
            case Filler::kLit:
                prepareLit(face, t, c, s.colour, s.intensity);
                break;
            case Filler::kTextured:
                drawn = prepareTextured(face, t, c, s.uv, texture.texture);
                break;
            case Filler::kTexturedLit:
                drawn = prepareTexturedLit(face, t, c, s.uv, texture.texture, s.intensity);
                break;
        }
        if (!drawn) continue;
        drawPreparedFace(plain.data(), width, height, face);
        drawPreparedFace(bounded.data(), width, height, face, nullptr, kAllRows, &bounds);
        if (std::memcmp(plain.data(), bounded.data(), plain.pixels.size() * sizeof(float)) != 0)
            return "triangle " + std::to_string(n) + " (" + kind + ")";
        for (size_t row = 0; row < rowMax.size(); ++row) {
            if (rowMax[row] < largest(row))
                return "bound below a depth after triangle " + std::to_string(n);
        }
    }
    setRasterizerLanes(widestRasterizerLanes());
    return "";
}

TEST(Rasterizer, DepthBoundsChangeNoPixel) {
    const RasterLanes widest = widestRasterizerLanes();
    for (const RasterLanes lanes :
         {RasterLanes::kScalar, RasterLanes::kFour, RasterLanes::kEight}) {
        if (static_cast<int>(lanes) > static_cast<int>(widest)) continue;
        SCOPED_TRACE(static_cast<int>(lanes));
        EXPECT_EQ(compareWithDepthBounds(Filler::kLit, lanes, 128, 96, 3000, 41), "");
        EXPECT_EQ(compareWithDepthBounds(Filler::kTextured, lanes, 128, 96, 1500, 42), "");
        EXPECT_EQ(compareWithDepthBounds(Filler::kTexturedLit, lanes, 128, 96, 1500, 43), "");
    }
}

TEST(Rasterizer, VectorLanesDrawTheScalarBits) {
    const RasterLanes widest = widestRasterizerLanes();
    for (const RasterLanes lanes : {RasterLanes::kFour, RasterLanes::kEight}) {
        if (static_cast<int>(lanes) > static_cast<int>(widest)) continue;
        SCOPED_TRACE(static_cast<int>(lanes));
        EXPECT_EQ(compareLanesWithScalar(Filler::kLit, lanes, 128, 96, 4000, 31), "");
        EXPECT_EQ(compareLanesWithScalar(Filler::kTextured, lanes, 128, 96, 3000, 32), "");
        EXPECT_EQ(compareLanesWithScalar(Filler::kTexturedLit, lanes, 128, 96, 3000, 33), "");
        EXPECT_EQ(compareLanesWithScalar(Filler::kLit, lanes, 640, 480, 100, 34), "");
        EXPECT_EQ(compareLanesWithScalar(Filler::kTexturedLit, lanes, 640, 480, 100, 35), "");
    }
    setRasterizerLanes(widest);
    EXPECT_EQ(rasterizerLanes(), widest);
    // A width the machine lacks gives the widest it has.
    setRasterizerLanes(RasterLanes::kEight);
    EXPECT_EQ(rasterizerLanes(), widest);
}

}  // namespace
