// The demo's command line.
#pragma once

#include <string>

#include "display/display.h"
#include "render/screen.h"

struct DemoOptions {
    bool help = false;
    bool version = false;
    bool headless = false;  // no window at all: the show plays on the clocks alone
    PixelDisplay::DisplayOutput output = PixelDisplay::Fullscreen;
    std::string dataDir;  // empty: the data directory beside the program
    // --edit [ASSETS_DIR]: the edit mode, reading timeline.txt and texts.txt from editAssets
    // (empty: the repository's assets folder the program was built from).
    bool edit = false;
    std::string editAssets;
    int threads = 0;  // --threads N; 0: one for each of the machine's cores
    // --scale S: the show drawn at S * 640 x S * 480 (render/screen.h); --scale auto: the
    // largest that fits the screen, chosen once the display is there.
    ScreenSize screen{};
    bool autoScale = false;
};

// The text of --help. `editMode`: the program has the edit mode (DEMO_EDIT), whose option it
// lists only then.
std::string demoUsage(bool editMode);

// Reads `--opt value` and `--opt=value` forms. False with a one-line reason in `error`.
bool parseDemoOptions(int argc, const char* const* argv, DemoOptions& options, std::string& error);
