// The capture tool's modes, one for each choice of the command line (see options.h). Each
// returns the program's exit status; a failure ends the program through fail().
#pragma once

#include "options.h"

// --row: one frame as PNG and/or raw floats.
int captureOne(const Options& options);
// --frames: numbered PNG frames of the range.
int captureFrames(const Options& options);
// --video: the range through ffmpeg, with the music.
int captureVideo(const Options& options);
// --contact-sheet: a picture a beat into every N-th bar, on one PNG.
int captureContactSheet(const Options& options);
// --bench: each scene's frame times.
int runBench(const Options& options);
// --render-only: the range drawn, nothing written.
int renderOnly(const Options& options);
