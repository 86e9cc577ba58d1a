// The capture tool's command line. What each option means is said once, in the usage text
// (capture --help); parseOptions checks every value where it enters, so the modes take the
// options as given.
#pragma once

#include <string>
#include <vector>

#include "render/screen.h"
#include "runtime/clock.h"

struct Options {
    std::string dataDir;
    bool haveRow = false;
    double row = 0.0;
    bool haveTime = false;
    double time = 0.0;
    bool haveSceneTime = false;
    double sceneTime = 0.0;
    std::string keys;
    std::string png;
    std::string raw;
    std::string framesDir;
    bool force = false;
    std::string video;
    std::string contactSheet;
    int sheetBars = 2;
    double fps = 60.0;
    bool bench = false;
    bool renderOnly = false;
    int threads = 0;  // 0: one for each of the machine's cores
    bool haveScale = false;
    ScreenSize screen;  // the framebuffer's size
    bool haveFrom = false, haveTo = false;
    double fromRow = 0.0, toRow = kLastRow;
    bool haveSize = false;
    int width = kScreenWidth, height = kScreenHeight;
    std::string codec = "libx264";
    std::string crf, preset;
    long bitrate = 0;  // --bitrate in bits a second; 0: none asked of the encoder
    std::vector<std::string> ffmpegArgs;
    bool haveVideoOption = false;
};

// The command line, checked and completed with its defaults. --help and --version print and
// end the program; anything wrong ends it through fail().
Options parseOptions(int argc, char** argv);
