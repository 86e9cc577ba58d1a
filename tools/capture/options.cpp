#include "options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "failure.h"
#include "render/render_pool.h"
#include "runtime/bar_beat.h"
#include "runtime/platform.h"

namespace {

// The default average bitrate of libx264 and libx265: bits a pixel of every frame. Video sites
// ask for 8 to 12 Mbit/s at 1920x1080 and 60 frames a second; this gives 10.
constexpr double kDefaultBitsPerPixel = 0.08;

const char* const kUsage =
    "usage: capture [--data DIR] MODE [OPTIONS]\n"
    "Every option also takes the form --option=value.\n"
    "modes:\n"
    "  --row R [--time T] [--scene-time E] [--keys K] [--png FILE] [--raw FILE]\n"
    "        one frame at sync row R, 0 to 1480 (the show's end, excluded); T and E default\n"
    "        to R / (44/3) seconds; K is a string of free-camera keys (for example \"1a\")\n"
    "        applied in order to the start camera.\n"
    "        --png writes what the display shows, --raw the framebuffer as 640 S x 480 S x 4\n"
    "        little-endian floats (r, g, b, depth), S the --scale\n"
    "  --frames DIR [--force]        numbered PNG frames frame00000.png, frame00001.png, ...\n"
    "        counted from the first frame written. A folder that already holds such frames is\n"
    "        refused; --force deletes them first.\n"
    "  --video FILE                  a video with the music, through ffmpeg (on the PATH)\n"
    "  --contact-sheet FILE [--sheet-bars N]\n"
    "        one PNG with a labelled picture a beat into every N-th bar (default 2), each a\n"
    "        quarter of the frame's width and height\n"
    "  --bench                       render as fast as possible and print the size drawn and\n"
    "        the threads, then the median and 95th percentile frame time of every scene, and of\n"
    "        the frame without its scene (clear and overlays, row \"empty\"); \"x empty\" is a\n"
    "        median over the empty row's median\n"
    "  --render-only                 render the frames of the range and write nothing; the last\n"
    "        line gives the rate (timing or profiling the renderer alone). Unlike the other\n"
    "        modes it starts at --from: the discs are not advanced through the frames before.\n"
    "options of every mode:\n"
    "  --scale S        draw the 640 x 480 picture S times as large each way, S from 1 to 4.5 in\n"
    "        steps of 0.05 (both sides are then whole multiples of 8): 1.5 gives 960 x 720, 2.25\n"
    "        1440 x 1080, 4.5 2880 x 2160. Default 1 (for --video with --size, see there)\n"
    "  --threads N      draw each frame with N threads, 1 to 16 (default: one a core); the\n"
    "        pictures are the same with any number\n"
    "options of the modes that run the show (frames, video, contact sheet, bench, render-only):\n"
    "  --fps N          frames per second of show time, 1 to 1000 (default 60)\n"
    "  --from P, --to P render only rows from P (included) to P (excluded); the default is the\n"
    "        whole show, rows 0 to 1480. P is a row (\"600\", fractions allowed) or BAR:BEAT\n"
    "        with bars and beats counted from 1, 32 rows a bar and 8 a beat: \"1:1\" is row 0,\n"
    "        \"5:1\" row 128, \"47:2\" row 1480, the end. A frame is the same however the range\n"
    "        reaches it: the falling discs move in steps of show time, not per frame drawn.\n"
    "options of --video:\n"
    "  --size WxH       frame size, even both ways and no smaller than the picture (default:\n"
    "        the picture's own size). Without --scale the show is drawn at the largest scale\n"
    "        that fits: 1920x1080 holds 1440 x 1080 (scale 2.25), 3840x2160 2880 x 2160 (4.5).\n"
    "        The picture is enlarged by the largest whole factor that fits, pixels repeated\n"
    "        (without --scale only from 5760x4320 up), and centred on black: --scale 1 --size\n"
    "        1920x1080 shows 1280 x 960.\n"
    "  --codec NAME     ffmpeg's video encoder, -c:v (default libx264)\n"
    "  --bitrate RATE   the video's average bitrate in bits a second, k or M for thousands or\n"
    "        millions (\"12M\"), 100k to 1000M; peaks are held to twice that over a second\n"
    "        (-b:v, -maxrate, -bufsize). The default for libx264 and libx265: 0.08 bits a pixel,\n"
    "        10 Mbit/s at 1920x1080 and 60 frames a second (what video sites ask for)\n"
    "  --crf N          ffmpeg's -crf, 0 to 63: constant quality instead of a bitrate (with\n"
    "        other codecs than libx264 and libx265 neither is set unless given)\n"
    "  --preset NAME    ffmpeg's -preset (default medium for libx264 and libx265, otherwise\n"
    "        only when given)\n"
    "  --ffmpeg-args \"ARGS\"  more output options for ffmpeg, split at spaces ('' and \"\"\n"
    "        quote), placed last before the file name so that they override ours\n"
    "        The video is 4:2:0 (-pix_fmt yuv420p), converted from RGB with the BT.709 matrix\n"
    "        into limited (16-235) range and tagged BT.709 (colorspace, primaries, transfer,\n"
    "        range tv), H.264 in the High profile (libx264; the level follows from the size,\n"
    "        the frame rate and the peak rate: 4.2 at 1920x1080 and 60 frames a second); the\n"
    "        sound is AAC-LC stereo at 48 kHz and 256 kbit/s; .mp4, .mov and .m4v files get\n"
    "        -movflags +faststart. When the range reaches the show's end (no --to, or --to\n"
    "        47:2) the music rings out: the last picture fades linearly to black until the\n"
    "        music ends, so the video is as long as the music (its length found by decoding\n"
    "        it as the demo does). Otherwise the music is cut to the range.\n"
    "other options:\n"
    "  --data DIR       the data directory (default: data beside the program)\n"
    "  --version        print the version and exit\n"
    "  --help           print this text and exit\n"
    "Long runs report the frames drawn, frames drawn per second and time left on stderr: one\n"
    "updating line on a terminal, otherwise a line every 10%. Every file is written under a\n"
    "hidden temporary name beside it and renamed when complete. Ctrl+C or SIGTERM stops a run, "
    "removes the file being written (a\n"
    "frames folder keeps the frames already finished) and ends with status 130 or 143. A\n"
    "failure, ffmpeg's included (\"capture: ffmpeg failed (exit status or signal: its last\n"
    "message)\"), ends with status 2 and leaves nothing under the final name.\n";

double parseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) {
        fail(option + " needs a number, not \"" + text + "\"");
    }
    return value;
}

