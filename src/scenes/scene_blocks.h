// The individual scene blocks behind drawSceneBlock. Each draws one frame of its scene into the
// target from the shared assets and its run's own objects; materials live in the run, which
// outlasts the flush.
#pragma once

#include "render/frame_target.h"
#include "scenes/mesh_submission.h"
#include "scenes/scene_objects.h"
#include "scenes/track_values.h"

// Ring scenes.
void drawRingTunnel(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                    const SceneInput& input);  // 1
void drawFlower(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                const SceneInput& input);                                                // 2
void drawPulsingRow(SceneRun& run, const FrameTarget& target, const SceneInput& input);  // 10
// The wall of scene 2 stands tilted behind the flower, 500 units away, 50 times its file's size.
MeshPlacement blockwallPlacement();

// City and object scenes.
void drawCitySilhouette(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                        const SceneInput& input);  // 3
void drawGreyCity(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                  const SceneInput& input);  // 4
void drawCityAndSpikes(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                       const SceneInput& input);  // 5
void drawCubeGrid(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                  const SceneInput& input);  // 7

// The banner of scene 3: picture rows 407 .. 479 from greeting image `greet` rounded (1..6;
// any other value shows none). Copies all four floats of each pixel that lies on screen; a
// scaled screen takes them between the four nearest texels.
void drawGreetingBanner(const FrameTarget& target, const SceneAssets& assets, double greet);
