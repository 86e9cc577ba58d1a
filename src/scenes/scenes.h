// The scene blocks and the overlays, each a function of the frame's inputs and the start-up
// objects. They draw into objects.viewVolume->framebuffer, which the frame has cleared.
#pragma once

#include "scenes/startup_objects.h"
#include "scenes/track_values.h"

// Runs the block of `sceneNumber` (1..8 and 10); any other number draws nothing.
void runSceneBlock(int sceneNumber, StartupObjects& objects, const SceneInput& input);

// Plasma band, compofiller picture, first and second credit picture, in that order.
void drawOverlays(StartupObjects& objects, const SceneInput& input);
