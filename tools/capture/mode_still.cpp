// --row: one frame, drawn at the row and clocks given, with the camera moved by the keys given.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "failure.h"
#include "mode_support.h"
#include "modes.h"
#include "runtime/clock.h"

int captureOne(const Options& options) {
    SilentShow show;
    startSilentShow(show, options, options.threads);
    const double defaultTime = options.row / ROWS_PER_SECOND;
    const FrameState frame{options.row, options.haveTime ? options.time : defaultTime,
                           options.haveSceneTime ? options.sceneTime : defaultTime,
                           cameraFromKeys(options.keys)};
    renderFrame(frame, show);
    if (!options.raw.empty()) {
        beginFile(options.raw);
        FILE* file = std::fopen(gPending.temp.c_str(), "wb");
        if (!file) fail("cannot write " + options.raw + ": " + std::strerror(errno));
        const size_t floats = static_cast<size_t>(show.target.screen.floats());
        const size_t written = std::fwrite(show.target.framebuffer, sizeof(float), floats, file);
        if (std::fclose(file) != 0 || written != floats) {
            fail("cannot write " + options.raw);
        }
        commitFile(options.raw);
    }
    if (!options.png.empty()) writeFramePng(options.png, show);
    return 0;
}
