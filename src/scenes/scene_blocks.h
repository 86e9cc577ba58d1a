// The individual scene blocks behind runSceneBlock. Each draws one frame of its scene into
// objects.viewVolume->framebuffer; materials live in fixed storage that outlasts the flush.
#pragma once

#include "scenes/startup_objects.h"
#include "scenes/track_values.h"

// Ring scenes.
void drawRingTunnel(StartupObjects& objects, const SceneInput& input);  // 1
void drawFlower(StartupObjects& objects, const SceneInput& input);      // 2
void drawPulsingRow(StartupObjects& objects, const SceneInput& input);  // 10

// City and object scenes.
void drawCitySilhouette(StartupObjects& objects, const SceneInput& input);  // 3
void drawGreyCity(StartupObjects& objects, const SceneInput& input);        // 4
void drawCityAndSpikes(StartupObjects& objects, const SceneInput& input);   // 5
void drawCubeGrid(StartupObjects& objects, const SceneInput& input);        // 7

// The banner of scene 3: picture rows 407 .. 479 from greeting image `greet` rounded (1..6;
// any other value shows none). Copies all four floats of each pixel that lies on screen; a
// scaled screen takes them between the four nearest texels.
void drawGreetingBanner(float* framebuffer, const ScreenSize& screen, StartupObjects& objects,
                        double greet);
