// The edit mode's views of how a picture is made, each drawn into a display buffer of its own
// (kScreenWidth x kScreenHeight pixels of r, g, b, x floats, as the framebuffer), never into the
// show's framebuffer, so that the frame itself and its captures stay as the show draws them.
//
// - Depth: the framebuffer's depth channel (1/z, 0 = nothing drawn) as grey, nearest white;
//   log(-z) is spread over the frame's own range, from 1 (nearest) down to 0.15 (farthest), so
//   that the farthest surface stays apart from the black of nothing drawn.
// - Overdraw: how many times each pixel passed the depth test, on the ramp of overdrawColour.
// - Blocks: every 8x8 block in the colours of what the faces did with it (full green, partial
//   yellow, skipped red), mixed by their counts and laid over the picture's grey.
// The counts come from the counting engine (render/raster_stats.h). 2D scenes write the
// framebuffer directly: their views show the depth they leave and no counts.
#pragma once

#include <cstdint>
#include <string>

#include "render/raster_stats.h"

// What the edit mode shows; V steps through them in this order.
enum class EditView { Picture, Depth, Overdraw, Blocks };
constexpr int kEditViewCount = 4;
const char* editViewName(EditView view);
EditView nextEditView(EditView view);

// The near and far z of the frame's drawn pixels (z < 0, near > far); both 0 when nothing was
// drawn.
struct DepthRange {
    float nearZ, farZ;
};
DepthRange depthRange(const float* framebuffer, int pixels);

// Overdraw counts 0 .. kOverdrawSteps - 1 have a colour each; larger counts share the last.
constexpr int kOverdrawSteps = 8;
void overdrawColour(uint32_t count, float rgb[3]);

// The colours of the block view.
extern const float kBlockFullColour[3];
extern const float kBlockPartialColour[3];
extern const float kBlockSkippedColour[3];

// Draws `view` (not Picture) of a frame into `out`. framebuffer and out are
// stats.width x stats.height pixels of four floats.
void drawEditView(EditView view, const float* framebuffer, const RasterStats& stats, float* out);

// The heads-up display's line of counts: faces, blocks by kind, pixels that passed, and the
// mean and largest overdraw of the pixels drawn at all.
std::string rasterCountsLine(const RasterStats& stats);
