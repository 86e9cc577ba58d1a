#include "runtime/options.h"

#include <cstdlib>

#include "render/render_pool.h"

namespace {

// The help text, piece by piece: the edit mode's pieces only in builds that have it.
struct UsagePiece {
    bool editOnly;
    const char* text;
};
constexpr UsagePiece kUsage[] = {
    {false, "usage: demo [--window] [--headless] [--data DIR] [--threads N] [--scale S|auto]\n"},
    {true, "            [--edit [ASSETS_DIR]]\n"},
    {false,
     "Plays the show: about 101 seconds of music and pictures, full screen, then ends by itself.\n"
     "  --window      start in a window instead of full screen (Alt+Enter switches)\n"
     "  --headless    no window at all: the show plays to its end without a picture\n"
     "  --data DIR    read the music, pictures, meshes and tracks from DIR\n"
     "                (default: the data folder beside the program)\n"
     "  --threads N   draw frames with N threads, 1 to 16 (default: one a core)\n"
     "  --scale S     draw the show at S times 640 x 480, from 1 to 4.5 where both sides come\n"
     "                out as whole multiples of 8 (1.5, 2, 2.25, 3, ...); auto: the largest\n"
     "                that fits the screen (default 1)\n"},
    {true,
     "  --edit [DIR]  edit mode: the show in a window with a transport and a heads-up display,\n"
     "                timeline.txt and texts.txt from DIR reloaded when saved (default: the\n"
     "                assets folder of the source tree)\n"},
    {false,
     "  --version     print the version and exit\n"
     "  --help        print this text and exit\n"
     "Keys: Escape quits; Alt+Enter full screen or window; W/S A/D Q/Z move and U/J K/H I/Y\n"
     "turn the free camera; 1 to 5 jump to fixed views.\n"},
};

}  // namespace

std::string demoUsage(bool editMode) {
    std::string text;
    for (const UsagePiece& piece : kUsage) {
        if (!piece.editOnly || editMode) text += piece.text;
    }
    return text;
}

bool parseDemoOptions(int argc, const char* const* argv, DemoOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (const size_t equals = arg.find('=');
            arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
            hasValue = true;
        }
        auto flag = [&](bool& field) {
            if (hasValue) {
                error = arg + " takes no value";
                return false;
            }
            field = true;
            return true;
        };
        // The value after '=' or in the next argument; false with `error` when there is none.
        auto takeValue = [&](const char* what) {
            if (hasValue) return true;
            if (i + 1 >= argc) {
                error = arg + " needs " + what;
                return false;
            }
            value = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            if (!flag(options.help)) return false;
        } else if (arg == "--version") {
            if (!flag(options.version)) return false;
        } else if (arg == "--headless") {
            if (!flag(options.headless)) return false;
        } else if (arg == "--window") {
            bool window = false;
            if (!flag(window)) return false;
            options.output = PixelDisplay::Windowed;
        } else if (arg == "--edit") {
            options.edit = true;
            // The folder is optional: a following word that is no option is it.
            if (!hasValue && i + 1 < argc && argv[i + 1][0] != '-') value = argv[++i];
            options.editAssets = value;
        } else if (arg == "--threads") {
            if (!takeValue("a number")) return false;
            char* end = nullptr;
            const long threads = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || threads < 1 || threads > kMaxRenderThreads) {
                error =
                    "--threads takes a whole number from 1 to " + std::to_string(kMaxRenderThreads);
                return false;
            }
            options.threads = static_cast<int>(threads);
        } else if (arg == "--scale") {
            if (!takeValue("a scale")) return false;
            char* end = nullptr;
            const double scale = std::strtod(value.c_str(), &end);
            options.autoScale = value == "auto";
            if (!options.autoScale &&
                (value.empty() || *end != '\0' || !screenForScale(scale, options.screen))) {
                error =
                    "--scale takes auto or a number from 1 to 4.5 at which 640 x 480 scales "
                    "to whole multiples of 8 (steps of 0.05: 1.5, 2, 2.25, 3, ...)";
                return false;
            }
        } else if (arg == "--data") {
            if (!takeValue("a folder")) return false;
            if (value.empty()) {
                error = "--data needs a folder";
                return false;
            }
            options.dataDir = value;
        } else {
            error = "unknown argument \"" + std::string(argv[i]) + "\" (see --help)";
            return false;
        }
    }
    return true;
}
