// Triangle rasterizers: one half-space coverage engine, three pixel fillers.
//
// - Corners are screen positions in pixels (origin at the top-left corner of the screen, x
//   right, y down), snapped to 28.4 fixed point: X = round(16 * sx), ties to even.
// - Pixel (px, py) is sampled at its top-left corner (16 px, 16 py), not its centre. Each edge
//   a->b (0->1, 1->2, 2->0) has E = (y - Ya)(Xa - Xb) + (x - Xa)(Yb - Ya), plus 1 on top and
//   left edges (Yb > Ya, or Yb == Ya and Xa > Xb); the working value is e = (E - 1) >> 4, the
//   floor of (E - 1) / 16, and steps exactly by Yb - Ya per pixel right and Xa - Xb per pixel
//   down. A pixel is covered when e >= 0 on all three edges, so an edge shared by two
//   triangles is drawn exactly once. Only counter-clockwise triangles (on the screen, y down)
//   cover pixels.
// - The bounding box [ceil(min X / 16), ceil(max X / 16)) x (the same in y), clipped to the
//   screen, is walked in 8x8 blocks: block rows top to bottom, blocks left to right, pixels
//   inside a block row by row, left to right. A block that misses an edge's inside is skipped,
//   one wholly inside all three edges is filled without coverage tests. width and height must
//   be multiples of 8; other sizes draw nothing.
// - A triangle is set up once (snapTriangle, then prepareLit / prepareTextured /
//   prepareTexturedLit) and may then be drawn band by band (drawPreparedFace); the fill
//   functions do all three in one call. Whether a triangle covers anything is decided by
//   snapTriangle alone, so a face that the set-up refuses would have drawn nothing.
// - Depth q = 1/z (z < 0 in front of the camera): a pixel is written only when q is below its
//   stored depth (strict), and the test comes before any shading.
// - Interpolation works on the snapped triangle, the one that the edge functions cover:
//   S = (E01 + E12 + E20) / 16 = 32 x its area in px^2 (the working values' sum
//   e01 + e12 + e20 differs only by their floors), and invS = 1/S once per triangle. A pixel's
//   weights are w2 = e01 * invS, w0 = e12 * invS, w1 = 1 - w0 - w2. At each block's top-left pixel
//   q = w0/z0 + w1/z1 + w2/z2, then q steps by dq/dx per pixel and dq/dy per row, with
//   gradients taken once per triangle from the snapped corners. (Floored S, or gradients of
//   the unsnapped corners, disagree with the weights enough that extrapolating from a block
//   corner puts depths far outside the corners' range on thin triangles.) The only per-pixel
//   divisions are by q, where perspective correction needs them.
// - Framebuffer pixel (px, py) is at float offset 4 * (py * width + px): r, g, b, depth.
// - A corner farther than 2^23 pixels from the origin, or NaN, refuses the triangle: clipping
//   keeps real geometry near the screen, and the bound keeps edge functions inside 64 bits.
// - Texel of (u, v) in a W x H texture: column = round((W-1) u) mod (W-1),
//   row = (H-1) - (round((H-1) v) mod (H-1)), rounding ties to even. The modulo is taken
//   non-negative, so negative coordinates wrap like positive ones; W or H of 1 addresses
//   column or row 0, and a texture without texels draws nothing.
// - Each filler takes an optional RasterStats (render/raster_stats.h): given one of the
//   framebuffer's size, the triangle is drawn by a second instantiation of the engine that
//   counts what it does into it, with exactly the same pixels. The show passes none.
#pragma once

#include <cstdint>

#include "lanes/lanes.h"
#include "render/raster_stats.h"
#include "render/render_context.h"

// Screen rows first .. end - 1 that a fill may write; both multiples of 8 (or the height), so
// that bands split the walk between whole block rows. A triangle drawn in bands is set up
// exactly as on the whole screen: each band writes the same bits to its own rows.
struct RowBand {
    int first, end;
};
constexpr RowBand kAllRows = {0, 1 << 30};

struct ScreenCorner {
    float sx, sy;  // screen position
    float z;       // camera-space z (negative in front of the camera)
};

// Vector lanes of the show's fillers: 4 (SSE2, WebAssembly SIMD) or 8 (AVX2) pixels at a time,
// drawing exactly the bits of the scalar code (lanes/lanes.h); the counting engine is always
// scalar.
using RasterLanes = LaneWidth;
// The default is the widest this processor runs (widestLanes()); a wider one is lowered to
// that. Not thread-safe: change it only while nothing draws.
void setRasterizerLanes(RasterLanes lanes);
RasterLanes rasterizerLanes();
RasterLanes widestRasterizerLanes();

// The texel index (row * W + column) that (u, v) addresses by the rule above; -1 for a texture
// without texels.
int texelIndex(const Texture& texture, float u, float v);

