#include "scenes/scenes.h"

#include "scenes/discs.h"
#include "scenes/overlays.h"
#include "scenes/scene_blocks.h"
#include "scenes/scene_pass.h"
#include "scenes/twister.h"

void runSceneBlock(int sceneNumber, StartupObjects& objects, const SceneInput& input) {
    advanceScene(sceneNumber, objects);
    drawSceneBlock(sceneNumber, objects, input);
}

void advanceScene(int sceneNumber, StartupObjects& objects) {
    if (sceneNumber == 8) advanceFallingDiscs(objects);
}

void drawSceneBlock(int sceneNumber, StartupObjects& objects, const SceneInput& input) {
    switch (sceneNumber) {
        case 1:
            drawRingTunnel(objects, input);
            break;
        case 2:
            drawFlower(objects, input);
            break;
        case 3:
            drawCitySilhouette(objects, input);
            break;
        case 4:
            drawGreyCity(objects, input);
            break;
        case 5:
            drawCityAndSpikes(objects, input);
            break;
        case 6:
            if (objects.hearts != nullptr) {
                drawTwister(objects.viewVolume->framebuffer, objects.screen, *objects.hearts,
                            input.sceneTime);
            }
            break;
        case 7:
            drawCubeGrid(objects, input);
            break;
        case 8:
            drawFallingDiscs(objects, input.sceneTime);
            break;
        case 10:
            drawPulsingRow(objects, input);
            break;
        default:
            break;  // the cleared frame gets only the overlays
    }
}

void drawOverlays(StartupObjects& objects, const SceneInput& input) {
    float* framebuffer = objects.viewVolume->framebuffer;
    const ScreenSize& screen = objects.screen;
    const TrackValues& tracks = input.tracks;
    drawPlasmaBand(framebuffer, screen, static_cast<float>(input.currentTime), tracks.wfac,
                   tracks.al, objects.context->pool);

    const int top = roundChoice(tracks.cfy);
    if (top > 1 && objects.compofiller != nullptr) {
        blendImage(framebuffer, screen, *objects.compofiller, top, 1.0f, PassLanes::Vector,
                   objects.context->pool);
    }
    // Exactly 0.01 shows nothing.
    if (tracks.cred1 > 0.01 && objects.cred1 != nullptr) {
        blendImage(framebuffer, screen, *objects.cred1, kCreditTopRow,
                   static_cast<float>(tracks.cred1), PassLanes::Vector, objects.context->pool);
    }
    if (tracks.cred2 > 0.01 && objects.cred2 != nullptr) {
        blendImage(framebuffer, screen, *objects.cred2, kCreditTopRow,
                   static_cast<float>(tracks.cred2), PassLanes::Vector, objects.context->pool);
    }
}
