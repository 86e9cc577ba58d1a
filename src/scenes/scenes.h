// The scene blocks and the overlays, each a function of the frame's inputs and the start-up
// objects. They draw into objects.viewVolume->framebuffer, which the frame has cleared.
#pragma once

#include "render/math.h"
#include "scenes/startup_objects.h"

// Every track's value at the frame's row, in the order the tracks are asked for.
struct TrackValues {
    double wfac, al, flowerscale, pscale, ringdistance, ringthickness, ringdiv, free, scene,
        cityscale, cityrot, spinrot, spinchoice, spiny, greet, cfy, cred1, cred2;
};

// A track value turned into a choice (a scene, a banner, a segment count):
// value + 0.5 truncated toward zero: 1.49 selects 1, 1.5 selects 2, -0.4 selects 0. Values
// outside the int range (or NaN) select 0 rather than invoke an undefined conversion.
inline int roundChoice(double value) {
    const double shifted = value + 0.5;
    if (!(shifted > -2147483648.0 && shifted < 2147483648.0)) return 0;
    return static_cast<int>(shifted);
}

struct SceneInput {
    double currentTime;  // timer seconds of the frame (T of the overlays)
    double sceneTime;    // seconds since the music started (E of the scenes)
    Matrix4 freeCamera;
    TrackValues tracks;
};

// Runs the block of `sceneNumber` (1..8 and 10); any other number draws nothing.
void runSceneBlock(int sceneNumber, StartupObjects& objects, const SceneInput& input);

// Plasma band, compofiller picture, first and second credit picture, in that order.
void drawOverlays(StartupObjects& objects, const SceneInput& input);
