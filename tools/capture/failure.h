// How a capture run ends early. A failure prints one line "capture: ..." and ends with status
// 2, a SIGINT or SIGTERM ends with 128 + its number; either way what was half done is undone
// first: the file being written (only ever under its temporary name), the frames the farm is
// drawing and writing, and a running ffmpeg.
#pragma once

#include <sys/types.h>

#include <string>

class FrameFarm;

// What an interrupt or a failure must undo: the file being written and a running ffmpeg.
struct Pending {
    std::string temp;
    FrameFarm* farm = nullptr;  // frames being drawn and written, each under its own temporary name
    pid_t ffmpeg = -1;
    int pipe = -1;
};
extern Pending gPending;

// SIGINT and SIGTERM are noted for checkInterrupt(); SIGPIPE is ignored.
void installSignals();
[[noreturn]] void fail(const std::string& message);
// Ends the run if a signal has come.
void checkInterrupt();

// `path` with a hidden temporary name in the same folder, keeping the extension (ffmpeg picks
// the container by it).
std::string tempBeside(const std::string& path);
// The file being written goes under tempBeside(path), gPending.temp, until commitFile renames it.
void beginFile(const std::string& path);
void commitFile(const std::string& path);
