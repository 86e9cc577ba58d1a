// Where a frame is drawn: the framebuffer, its size, the threads that share the drawing and the
// optional statistics. Every pass of a frame, 3D and 2D, is given this one record, so none of
// them reaches for the framebuffer or the threads through another object.
//
// The framebuffer is screen.width x screen.height pixels of four floats (r, g, b, depth), rows
// top to bottom, 64-byte aligned (render/render_context.h states the depth convention).
#pragma once

#include "render/screen.h"

struct RenderPool;
struct RasterStats;

struct FrameTarget {
    float* framebuffer = nullptr;
    ScreenSize screen{};
    // The worker threads that share out a pass's rows; null draws on the caller alone.
    RenderPool* pool = nullptr;
    // Null for the show. The edit mode's views set it for a frame: the 3D passes then draw with
    // the counting engine into it (render/raster_stats.h), on the caller's thread.
    RasterStats* stats = nullptr;
};

// Framebuffer fills and copies with the widest vector stores the processor has. glibc's memset
// and memcpy do the same work with a string instruction for long runs, which instruction counts
// take one byte at a time.
//
// Sets `floats` floats from `begin` (a multiple of 4) to `value`; +0 clears a framebuffer to
// black with depth "nothing drawn".
void fillFloats(float* begin, long floats, float value);
// Sets `pixels` pixels from `begin` to r, g, b, depth.
void fillPixels(float* begin, long pixels, float r, float g, float b, float depth);
// Sets the depth of `pixels` pixels from `begin` to +0 and keeps their colour.
void clearDepths(float* begin, long pixels);
// Copies `pixels` pixels.
void copyPixels(float* to, const float* from, long pixels);
