// Triangle rasterizers: one half-space coverage engine, three pixel fillers.
//
// - Corners are screen positions in pixels, snapped to 28.4 fixed point (x16, round to even).
// - Pixels are sampled at their top-left corner; the top-left fill rule makes shared edges
//   draw exactly once. Only counter-clockwise triangles (y down) cover pixels.
// - The box is walked in 8x8 blocks with trivial accept and reject per block; width and height
//   must be multiples of 8.
// - Depth is q = 1/z, written only when q < stored depth (strict), tested before any shading.
// - Framebuffer pixel (px, py) is at float offset 4 * (py * width + px): r, g, b, depth.
#pragma once

#include "render/render_context.h"

struct ScreenCorner {
    float sx, sy;  // screen position
    float z;       // camera-space z (negative in front of the camera)
};

// Colour r, g, b times the perspective-correct interpolated intensity.
void fillLit(float* framebuffer, int width, int height, const ScreenCorner corners[3],
             const float colour[3], const float intensity[3]);

// Perspective-correct texture coordinates; texel blended over the pixel by its alpha.
void fillTextured(float* framebuffer, int width, int height, const ScreenCorner corners[3],
                  const Uv uv[3], const Texture& texture);

// Texture coordinates and intensity linear in screen space; texel colour times intensity.
void fillTexturedLit(float* framebuffer, int width, int height, const ScreenCorner corners[3],
                     const Uv uv[3], const Texture& texture, const float intensity[3]);
