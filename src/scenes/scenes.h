// The scene blocks and the overlays, each a function of the frame's inputs, the shared assets
// and the run's own objects. They draw into the target, which the frame has cleared.
#pragma once

#include "render/frame_target.h"
#include "scenes/scene_objects.h"
#include "scenes/track_values.h"

// The frame's picture of scene `sceneNumber` from the objects as they stand; any other number
// than 1..8 and 10 draws nothing. Changes no state that the next frame reads (the discs fall
// by their own steps, scenes/discs.h).
void drawSceneBlock(int sceneNumber, const SceneAssets& assets, SceneRun& run,
                    const FrameTarget& target, const SceneInput& input);

// Plasma band, compofiller picture, first and second credit picture, in that order.
void drawOverlays(const SceneAssets& assets, const FrameTarget& target, const SceneInput& input);