// A row, or BAR:BEAT counted from 1:1 (row 0), 32 rows a bar and 8 a beat.
double parseRowPosition(const std::string& option, const std::string& text) {
    if (text.find(':') == std::string::npos) return parseNumber(option, text);
    int row = 0;
    std::string why;
    if (!parseBarBeat(text, row, why)) {
        fail(option + " takes a row or BAR:BEAT counted from 1:1, not \"" + text + "\": " + why);
    }
    return row;
}

// A row of the show, from 0 to kLastRow, the show's end, which only the end of a range (`end`)
// may reach.
double checkShowRow(const std::string& option, const std::string& text, double row, bool end) {
    if (row < 0 || row > kLastRow || (row == kLastRow && !end)) {
        fail(option + " takes a row from 0 to " + std::to_string(kLastRow) +
             (end ? " (the show's end)" : " (the show's end, excluded)") + ", not \"" + text +
             "\"");
    }
    return row;
}

// Shell-like splitting of --ffmpeg-args: spaces separate, '' and "" quote, \ escapes.
std::vector<std::string> splitArguments(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote == '"' && i + 1 < text.size()) {
                word += text[++i];
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) fail("--ffmpeg-args has an unclosed quote");
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace

Options parseOptions(int argc, char** argv) {
    Options options;
    options.dataDir = defaultDataDir();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string attached;
        bool hasAttached = false;
        if (const size_t equals = arg.find('=');
            arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            attached = arg.substr(equals + 1);
            arg.resize(equals);
            hasAttached = true;
        }
        auto value = [&]() -> std::string {
            if (hasAttached) return attached;
            if (i + 1 >= argc) fail(arg + " needs a value");
            return argv[++i];
        };
        auto flag = [&]() {
            if (hasAttached) fail(arg + " takes no value");
        };
        if (arg == "--help" || arg == "-h") {
            flag();
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--version") {
            flag();
            std::printf("capture %s\n", DEMO_VERSION);
            std::exit(0);
        } else if (arg == "--data") {
            options.dataDir = value();
        } else if (arg == "--row") {
            const std::string text = value();
            options.row = checkShowRow(arg, text, parseNumber(arg, text), false);
            options.haveRow = true;
        } else if (arg == "--time") {
            options.time = parseNumber(arg, value());
            options.haveTime = true;
        } else if (arg == "--scene-time") {
            options.sceneTime = parseNumber(arg, value());
            options.haveSceneTime = true;
        } else if (arg == "--keys") {
            options.keys = value();
        } else if (arg == "--png") {
            options.png = value();
        } else if (arg == "--raw") {
            options.raw = value();
        } else if (arg == "--frames") {
            options.framesDir = value();
            if (options.framesDir.empty()) fail("--frames needs a folder");
        } else if (arg == "--force") {
            flag();
            options.force = true;
        } else if (arg == "--video") {
            options.video = value();
            if (options.video.empty()) fail("--video needs a file name");
        } else if (arg == "--contact-sheet") {
            options.contactSheet = value();
            if (options.contactSheet.empty()) fail("--contact-sheet needs a file name");
        } else if (arg == "--sheet-bars") {
            const double bars = parseNumber(arg, value());
            if (bars < 1 || bars > 64 || bars != std::floor(bars)) {
                fail("--sheet-bars takes a whole number from 1 to 64");
            }
            options.sheetBars = static_cast<int>(bars);
        } else if (arg == "--fps") {
            options.fps = parseNumber(arg, value());
            if (options.fps < 1.0 || options.fps > 1000.0) fail("--fps takes 1 to 1000");
        } else if (arg == "--bench") {
            flag();
            options.bench = true;
        } else if (arg == "--render-only") {
            flag();
            options.renderOnly = true;
        } else if (arg == "--threads") {
            const double threads = parseNumber(arg, value());
            if (threads < 1 || threads > kMaxRenderThreads || threads != std::floor(threads)) {
                fail("--threads takes a whole number from 1 to " +
                     std::to_string(kMaxRenderThreads));
            }
            options.threads = static_cast<int>(threads);
        } else if (arg == "--scale") {
            const std::string text = value();
            char* end = nullptr;
            const double scale = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !screenForScale(scale, options.screen)) {
                fail(
                    "--scale takes 1 to 4.5 in steps of 0.05, such as 1.5 or 2.25 (640 S and "
                    "480 S are then whole multiples of 8), not \"" +
                    text + "\"");
            }
            options.haveScale = true;
        } else if (arg == "--from") {
            const std::string text = value();
            options.fromRow = checkShowRow(arg, text, parseRowPosition(arg, text), false);
            options.haveFrom = true;
        } else if (arg == "--to") {
            const std::string text = value();
            options.toRow = checkShowRow(arg, text, parseRowPosition(arg, text), true);
            options.haveTo = true;
        } else if (arg == "--size") {
            const std::string text = value();
            int width = 0, height = 0;
            char extra = 0;
            if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &extra) != 2) {
                fail("--size takes WIDTHxHEIGHT, for example 1920x1080, not \"" + text + "\"");
            }
            if (width > 16384 || height > 16384) fail("--size takes at most 16384 either way");
            if (width % 2 || height % 2)
                fail("--size needs an even width and height (4:2:0 video)");
            options.width = width;
            options.height = height;
            options.haveSize = options.haveVideoOption = true;
        } else if (arg == "--codec") {
            options.codec = value();
            if (options.codec.empty()) fail("--codec needs a name");
            options.haveVideoOption = true;
        } else if (arg == "--bitrate") {
            const std::string text = value();
            const bool suffix = !text.empty() && (text.back() == 'k' || text.back() == 'M');
            const double number = parseNumber(arg, suffix ? text.substr(0, text.size() - 1) : text);
            const double rate = number * (!suffix ? 1.0 : text.back() == 'k' ? 1e3 : 1e6);
            if (rate < 1e5 || rate > 1e9) {
                fail("--bitrate takes 100k to 1000M bits a second, not \"" + text + "\"");
            }
            options.bitrate = std::lround(rate);
            options.haveVideoOption = true;
        } else if (arg == "--crf") {
            const double crf = parseNumber(arg, value());
            if (crf < 0 || crf > 63) fail("--crf takes 0 to 63");
            char text[32];
            std::snprintf(text, sizeof(text), "%g", crf);
            options.crf = text;
            options.haveVideoOption = true;
        } else if (arg == "--preset") {
            options.preset = value();
            if (options.preset.empty()) fail("--preset needs a name");
            options.haveVideoOption = true;
        } else if (arg == "--ffmpeg-args") {
            const std::vector<std::string> words = splitArguments(value());
            options.ffmpegArgs.insert(options.ffmpegArgs.end(), words.begin(), words.end());
            options.haveVideoOption = true;
        } else {
            fail("unknown argument \"" + std::string(argv[i]) + "\" (see --help)");
        }
    }
    const int modes = options.haveRow + !options.framesDir.empty() + !options.video.empty() +
                      !options.contactSheet.empty() + options.bench + options.renderOnly;
    if (modes != 1) {
        fail(
            "choose exactly one of --row, --frames, --video, --contact-sheet, --bench, "
            "--render-only");
    }
    if (options.haveRow && options.png.empty() && options.raw.empty()) {
        fail("--row needs --png FILE or --raw FILE");
    }
    if (!options.haveRow && (options.haveTime || options.haveSceneTime || !options.keys.empty() ||
                             !options.png.empty() || !options.raw.empty())) {
        fail("--time, --scene-time, --keys, --png and --raw go with --row");
    }
    if (options.haveRow && (options.haveFrom || options.haveTo)) {
        fail("--from and --to go with the modes that run the show");
    }
    if (options.force && options.framesDir.empty()) fail("--force goes with --frames");
    if (options.haveVideoOption && options.video.empty()) {
        fail("--size, --codec, --bitrate, --crf, --preset and --ffmpeg-args go with --video");
    }
    if (!options.haveSize) {
        options.width = options.screen.width;
        options.height = options.screen.height;
    } else if (!options.haveScale &&
               !largestScreenWithin(options.width, options.height, options.screen)) {
        fail("--size " + std::to_string(options.width) + "x" + std::to_string(options.height) +
             " is smaller than the picture's " + std::to_string(kScreenWidth) + "x" +
             std::to_string(kScreenHeight));
    } else if (options.width < options.screen.width || options.height < options.screen.height) {
        char scale[32];
        std::snprintf(scale, sizeof(scale), "%g", options.screen.scale);
        fail("--size " + std::to_string(options.width) + "x" + std::to_string(options.height) +
             " is smaller than the picture's " + std::to_string(options.screen.width) + "x" +
             std::to_string(options.screen.height) + " at --scale " + scale);
    }
    if (options.fromRow >= options.toRow) fail("--from must come before --to");
    if (!options.crf.empty() && options.bitrate > 0) {
        fail("--crf (constant quality) and --bitrate (an average rate) exclude each other");
    }
    if ((options.codec == "libx264" || options.codec == "libx265")) {
        if (options.crf.empty() && options.bitrate == 0) {
            options.bitrate = std::lround(kDefaultBitsPerPixel * options.width * options.height *
                                          options.fps / 1000.0) *
                              1000;
        }
        if (options.preset.empty()) options.preset = "medium";
    }
    return options;
}
