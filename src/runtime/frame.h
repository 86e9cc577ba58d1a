// One frame of the show as a function of the frame state and the running show, shared by
// every host (the demo's loop, the edit mode, the page, the capture tool, the tests): clear,
// light, scene block, overlays.
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
// aligned (freeAligned gives it back), zeroed; null when there is not enough memory.
float* allocateFramebuffer(const ScreenSize& screen);

// Steps 2 to 7 of a frame: advanceShow to the frame's row, then drawFrame. Returns the scene
// number it ran.
int renderFrame(const FrameState& frame, Show& show);
// Brings what runs in show time up to `row`: the falling discs take every step due by then
// (their steps fall at rows discStepRow(k); a step is taken when scene 8 runs at its row). A
// row before the last one puts them back to the start and steps them forward again, so the
// discs at a row are the same however the show got there.
void advanceShow(Show& show, double row);
// The row of disc step k: k / kDiscStepsPerSecond seconds into the show, computed as a frame
// of that rate computes its row.
double discStepRow(long step);
// Draws the frame from the show as it stands, changing nothing that the next frame reads:
// clear, light, the scene block of the row's scene number, overlays. Returns the scene number.
int drawFrame(const FrameState& frame, Show& show);

// The same frame without its scene block: clear, light, overlays. The benchmarks' baseline.
void renderEmptyFrame(const FrameState& frame, Show& show);
