// What the coverage engine did in a frame, for the edit mode's views of how a picture is made.
//
// - Only the instrumented instantiation of the engine writes here: the fillers take it when a
//   RenderContext carries one (RenderContext::stats), the show's normal path never does.
// - A face is a triangle that reached the block walk: front-facing (counter-clockwise on the
//   screen) with a bounding box on the screen. Others count nowhere.
// - Blocks are the engine's 8x8 blocks, block (bx, by) covering pixels 8 bx .. 8 bx + 7 and
//   8 by .. 8 by + 7. Each face sorts every block of its bounding box into one of three kinds:
//   full (wholly inside all three edges, drawn without coverage tests), partial (tested pixel
//   by pixel) or skipped (found outside an edge, nothing drawn).
// - A pixel passes when a face's depth test lets it write (its stored 1/z strictly drops);
//   the overdraw count of a pixel is how many times that happened.
// - Storage is made once by createRasterStats; resetRasterStats zeroes it for a new frame.
#pragma once

#include <cstdint>

struct RasterStats {
    int width, height;            // pixels; the engine counts only framebuffers of this size
    int blockColumns, blockRows;  // width / 8, height / 8
    uint32_t* overdraw;           // per pixel, rows top to bottom
    uint32_t* blockFull;          // per block, rows top to bottom, summed over the faces
    uint32_t* blockPartial;
    uint32_t* blockSkipped;
    int64_t faces;
    int64_t blocksFull, blocksPartial, blocksSkipped;
    int64_t pixelsPassed;
};

// width and height must be positive multiples of 8.
RasterStats* createRasterStats(int width, int height);
void destroyRasterStats(RasterStats* stats);
void resetRasterStats(RasterStats& stats);
