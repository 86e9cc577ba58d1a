// One frame of the show as a function of the frame state and the start-up objects, shared
// by the demo's loop and the capture tool: clear, light, scene block, overlays.
#pragma once

#include "render/math.h"
#include "render/screen.h"
#include "runtime/sync.h"
#include "scenes/scenes.h"
#include "scenes/startup_objects.h"

// The frame is the screen (render/screen.h); these names serve the runtime's callers.
constexpr int kFrameWidth = kScreenWidth;
constexpr int kFrameHeight = kScreenHeight;
constexpr int kFrameFloats = kScreenFloats;

constexpr int kTrackCount = 18;
// The tracks, in the order they are asked for (and the order of TrackValues' fields).
extern const char* const kTrackNames[kTrackCount];
constexpr int kSceneTrack = 8;

struct DemoTracks {
    SyncTrack* tracks[kTrackCount];
};

// Every track is read at the frame's row.
struct FrameState {
    double row;
    double currentTime;  // timer seconds of the frame
    double sceneTime;    // seconds since the music started
    Matrix4 freeCamera;
};

// Asks the device for the 18 tracks in order. False if a track cannot be made (out of memory).
bool getDemoTracks(SyncDevice* device, DemoTracks& tracks);
TrackValues readTrackValues(const DemoTracks& tracks, double row);
int sceneNumberAt(const DemoTracks& tracks, double row);

// The framebuffer: kScreenWidth x kScreenHeight pixels of (r, g, b, depth) floats, 64-byte
// aligned.
float* allocateFramebuffer();

// Steps 2 to 7 of a frame: clear the framebuffer, move the light, run the scene block of the
// row's scene number, then the overlays. Returns the scene number it ran.
int renderFrame(const FrameState& frame, const DemoTracks& tracks, StartupObjects& objects);
