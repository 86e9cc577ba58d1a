// The twister: a square bar, textured on its four sides, twisting about the vertical line
// x = 512, drawn row by row straight into the framebuffer (r, g, b only; depth untouched).
//
// Screen row y reads texture row y. The texture is split into four strips of 128 columns,
// one per side, starting at columns 0, 128, 256 and 384. A side is shaded by its on-screen
// width, so a side seen face-on is brighter than one seen at a grazing angle.
#pragma once

#include "render/frame_target.h"
#include "render/screen.h"
#include "render/texture.h"
#include "scenes/pass_lanes.h"

constexpr int kTwisterStripWidth = 128;

// Draws all rows of the bar at time `sceneTime` (seconds). Rows past the texture's height are
// left alone; columns past its width read its last column. On a scaled screen every row
// twists by its own picture position, the edges fall between picture pixels and the texture
// is read between texels, so the bar gets smoother.
void drawTwister(const FrameTarget& target, const Texture& texture, double sceneTime);

// One side on one row: ceil(width) pixels from x0, the texture column starting at columnBase
// and advancing by 128 / width per pixel written; pixels outside 0 .. rowWidth - 1 are skipped
// without advancing the column. `row` and `textureRow` point at the first pixel of their rows.
// `lanes` picks the vector code or its scalar reference (the same bits).
void drawTwisterSpan(float* row, int rowWidth, const float* textureRow, int x0, float width,
                     int columnBase, float shade, int textureWidth,
                     PassLanes lanes = PassLanes::Vector);
