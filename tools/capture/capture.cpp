// The capture tool: renders the show offline, without display and without sound, through the
// same frame function the demo runs. One frame (PNG or raw floats), the show or part of it (PNG
// frames or a video with the music), a contact sheet, or a per-scene timing table.
//
// Every file is written under a temporary name beside its final one and renamed when whole, so
// an interrupted or failed run leaves nothing under the final name (failure.h). A frame is the
// same however its row is reached, so a range starts at its first frame (mode_support.h).
#include "failure.h"
#include "modes.h"
#include "options.h"

int main(int argc, char** argv) {
    installSignals();
    const Options options = parseOptions(argc, argv);
    if (options.haveRow) return captureOne(options);
    if (!options.framesDir.empty()) return captureFrames(options);
    if (!options.video.empty()) return captureVideo(options);
    if (!options.contactSheet.empty()) return captureContactSheet(options);
    if (options.renderOnly) return renderOnly(options);
    return runBench(options);
}
