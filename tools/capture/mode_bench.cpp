// --bench and --render-only: the renderer timed, a frame at a time with every thread on it, or
// whole frames at once through the frame farm.
#include <cstdio>

#include "failure.h"
#include "mode_support.h"
#include "modes.h"
#include "render/render_pool.h"
#include "runtime/frame_times.h"

int runBench(const Options& options) {
    SilentShow show;
    startSilentShow(show, options, options.threads);
    const ScreenSize& screen = show.target.screen;
    const int threads = chosenRenderThreads(options.threads);
    // No spaces inside the size: readers of the table take a line whose third field is a
    // number for a scene's row.
    std::printf("%dx%d (scale %g), %d thread%s\n", screen.width, screen.height, screen.scale,
                threads, threads == 1 ? "" : "s");
    const Matrix4 camera = cameraFromKeys("");
    const FrameRange range = frameRange(options);
    // The discs brought to the first frame's moment before the clock starts.
    if (range.first > 0) advanceShow(show, showFrame(range.first - 1, options.fps, camera).row);
    Progress progress("bench", range.end - range.first);
    FrameTimes times;
    for (long n = range.first; n < range.end; ++n) {
        timeFrame(showFrame(n, options.fps, camera), show, times);
        checkInterrupt();
        progress.step(n - range.first + 1);
    }
    printFrameTimes(times, options.fps);
    return 0;
}

int renderOnly(const Options& options) {
    std::unique_ptr<FrameFarm> farm = startFarm(options, false);
    const Matrix4 camera = cameraFromKeys("");
    const FrameRange range = frameRange(options);
    Progress progress("render", range.end - range.first);
    runFarm(*farm, range, options.fps, camera, progress, nullptr, nullptr);
    stopFarm(farm);
    progress.report(range.end - range.first, options.fps);
    return 0;
}
