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
