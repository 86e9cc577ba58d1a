// --contact-sheet: a picture every few bars, each the frame of the capture rate at its row.
#include <string>
#include <vector>

#include "contact_sheet.h"
#include "failure.h"
#include "mode_support.h"
#include "modes.h"

int captureContactSheet(const Options& options) {
    SilentShow show;
    startSilentShow(show, options, options.threads);
    const Matrix4 camera = cameraFromKeys("");
    const int rowsPerPicture = options.sheetBars * 32;
    // One picture a beat into every N-th bar, once the scene change on the bar line is done: the
    // first frame at or after that row, when the range holds it (at a very low rate it may not).
    const FrameRange range = frameRange(options);
    std::vector<long> frames;
    bool anyRow = false;
    for (double row = options.fromRow + 8; row < options.toRow; row += rowsPerPicture) {
        anyRow = true;
        const long n = frameAtRow(row, options.fps);
        if (n < range.end) frames.push_back(n);
    }
    if (!anyRow) fail("the range is shorter than a beat: no picture to put on the sheet");
    if (frames.empty()) fail("the range holds no picture's frame at this --fps");
    ContactSheet sheet = makeContactSheet(show.target.screen, frames.size());

    Progress progress("contact sheet", static_cast<long>(frames.size()));
    std::vector<uint32_t> words;
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameState frame = showFrame(frames[i], options.fps, camera);
        const int scene = renderFrame(frame, show);
        checkInterrupt();
        convertFrame(show.target.framebuffer, show.target.screen, words);
        const int bar = static_cast<int>(frame.row) / 32 + 1;
        placeOnSheet(sheet, i, words,
                     "bar " + std::to_string(bar) + " scene " + std::to_string(scene));
        progress.step(static_cast<long>(i + 1));
    }
    writeImageFile(options.contactSheet, sheet.image);
    return 0;
}
