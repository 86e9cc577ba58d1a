#include "runtime/frame.h"

#include <cmath>
#include <cstring>

#include "render/aligned_block.h"
#include "render/render_pool.h"
#include "runtime/clock.h"
#include "runtime/startup.h"
#include "scenes/discs.h"
#include "scenes/scenes.h"

TrackValues readTrackValues(const DemoTracks& tracks, double row) {
    TrackValues values;
    for (int i = 0; i < kTrackCount; ++i)
        values.*kTracks[i].field = trackValue(tracks.tracks[i], row);
    return values;
}

int sceneNumberAt(const DemoTracks& tracks, double row) {
    constexpr int kSceneTrack = trackIndex("scene");
    static_assert(kSceneTrack >= 0);
    return roundChoice(trackValue(tracks.tracks[kSceneTrack], row));
}

float* allocateFramebuffer(const ScreenSize& screen) {
    const size_t bytes = static_cast<size_t>(screen.floats()) * sizeof(float);
    void* block = allocateAligned(bytes);
    if (block) std::memset(block, 0, bytes);
    return static_cast<float*>(block);
}

namespace {

struct ClearJob {
    float* framebuffer;
    int floatsPerBand;
};

// With several threads the clear is cut into this many pieces; a multiple of the threads, and
// a divisor of every screen's float count into whole cache lines (sides are multiples of 8).
constexpr int kClearBands = 16;

void clearBand(void* data, int band) {
    const ClearJob& job = *static_cast<const ClearJob*>(data);
    fillFloats(job.framebuffer + static_cast<long>(band) * job.floatsPerBand, job.floatsPerBand,
               0.0f);
}

// Steps 2 to 4 of a frame; returns what the scene block needs.
SceneInput beginFrame(const FrameState& frame, Show& show) {
    const FrameTarget& target = show.target;
    // All-zero bits are 0.0f: black colour and "nothing drawn" depth in one pass.
    const int bands = renderThreads(target.pool) > 1 ? kClearBands : 1;
    ClearJob clear{target.framebuffer, static_cast<int>(target.screen.floats() / bands)};
    runBands(target.pool, clearBand, &clear, bands);
    show.scenes.context->warnedThisFrame = false;
    updateLight(show.scenes.light, frame.currentTime);

    SceneInput input;
    input.currentTime = frame.currentTime;
    input.sceneTime = frame.sceneTime;
    input.freeCamera = frame.freeCamera;
    input.tracks = readTrackValues(show.assets->tracks, frame.row);
    return input;
}

// The number of disc steps due by `row`: every k >= 0 with discStepRow(k) <= row.
long discStepsDue(double row) {
    if (!(row >= 0.0)) return 0;
    long k = static_cast<long>(row / ROWS_PER_SECOND * kDiscStepsPerSecond);
    // The estimate may be one off either way; the exact rows decide.
    while (k > 0 && discStepRow(k) > row) --k;
    while (discStepRow(k + 1) <= row) ++k;
    return k + 1;
}

}  // namespace

double discStepRow(long step) {
    // As a frame at that rate: seconds = n / fps, row = seconds * ROWS_PER_SECOND.
    const double seconds = static_cast<double>(step) / kDiscStepsPerSecond;
    return seconds * ROWS_PER_SECOND;
}

void advanceShow(Show& show, double row) {
    SceneRun& run = show.scenes;
    const long due = discStepsDue(row);
    if (due < run.discSteps) restartFallingDiscs(run, show.assets->scenes);
    for (; run.discSteps < due; ++run.discSteps) {
        if (sceneNumberAt(show.assets->tracks, discStepRow(run.discSteps)) == 8)
            advanceFallingDiscs(run);
    }
}

int renderFrame(const FrameState& frame, Show& show) {
    advanceShow(show, frame.row);
    return drawFrame(frame, show);
}

int drawFrame(const FrameState& frame, Show& show) {
    const SceneInput input = beginFrame(frame, show);
    const int sceneNumber = roundChoice(input.tracks.scene);
    drawSceneBlock(sceneNumber, show.assets->scenes, show.scenes, show.target, input);
    drawOverlays(show.assets->scenes, show.target, input);
    return sceneNumber;
}

void renderEmptyFrame(const FrameState& frame, Show& show) {
    drawOverlays(show.assets->scenes, show.target, beginFrame(frame, show));
}
