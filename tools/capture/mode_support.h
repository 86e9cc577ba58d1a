// What the capture modes share: the show's assets loaded once, shows started silently at the
// chosen size, frame n of the show at the capture rate, the range of frames --from and --to
// select, the frame farm that draws several frames at once, and writing a picture as PNG.
// A frame is the same however its row is reached: the falling discs move in steps of show time
// (scenes/discs.h), so no frame needs stepping through before the one drawn.
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

// A show of the run's one set of assets (loaded at the first call), ended when it goes out of
// scope.
struct SilentShow : Show {
    SilentShow() = default;
    SilentShow(const SilentShow&) = delete;
    SilentShow& operator=(const SilentShow&) = delete;
    ~SilentShow() { endShow(*this); }
};
// The demo's start-up without music and display, at the chosen size: the same assets, the
// same random draws.
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

// One show a thread, all of one set of assets; each brings the falling discs to its frame's
// row itself.
std::unique_ptr<FrameFarm> startFarm(const Options& options, bool pictures);
void stopFarm(std::unique_ptr<FrameFarm>& farm);

// Frames range.first .. range.end - 1 through the farm, a few ahead of the one taken back:
// pathOf(n) names frame n's PNG (no function: none), consume(n, words) sees each in order.
// The progress counts them from the first.
void runFarm(FrameFarm& farm, const FrameRange& range, double fps,
             const Matrix4& camera, Progress& progress,
             const std::function<std::string(long)>& pathOf,
             const std::function<void(long, const std::vector<uint32_t>&)>& consume);

// Written under a temporary name and renamed when whole.
void writeImageFile(const std::string& path, const RgbImage& image);
// What the display would show of the show's framebuffer.
void writeFramePng(const std::string& path, const Show& show);
