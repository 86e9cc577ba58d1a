// What the capture modes share: the show started silently at the chosen size, frame n of the
// show at the capture rate, the range of frames --from and --to select, stepping the show
// through frames it does not draw (the falling discs carry their state from frame to frame),
// the frame farm that draws several frames at once, and writing a picture as PNG.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame_farm.h"
#include "image_output.h"
#include "options.h"
#include "progress.h"
#include "render/math.h"
#include "runtime/frame.h"
#include "runtime/show.h"

// The demo's start-up without music and display, at the chosen size: same objects, same
// random draws.
void startSilentShow(Show& show, const Options& options, int threads);

Matrix4 cameraFromKeys(const std::string& keys);

// Frame n of a show captured at `fps`: the clocks as the demo's would read them.
FrameState showFrame(long n, double fps, const Matrix4& camera);

// The first frame whose row is `row` or later, compared exactly as the frames are made.
long frameAtRow(double row, double fps);

// Frames [first, end) of the show at the capture rate.
struct FrameRange {
    long first;
    long end;
};

FrameRange frameRange(const Options& options);

// Frames [from, to) only advance the state: nothing of them is drawn or kept.
void advanceFrames(long from, long to, const Options& options, Show& state, const Matrix4& camera);

// The caller's show keeps the frame-to-frame state; the farm gets one show a thread. Each
// start-up reseeds the one random stream and draws the same values from it, so the stream
// stands after the last one where it stood after the first.
std::unique_ptr<FrameFarm> startFarm(const Options& options, Show& state, bool pictures);
void stopFarm(std::unique_ptr<FrameFarm>& farm);

// Frames range.first .. range.end - 1 through the farm, a few ahead of the one taken back:
// pathOf(n) names frame n's PNG (no function: none), consume(n, words) sees each in order.
// The progress counts them from the first.
void runFarm(FrameFarm& farm, Show& state, const FrameRange& range, double fps,
             const Matrix4& camera, Progress& progress,
             const std::function<std::string(long)>& pathOf,
             const std::function<void(long, const std::vector<uint32_t>&)>& consume);

// Written under a temporary name and renamed when whole.
void writeImageFile(const std::string& path, const RgbImage& image);
// What the display would show of the show's framebuffer.
void writeFramePng(const std::string& path, const Show& show);
