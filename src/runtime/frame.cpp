#include "runtime/frame.h"

#include <cstring>

#include "render/aligned_block.h"
#include "render/render_pool.h"
#include "runtime/startup.h"
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
    // The block is never freed.
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
// a divisor of every screen's float count (sides are multiples of 8).
constexpr int kClearBands = 16;

void clearBand(void* data, int band) {
    const ClearJob& job = *static_cast<const ClearJob*>(data);
    std::memset(job.framebuffer + static_cast<long>(band) * job.floatsPerBand, 0,
                job.floatsPerBand * sizeof(float));
}

// Steps 2 to 4 of a frame; returns what the scene block needs.
SceneInput beginFrame(const FrameState& frame, Show& show) {
    StartupObjects& objects = show.objects;
    // All-zero bits are 0.0f: black colour and "nothing drawn" depth in one pass.
    const int bands = renderThreads(objects.context->pool) > 1 ? kClearBands : 1;
    ClearJob clear{objects.viewVolume->framebuffer,
                   static_cast<int>(objects.screen.floats() / bands)};
    runBands(objects.context->pool, clearBand, &clear, bands);
    objects.context->warnedThisFrame = false;
    updateLight(*objects.light, frame.currentTime);

    SceneInput input;
    input.currentTime = frame.currentTime;
    input.sceneTime = frame.sceneTime;
    input.freeCamera = frame.freeCamera;
    input.tracks = readTrackValues(show.tracks, frame.row);
    return input;
}

}  // namespace

int renderFrame(const FrameState& frame, Show& show) {
    advanceFrame(frame, show);
    return drawFrame(frame, show);
}

void advanceFrame(const FrameState& frame, Show& show) {
    advanceScene(sceneNumberAt(show.tracks, frame.row), show.objects);
}

int drawFrame(const FrameState& frame, Show& show) {
    const SceneInput input = beginFrame(frame, show);
    const int sceneNumber = roundChoice(input.tracks.scene);
    drawSceneBlock(sceneNumber, show.objects, input);
    drawOverlays(show.objects, input);
    return sceneNumber;
}

void renderEmptyFrame(const FrameState& frame, Show& show) {
    drawOverlays(show.objects, beginFrame(frame, show));
}

void setRenderThreads(Show& show, int threads) {
    RenderContext& context = *show.objects.context;
    if (renderThreads(context.pool) == threads) return;
    destroyRenderPool(context.pool);
    context.pool = threads > 1 ? createRenderPool(threads) : nullptr;
}
