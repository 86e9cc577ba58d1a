// One frame of the show as a function of the frame state and the running show, shared by
// every host (the demo's loop, the capture tool, the tests): clear, light, scene block,
// overlays.
#pragma once

#include "render/math.h"
#include "render/screen.h"
#include "runtime/show.h"
#include "scenes/track_values.h"

// Every track is read at the frame's row.
struct FrameState {
    double row;
    double currentTime;  // timer seconds of the frame
    double sceneTime;    // seconds since the music started
    Matrix4 freeCamera;
};

// Every track's value at `row`, each into the field kTracks binds it to.
TrackValues readTrackValues(const DemoTracks& tracks, double row);
int sceneNumberAt(const DemoTracks& tracks, double row);

// The framebuffer: screen.width x screen.height pixels of (r, g, b, depth) floats, 64-byte
// aligned, zeroed; null when there is not enough memory.
float* allocateFramebuffer(const ScreenSize& screen);

// Steps 2 to 7 of a frame: clear the framebuffer, move the light, run the scene block of the
// row's scene number, then the overlays. Returns the scene number it ran.
int renderFrame(const FrameState& frame, Show& show);
// renderFrame in its two halves, for hosts that draw several frames at once. advanceFrame
// steps what runs from frame to frame (scene 8's falling discs) and must see every frame in
// order; drawFrame draws the frame from that state without changing it, so it may run on
// another show that was given a copy of this one's particle table.
void advanceFrame(const FrameState& frame, Show& show);
int drawFrame(const FrameState& frame, Show& show);
// Frames drawn by `threads` threads from now on (the caller counts as one; 1 starts none): the
// same bits with any number. Start-up leaves the show on one thread.
void setRenderThreads(Show& show, int threads);

// The same frame without its scene block: clear, light, overlays. The benchmarks' baseline.
void renderEmptyFrame(const FrameState& frame, Show& show);
