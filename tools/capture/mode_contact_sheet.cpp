// --contact-sheet: the show stepped frame by frame at the capture rate, so that the discs fall
// as in the demo; only the frames on the sheet are drawn.
#include <algorithm>
#include <string>
#include <vector>

#include "contact_sheet.h"
#include "failure.h"
#include "mode_support.h"
#include "modes.h"

int captureContactSheet(const Options& options) {
    Show show;
    startSilentShow(show, options, options.threads);
    const Matrix4 camera = cameraFromKeys("");
    const int rowsPerPicture = options.sheetBars * 32;
    // One picture a beat into every N-th bar, once the scene change on the bar line is done.
    std::vector<double> sampleRows;
    for (double row = options.fromRow + 8; row < options.toRow; row += rowsPerPicture) {
        sampleRows.push_back(row);
    }
    if (sampleRows.empty())
        fail("the range is shorter than a beat: no picture to put on the sheet");
    ContactSheet sheet = makeContactSheet(show.objects.screen, sampleRows.size());

    const FrameRange range = frameRange(options);
    Progress progress("contact sheet", range.end);
    std::vector<uint32_t> words;
    long stepped = 0;
    for (size_t next = 0; next < sampleRows.size(); ++next) {
        // Stepped through up to the picture's frame, which is then drawn. At a very low rate
        // the range may end before a last picture's frame.
        const long n = frameAtRow(sampleRows[next], options.fps);
        advanceFrames(stepped, std::min(n + 1, range.end), options, show, camera, progress);
        if (n >= range.end) break;
        stepped = n + 1;
        const FrameState frame = showFrame(n, options.fps, camera);
        const int scene = drawFrame(frame, show);
        checkInterrupt();
        convertFrame(show.framebuffer, show.objects.screen, words);
        const int bar = static_cast<int>(frame.row) / 32 + 1;
        placeOnSheet(sheet, next, words,
                     "bar " + std::to_string(bar) + " scene " + std::to_string(scene));
    }
    progress.step(range.end);
    writeImageFile(options.contactSheet, sheet.image);
    return 0;
}