// Colour r, g, b times the perspective-correct intensity
// I = (w0 * (I0/z0) + w1 * (I1/z1) + w2 * (I2/z2)) / q. Nothing is clamped.
void fillLit(float* framebuffer, int width, int height, const ScreenCorner corners[3],
             const float colour[3], const float intensity[3], RasterStats* stats = nullptr,
             RowBand rows = kAllRows);

// Perspective-correct u = (w0 * (u0/z0) + w1 * (u1/z1) + w2 * (u2/z2)) / q, v likewise; the
// texel T is blended over the pixel: c = T.c * T.a + (1 - T.a) * clamp(c, 0, 1). The depth is
// written even where T.a is 0.
void fillTextured(float* framebuffer, int width, int height, const ScreenCorner corners[3],
                  const Uv uv[3], const Texture& texture, RasterStats* stats = nullptr,
                  RowBand rows = kAllRows);

// u, v and intensity linear in screen space (w0 * a0 + w1 * a1 + w2 * a2 at each block's
// top-left pixel, then stepped like q); colour = T.c * I, texel alpha ignored.
void fillTexturedLit(float* framebuffer, int width, int height, const ScreenCorner corners[3],
                     const Uv uv[3], const Texture& texture, const float intensity[3],
                     RasterStats* stats = nullptr, RowBand rows = kAllRows);

// The corners snapped to 28.4 and the pixel box they span on the screen.
struct SnappedTriangle {
    int X[3], Y[3];
    int64_t doubleArea;              // (X1 - X0)(Y2 - Y0) - (X2 - X0)(Y1 - Y0): negative
    int xStart, xEnd, yStart, yEnd;  // the bounding box clipped to the screen, ends excluded
};

// Snaps the corners; false when the triangle can cover no pixel of a width x height screen: a
// corner NaN or beyond 2^23 px, clockwise or degenerate, a box off the screen, or a screen not
// made of whole 8x8 blocks.
bool snapTriangle(const ScreenCorner corners[3], int width, int height, SnappedTriangle& triangle);

enum class FillKind { kLit, kTextured, kTexturedLit };

// A triangle set up for its filler: everything its blocks need that does not depend on the
// block, computed once. The edges run 0->1, 1->2, 2->0 (e01 opposite corner 2, e12 opposite
// corner 0).
struct PreparedFace {
    FillKind kind;
    int64_t edgeOrigin[3];  // e at the first block's top-left pixel (originX, originY)
    int32_t stepX[3];       // Yb - Ya: e per pixel right
    int32_t stepY[3];       // Xa - Xb: e per pixel down
    int originX, originY;   // the box's start rounded down to whole blocks
    int xEnd, yEnd;         // the box's end
    bool fitsLanes;         // every edge value the vector lanes reach over the box fits int32
    float invS;             // 1 / S
    float z[3];
    float qdx, qdy;                  // q per pixel right, per pixel row down
    float colour[3];                 // kLit: r, g, b
    float perZ[2][3];                // kLit: I_k / z_k; kTextured: u_k / z_k, v_k / z_k
    float linear[3][3];              // kTexturedLit: u, v and I at the corners,
    float linearDx[3], linearDy[3];  // and their gradients
    const Texture* texture;          // kTextured, kTexturedLit
};

// The set-up of a snapped triangle for each filler (arguments as for the fill functions); false
// for a texture without texels, which draws nothing.
void prepareLit(PreparedFace& face, const SnappedTriangle& triangle, const ScreenCorner corners[3],
                const float colour[3], const float intensity[3]);
bool prepareTextured(PreparedFace& face, const SnappedTriangle& triangle,
                     const ScreenCorner corners[3], const Uv uv[3], const Texture& texture);
bool prepareTexturedLit(PreparedFace& face, const SnappedTriangle& triangle,
                        const ScreenCorner corners[3], const Uv uv[3], const Texture& texture,
                        const float intensity[3]);
// Upper bounds of the depths a framebuffer holds, one for each row of 8 pixels of each 8x8
// block: block (bx, by)'s row j at rowMax[8 * ((by / 8) * blockColumns + bx / 8) + j], with
// width / 8 block columns. The vector lanes skip a block row whose every pixel would fail the
// depth test against its bound, and tighten the bound of each row they read. A bound holds
// while depths only fall, as the depth test has them fall: whatever else writes depths must
// set the bounds of its rows to +infinity (or more) first. NaN bounds rule nothing out.
struct DepthBounds {
    float* rowMax;
    int blockColumns;
};

// Draws the face's pixels in `rows` of a width x height framebuffer, the screen it was
// prepared for; with `stats` of that size, by the counting engine. `bounds` (if any) only
// saves work: the pixels are the same with or without.
void drawPreparedFace(float* framebuffer, int width, int height, const PreparedFace& face,
                      RasterStats* stats = nullptr, RowBand rows = kAllRows,
                      const DepthBounds* bounds = nullptr);
