// --bench and --render-only: the renderer timed, a frame at a time with every thread on it, or
// whole frames at once through the frame farm.
#include <cstdio>

#include "failure.h"
#include "mode_support.h"
#include "modes.h"
#include "render/render_pool.h"
#include "runtime/frame_times.h"

int runBench(const Options& options) {
    Show show;
    startSilentShow(show, options, options.threads);
    const ScreenSize& screen = show.objects.screen;
    const int threads = options.threads > 0 ? options.threads : defaultRenderThreads();
    // No spaces inside the size: readers of the table take a line whose third field is a
    // number for a scene's row.
    std::printf("%dx%d (scale %g), %d thread%s\n", screen.width, screen.height, screen.scale,
                threads, threads == 1 ? "" : "s");
    const Matrix4 camera = cameraFromKeys("");
    const FrameRange range = frameRange(options);
    advanceFrames(0, range.first, options, show, camera);
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
    Show state;
    std::unique_ptr<FrameFarm> farm = startFarm(options, state, false);
    const Matrix4 camera = cameraFromKeys("");
    const FrameRange range = frameRange(options);
    Progress progress("render", range.end - range.first);
    runFarm(*farm, state, range, options.fps, camera, progress, nullptr, nullptr);
    stopFarm(farm);
    progress.report(range.end - range.first, options.fps);
    return 0;
}
