// Full-screen 2D overlays drawn over every frame after the scene: the plasma band, the
// compofiller picture and the two credit pictures. They write r, g, b of framebuffer pixels
// (screen.width x screen.height, four floats each, rows top to bottom) and never the depth
// float. Rows and columns are those of the 640 x 480 picture; a scaled screen draws the same
// picture with more pixels (render/screen.h).
#pragma once

#include "render/frame_target.h"
#include "render/screen.h"
#include "render/texture.h"
#include "scenes/pass_lanes.h"

// The band covers rows 120..360.
constexpr int kPlasmaFirstRow = 120;
constexpr int kPlasmaLastRow = 360;
constexpr int kCreditTopRow = 150;

struct PlasmaColour {
    float r, g, b;
    float k;  // blend weight before the wfac factor
};

// The band's colour at X = x - 320, Y = 240 - y for the phase a = 80 T. The centre it moves
// around is derived from a.
PlasmaColour plasmaColour(float a, float X, float Y);

// Blends the band over screen columns 0 .. al * screen.width - 1 (at most all) with weight
// wfac * k, then sets the red of picture pixel (0, 0) to 0.7. Each pixel takes the band's
// colour at its centre's picture position. The rows are shared out over the target's threads.
// `lanes` picks the vector code or its scalar reference (the same bits).
void drawPlasmaBand(const FrameTarget& target, float currentTime, double wfac, double al,
                    PassLanes lanes = PassLanes::Vector);

// Alpha-blends `image` with its top-left corner at picture position (0, topRow): each pixel's
// colour, clamped to 0..1 first, becomes old * (1 - alpha) + texel * alpha with alpha = weight
// * texel alpha. Only the part on screen is drawn (at most 640 picture columns). A scaled
// screen reads the picture between texels, colours weighted by their alpha, so that no
// transparent texel's colour shows at an edge. `lanes` picks the vector code or its scalar
// reference (the same bits). A scaled screen's rows are shared out over the target's threads.
void blendImage(const FrameTarget& target, const Texture& image, int topRow, float weight,
                PassLanes lanes = PassLanes::Vector);
