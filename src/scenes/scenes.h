// The scene blocks and the overlays, each a function of the frame's inputs and the start-up
// objects. They draw into objects.viewVolume->framebuffer, which the frame has cleared.
#pragma once

#include "scenes/startup_objects.h"
#include "scenes/track_values.h"

// Runs the block of `sceneNumber` (1..8 and 10): advanceScene, then drawSceneBlock.
void runSceneBlock(int sceneNumber, StartupObjects& objects, const SceneInput& input);
// The state a scene carries from frame to frame, stepped once for a frame of it (scene 8's
// falling discs; the others carry none). Draws nothing.
void advanceScene(int sceneNumber, StartupObjects& objects);
// The frame's picture from the objects as they stand; any other number than 1..8 and 10 draws
// nothing. Changes no state that the next frame reads.
void drawSceneBlock(int sceneNumber, StartupObjects& objects, const SceneInput& input);

// Plasma band, compofiller picture, first and second credit picture, in that order.
void drawOverlays(StartupObjects& objects, const SceneInput& input);
