#include "runtime/frame.h"

#include <cstring>

#include "render/aligned_block.h"
#include "runtime/startup.h"

const char* const kTrackNames[kTrackCount] = {
    "wfac",    "al",       "flowerscale", "pscale",     "ringdistance", "ringthickness",
    "ringdiv", "free",     "scene",       "cityscale",  "cityrot",      "spinrot",
    "spinchoice", "spiny", "greet",       "cfy",        "cred1",        "cred2",
};

bool getDemoTracks(SyncDevice* device, DemoTracks& tracks) {
    for (int i = 0; i < kTrackCount; ++i) {
        tracks.tracks[i] = getTrack(device, kTrackNames[i]);
        if (!tracks.tracks[i]) return false;
    }
    return true;
}

TrackValues readTrackValues(const DemoTracks& tracks, double row) {
    double values[kTrackCount];
    for (int i = 0; i < kTrackCount; ++i) values[i] = trackValue(tracks.tracks[i], row);
    static_assert(sizeof(TrackValues) == sizeof(values), "one field per track, in track order");
    TrackValues result;
    std::memcpy(&result, values, sizeof(result));
    return result;
}

int sceneNumberAt(const DemoTracks& tracks, double row) {
    return roundChoice(trackValue(tracks.tracks[kSceneTrack], row));
}

float* allocateFramebuffer() {
    // The block is never freed.
    void* block = allocateAligned(kFrameFloats * sizeof(float));
    if (block) std::memset(block, 0, kFrameFloats * sizeof(float));
    return static_cast<float*>(block);
}

int renderFrame(const FrameState& frame, const DemoTracks& tracks, StartupObjects& objects) {
    // All-zero bits are 0.0f: black colour and "nothing drawn" depth in one pass.
    std::memset(objects.viewVolume->framebuffer, 0, kFrameFloats * sizeof(float));
    objects.context->warnedThisFrame = false;
    updateLight(*objects.light, frame.currentTime);

    SceneInput input;
    input.currentTime = frame.currentTime;
    input.sceneTime = frame.sceneTime;
    input.freeCamera = frame.freeCamera;
    input.tracks = readTrackValues(tracks, frame.row);

    const int sceneNumber = roundChoice(input.tracks.scene);
    runSceneBlock(sceneNumber, objects, input);
    drawOverlays(objects, input);
    return sceneNumber;
}
