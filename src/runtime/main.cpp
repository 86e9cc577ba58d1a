// Program entry: reads the command line, makes the platform's display and music player and
// plays the show from the data directory (beside the program unless told otherwise).
#include <cstdio>
#include <memory>
#include <string>

#include "audio/music_player.h"
#include "display/display.h"
#include "runtime/application.h"
#include "runtime/options.h"
#include "runtime/platform.h"
#ifdef DEMO_EDIT_MODE
#include "edit/edit_mode.h"
constexpr bool kEditModeBuilt = true;
#else
constexpr bool kEditModeBuilt = false;
#endif

int main(int argc, char** argv) {
    DemoOptions options;
    std::string error;
    if (!parseDemoOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(demoUsage(kEditModeBuilt).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("demo110 %s\n", DEMO_VERSION);
        return 0;
    }
#ifndef DEMO_EDIT_MODE
    if (options.edit) {
        std::fprintf(
            stderr,
            "demo: this build has no edit mode (it is in the Linux build from the sources)\n");
        return 2;
    }
#endif
    PixelDisplay::DisplayInterface* platform = nullptr;
    if (options.headless) {
        platform = new PixelDisplay::DisplayAdapter();
    } else {
        platform = PixelDisplay::createPlatformDisplay();
        if (!platform) {
            std::printf(
                "demo: no window can be opened here; run with --headless to play the "
                "show without a picture\n");
            return 1;
        }
    }
    const std::string dataDir = options.dataDir.empty() ? defaultDataDir() : options.dataDir;
    ScreenSize screen = options.screen;
    if (options.autoScale && !options.headless) {
        // The edit mode always opens a window.
        const auto output = options.edit ? PixelDisplay::Windowed : options.output;
        int width = 0, height = 0;
        if (!PixelDisplay::displayArea(output, width, height) ||
            !largestScreenWithin(width, height, screen)) {
            screen = ScreenSize{};
        }
    }
    HostPart* part = nullptr;
#ifdef DEMO_EDIT_MODE
    if (options.edit) {
        part = new EditMode(options.editAssets.empty() ? DEMO_EDIT_ASSETS_DIR : options.editAssets);
    }
#endif
    Application application(platform, createMusicPlayer(), dataDir, part);
    // The edit mode always opens a window, beside the text editor; Alt+Enter still switches.
    application.output = options.edit ? PixelDisplay::Windowed : options.output;
    application.threads = options.threads;
    application.screen = screen;
    return application.run();
}
