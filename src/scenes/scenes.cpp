#include "scenes/scenes.h"

#include "scenes/discs.h"
#include "scenes/overlays.h"
#include "scenes/scene_blocks.h"
#include "scenes/scene_pass.h"
#include "scenes/twister.h"

void drawSceneBlock(int sceneNumber, const SceneAssets& assets, SceneRun& run,
                    const FrameTarget& target, const SceneInput& input) {
    switch (sceneNumber) {
        case 1:
            drawRingTunnel(assets, run, target, input);
            break;
        case 2:
            drawFlower(assets, run, target, input);
            break;
        case 3:
            drawCitySilhouette(assets, run, target, input);
            break;
        case 4:
            drawGreyCity(assets, run, target, input);
            break;
        case 5:
            drawCityAndSpikes(assets, run, target, input);
            break;
        case 6:
            if (assets.pictures[kTwisterPicture] != nullptr)
                drawTwister(target, *assets.pictures[kTwisterPicture], input.sceneTime);
            break;
        case 7:
            drawCubeGrid(assets, run, target, input);
            break;
        case 8:
            drawFallingDiscs(run, target, input.sceneTime);
            break;
        case 10:
            drawPulsingRow(run, target, input);
            break;
        default:
            break;  // the cleared frame gets only the overlays
    }
}

void drawOverlays(const SceneAssets& assets, const FrameTarget& target, const SceneInput& input) {
    const TrackValues& tracks = input.tracks;
    drawPlasmaBand(target, static_cast<float>(input.currentTime), tracks.wfac, tracks.al);

    const int top = roundChoice(tracks.cfy);
    if (top > 1 && assets.pictures[kTitlePicture] != nullptr) {
        blendImage(target, *assets.pictures[kTitlePicture], top, 1.0f);
    }
    // Exactly 0.01 shows nothing.
    if (tracks.cred1 > 0.01 && assets.pictures[kCredit1Picture] != nullptr) {
        blendImage(target, *assets.pictures[kCredit1Picture], kCreditTopRow,
                   static_cast<float>(tracks.cred1));
    }
    if (tracks.cred2 > 0.01 && assets.pictures[kCredit2Picture] != nullptr) {
        blendImage(target, *assets.pictures[kCredit2Picture], kCreditTopRow,
                   static_cast<float>(tracks.cred2));
    }
}
