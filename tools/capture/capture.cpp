// The capture tool: renders the show offline, without display and without sound, through the
// same frame function the demo runs. One frame (PNG or raw floats), the show or part of it (PNG
// frames or a video with the music), a contact sheet, or a per-scene timing table.
//
// Every file is written under a temporary name beside its final one and renamed when whole, so
// an interrupted or failed run leaves nothing under the final name. Frames before --from are
// stepped through without being drawn: the falling discs carry state from frame to frame.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/music_decoder.h"
#include "frame_farm.h"
#include "image_output.h"
#include "label_font.h"
#include "render/render_pool.h"
#include "render/screen.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "runtime/frame_times.h"
#include "runtime/free_camera.h"
#include "runtime/platform.h"
#include "runtime/show.h"
#include "runtime/startup.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: capture [--data DIR] MODE [OPTIONS]\n"
    "Every option also takes the form --option=value.\n"
    "modes:\n"
    "  --row R [--time T] [--scene-time E] [--keys K] [--png FILE] [--raw FILE]\n"
    "        one frame at sync row R; T and E default to R / (44/3) seconds; K is a string of\n"
    "        free-camera keys (for example \"1a\") applied in order to the start camera.\n"
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
    "        \"5:1\" row 128, \"47:2\" row 1480, the end. Frames before --from are stepped\n"
    "        through undrawn, so that the falling discs are where they would be.\n"
    "options of --video:\n"
    "  --size WxH       frame size, even both ways and no smaller than the picture (default:\n"
    "        the picture's own size). Without --scale the show is drawn at the largest scale\n"
    "        that fits: 1920x1080 holds 1440 x 1080 (scale 2.25), 3840x2160 2880 x 2160 (4.5).\n"
    "        The picture is enlarged by the largest whole factor that fits, pixels repeated\n"
    "        (without --scale only from 5760x4320 up), and centred on black: --scale 1 --size\n"
    "        1920x1080 shows 1280 x 960.\n"
    "  --codec NAME     ffmpeg's video encoder, -c:v (default libx264)\n"
    "  --crf N          ffmpeg's -crf, 0 to 63 (default 18 for libx264 and libx265, otherwise\n"
    "        only when given)\n"
    "  --preset NAME    ffmpeg's -preset (default medium for libx264 and libx265, otherwise\n"
    "        only when given)\n"
    "  --ffmpeg-args \"ARGS\"  more output options for ffmpeg, split at spaces ('' and \"\"\n"
    "        quote), placed last before the file name so that they override ours\n"
    "        The video is 4:2:0 (-pix_fmt yuv420p), converted from RGB with the BT.709 matrix\n"
    "        into limited (16-235) range and tagged BT.709 (colorspace, primaries, transfer,\n"
    "        range tv); the sound is AAC at 192 kbit/s; .mp4, .mov and .m4v files get\n"
    "        -movflags +faststart. When the range reaches the show's end (no --to, or --to\n"
    "        47:2) the music rings out: the last picture fades linearly to black until the\n"
    "        music ends, so the video is as long as the music (its length found by decoding\n"
    "        it as the demo does). Otherwise the music is cut to the range.\n"
    "other options:\n"
    "  --data DIR       the data directory (default: data beside the program)\n"
    "  --version        print the version and exit\n"
    "  --help           print this text and exit\n"
    "Long runs report frames done (those rendered before --from included), frames per\n"
    "second and time left on stderr: one updating line on a terminal, otherwise a line every\n"
    "10%. Every file is written under a hidden temporary name beside it and renamed when\n"
    "complete. Ctrl+C or SIGTERM stops a run, removes the file being written (a frames folder\n"
    "keeps the frames already finished) and ends with status 130 or 143. A failure, ffmpeg's\n"
    "included (\"capture: ffmpeg failed (exit status or signal: its last message)\"), ends\n"
    "with status 2 and leaves nothing under the final name.\n";

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
    std::vector<std::string> ffmpegArgs;
    bool haveVideoOption = false;
};

// What an interrupt or a failure must undo: the file being written and a running ffmpeg.
struct Pending {
    std::string temp;
    FrameFarm* farm = nullptr;  // frames being drawn and written, each under its own temporary name
    pid_t ffmpeg = -1;
    int pipe = -1;
};
Pending gPending;
volatile std::sig_atomic_t gSignal = 0;
bool gProgressLineOpen = false;  // a terminal progress line without its newline yet

void onSignal(int signal) {
    gSignal = signal;
}

void installSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a write blocked on ffmpeg returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A dead ffmpeg shows as EPIPE on the write, reported with its exit status.
    std::signal(SIGPIPE, SIG_IGN);
}

void cleanUp() {
    if (gPending.farm != nullptr) gPending.farm->abandon();
    if (gPending.pipe >= 0) close(gPending.pipe);
    gPending.pipe = -1;
    if (gPending.ffmpeg > 0) {
        kill(gPending.ffmpeg, SIGKILL);
        while (waitpid(gPending.ffmpeg, nullptr, 0) < 0 && errno == EINTR) {
        }
        gPending.ffmpeg = -1;
    }
    if (!gPending.temp.empty()) std::remove(gPending.temp.c_str());
    gPending.temp.clear();
}

void endProgressLine() {
    if (gProgressLineOpen) std::fputc('\n', stderr);
    gProgressLineOpen = false;
}

[[noreturn]] void fail(const std::string& message) {
    cleanUp();
    endProgressLine();
    std::fprintf(stderr, "capture: %s\n", message.c_str());
    std::exit(2);
}

void checkInterrupt() {
    if (!gSignal) return;
    const int signal = gSignal;
    cleanUp();
    endProgressLine();
    std::fprintf(stderr, "capture: stopped by %s\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
    std::exit(128 + signal);
}

// `path` with a hidden temporary name in the same folder, keeping the extension (ffmpeg picks
// the container by it).
std::string tempBeside(const std::string& path) {
    const fs::path target(path);
    const std::string name = "." + target.stem().string() + ".part-" + std::to_string(getpid()) +
                             target.extension().string();
    return (target.parent_path() / name).string();
}

void beginFile(const std::string& path) {
    gPending.temp = tempBeside(path);
}

void commitFile(const std::string& path) {
    if (std::rename(gPending.temp.c_str(), path.c_str()) != 0) {
        fail("cannot rename " + gPending.temp + " to " + path + ": " + std::strerror(errno));
    }
    gPending.temp.clear();
}

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
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        const double row = parseNumber(option, text);
        if (row < 0) fail(option + " takes a row from 0, not " + text);
        return row;
    }
    const double bar = parseNumber(option, text.substr(0, colon));
    const double beat = parseNumber(option, text.substr(colon + 1));
    if (bar < 1 || bar != std::floor(bar) || beat < 1 || beat > 4 || beat != std::floor(beat)) {
        fail(option + " takes BAR:BEAT with BAR from 1 and BEAT 1 to 4, not \"" + text + "\"");
    }
    return (bar - 1) * 32 + (beat - 1) * 8;
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
            options.row = parseNumber(arg, value());
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
            options.fromRow = parseRowPosition(arg, value());
            options.haveFrom = true;
        } else if (arg == "--to") {
            options.toRow = parseRowPosition(arg, value());
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
        fail("--size, --codec, --crf, --preset and --ffmpeg-args go with --video");
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
    if (options.toRow > kLastRow) fail("--to: the show ends at row 1480 (47:2)");
    if (options.fromRow >= options.toRow) fail("--from must come before --to");
    if ((options.codec == "libx264" || options.codec == "libx265")) {
        if (options.crf.empty()) options.crf = "18";
        if (options.preset.empty()) options.preset = "medium";
    }
    return options;
}

// The show's assets, loaded once and shared by every show of the run.
struct LoadedAssets {
    ShowAssets assets;
    bool loaded = false;
    ~LoadedAssets() {
        if (loaded) freeShowAssets(assets);
    }
};

const ShowAssets& showAssets(const Options& options) {
    static LoadedAssets once;
    if (!once.loaded) {
        if (!fs::is_directory(options.dataDir)) fail("no data directory at " + options.dataDir);
        if (!loadShowAssets(once.assets, options.dataDir)) std::exit(2);
        once.loaded = true;
    }
    return once.assets;
}

// A show ended when it goes out of scope.
struct SilentShow : Show {
    ~SilentShow() { endShow(*this); }
};

// The demo's start-up without music and display, at the chosen size: the same assets, the same
// random draws.
void startSilentShow(Show& show, const Options& options, int threads) {
    if (!startShow(show, showAssets(options), nullptr, options.screen, threads)) std::exit(2);
    checkInterrupt();
}

Matrix4 cameraFromKeys(const std::string& keys) {
    return cameraMatrix(cameraAfterKeys(keys.c_str()));
}

// Frame n of a show captured at `fps`: the clocks as the demo's would read them.
FrameState showFrame(long n, double fps, const Matrix4& camera) {
    const double seconds = n / fps;
    return FrameState{seconds * ROWS_PER_SECOND, seconds, seconds, camera};
}

// The first frame whose row is `row` or later, compared exactly as the frames are made.
long frameAtRow(double row, double fps) {
    long n = std::max(0L, static_cast<long>(row / ROWS_PER_SECOND * fps) - 2);
    while (showFrame(n, fps, Matrix4{}).row < row) ++n;
    return n;
}

// Frames [first, end) of the show at the capture rate.
struct FrameRange {
    long first;
    long end;
};

FrameRange frameRange(const Options& options) {
    return {frameAtRow(options.fromRow, options.fps), frameAtRow(options.toRow, options.fps)};
}

class Progress {
public:
    // Frames are numbered from `first` to total - 1; the line counts them from 1.
    Progress(const char* what, long total, long first = 0)
        : what_(what),
          total_(std::max(total - first, 1L)),
          first_(first),
          tty_(isatty(2)),
          start_(Clock::now()) {}
    void step(long number) {
        const long done = number - first_;
        const Clock::time_point now = Clock::now();
        const int tenth = static_cast<int>(10 * done / total_);
        if (tty_) {
            if (done != total_ && now - lastPrint_ < std::chrono::milliseconds(250)) return;
        } else if (tenth == lastTenth_) {
            return;
        }
        lastPrint_ = now;
        lastTenth_ = tenth;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? done / seconds : 0.0;
        const long left = rate > 0 ? std::lround((total_ - done) / rate) : 0;
        char line[160];
        std::snprintf(line, sizeof(line),
                      "%s: %ld/%ld frames (%d%%), %.1f frames/s, %ld:%02ld left", what_, done,
                      total_, static_cast<int>(100 * done / total_), rate, left / 60, left % 60);
        if (tty_) {
            std::fprintf(stderr, "\r%s\033[K", line);
            gProgressLineOpen = true;
            if (done == total_) endProgressLine();
        } else {
            std::fprintf(stderr, "%s\n", line);
        }
    }

    // The rate of the whole run on its own line: `frames` of show time at `fps`, all rendered,
    // whether written or not.
    void report(long frames, double fps) {
        endProgressLine();
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        const double rate = seconds > 0 ? frames / seconds : 0.0;
        std::fprintf(stderr, "%s: %ld frames in %.1f s, %.1f frames/s, %.1fx real time\n", what_,
                     frames, seconds, rate, rate / fps);
    }

private:
    using Clock = std::chrono::steady_clock;
    const char* what_;
    long total_;
    long first_;
    bool tty_;
    Clock::time_point start_;
    Clock::time_point lastPrint_{};
    int lastTenth_ = -1;
};

void writeImageFile(const std::string& path, const RgbImage& image) {
    beginFile(path);
    std::string error;
    if (!writePng(gPending.temp, image, error)) fail(error);
    commitFile(path);
}

void writeFramePng(const std::string& path, const Show& show) {
    const ScreenSize& screen = show.target.screen;
    std::vector<uint32_t> words;
    convertFrame(show.target.framebuffer, screen, words);
    writeImageFile(path, wordsToImage(words, screen.width, screen.height));
}

int captureOne(const Options& options) {
    SilentShow show;
    startSilentShow(show, options, options.threads);
    const double defaultTime = options.row / ROWS_PER_SECOND;
    const FrameState frame{options.row, options.haveTime ? options.time : defaultTime,
                           options.haveSceneTime ? options.sceneTime : defaultTime,
                           cameraFromKeys(options.keys)};
    renderFrame(frame, show);
    if (!options.raw.empty()) {
        beginFile(options.raw);
        FILE* file = std::fopen(gPending.temp.c_str(), "wb");
        if (!file) fail("cannot write " + options.raw + ": " + std::strerror(errno));
        const size_t floats = static_cast<size_t>(show.target.screen.floats());
        const size_t written = std::fwrite(show.target.framebuffer, sizeof(float), floats, file);
        if (std::fclose(file) != 0 || written != floats) {
            fail("cannot write " + options.raw);
        }
        commitFile(options.raw);
    }
    if (!options.png.empty()) writeFramePng(options.png, show);
    return 0;
}

// One show a thread, all of one set of assets. Each brings the falling discs to its frame's
// row itself, so every worker draws exactly the frame the one-show loop would.
std::unique_ptr<FrameFarm> startFarm(const Options& options, bool pictures) {
    const int workers = chosenRenderThreads(options.threads);
    std::vector<std::unique_ptr<Show>> shows;
    for (int i = 0; i < workers; ++i) {
        shows.push_back(std::make_unique<Show>());
        startSilentShow(*shows.back(), options, 1);
    }
    auto farm = std::make_unique<FrameFarm>(std::move(shows), pictures);
    gPending.farm = farm.get();
    return farm;
}

void stopFarm(std::unique_ptr<FrameFarm>& farm) {
    gPending.farm = nullptr;
    farm->abandon();
    farm.reset();
}

// Frames range.first .. range.end - 1 through the farm, a few ahead of the one taken back:
// pathOf(n) names frame n's PNG (no function: none), consume(n, words) sees each in order.
void runFarm(FrameFarm& farm, const FrameRange& range, double fps, const Matrix4& camera,
             Progress& progress, const std::function<std::string(long)>& pathOf,
             const std::function<void(long, const std::vector<uint32_t>&)>& consume) {
    long queued = range.first;
    for (long n = range.first; n < range.end; ++n) {
        while (queued < range.end && queued - n < farm.capacity()) {
            const std::string path = pathOf ? pathOf(queued) : std::string();
            farm.queue(queued, showFrame(queued, fps, camera), path,
                       path.empty() ? std::string() : tempBeside(path));
            ++queued;
        }
        const std::vector<uint32_t>* words = farm.take(n);
        if (words == nullptr) fail(farm.error());
        if (consume) consume(n, *words);
        farm.release(n);
        checkInterrupt();
        progress.step(n + 1);
    }
}

// frameNNNNN.png, five digits or more.
bool isFrameName(const std::string& name) {
    const size_t prefix = 5, suffix = 4;
    if (name.size() < prefix + 5 + suffix || name.rfind("frame", 0) != 0 ||
        name.compare(name.size() - suffix, suffix, ".png") != 0) {
        return false;
    }
    return std::all_of(name.begin() + prefix, name.end() - suffix,
                       [](char c) { return c >= '0' && c <= '9'; });
}

int captureFrames(const Options& options) {
    std::error_code error;
    fs::create_directories(options.framesDir, error);
    if (error) fail("cannot make the folder " + options.framesDir + ": " + error.message());
    std::vector<fs::path> old;
    for (const auto& entry : fs::directory_iterator(options.framesDir, error)) {
        if (isFrameName(entry.path().filename().string())) old.push_back(entry.path());
    }
    if (error) fail("cannot read the folder " + options.framesDir + ": " + error.message());
    if (!old.empty() && !options.force) {
        fail(options.framesDir + " already holds " + std::to_string(old.size()) +
             " frameNNNNN.png files; --force deletes them first");
    }
    for (const auto& path : old) {
        if (!fs::remove(path, error))
            fail("cannot delete " + path.string() + ": " + error.message());
    }
    std::unique_ptr<FrameFarm> farm = startFarm(options, true);
    const Matrix4 camera = cameraFromKeys("");
    const FrameRange range = frameRange(options);
    Progress progress("frames", range.end, range.first);
    auto pathOf = [&](long n) {
        char name[32];
        std::snprintf(name, sizeof(name), "frame%05ld.png", n - range.first);
        return (fs::path(options.framesDir) / name).string();
    };
    runFarm(*farm, range, options.fps, camera, progress, pathOf, nullptr);
    stopFarm(farm);
    progress.report(range.end - range.first, options.fps);
    return 0;
}

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string paths = path;
    size_t start = 0;
    while (start <= paths.size()) {
        const size_t end = std::min(paths.find(':', start), paths.size());
        const fs::path candidate = fs::path(paths.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// The picture (picture.width x picture.height) enlarged `factor` times and centred in
// width x height.
struct VideoFrame {
    int width, height, factor, left, top;
    ScreenSize picture;
    std::vector<uint32_t> words;  // borders black, set once
};

VideoFrame makeVideoFrame(int width, int height, const ScreenSize& picture) {
    VideoFrame frame{width, height, 1, 0, 0, picture, {}};
    frame.factor = std::min(width / picture.width, height / picture.height);
    frame.left = (width - picture.width * frame.factor) / 2;
    frame.top = (height - picture.height * frame.factor) / 2;
    frame.words.assign(static_cast<size_t>(width) * height, 0);
    return frame;
}

// Nearest neighbour, each channel scaled by brightness/256 (256: unchanged).
void placePicture(const std::vector<uint32_t>& picture, int brightness, VideoFrame& frame) {
    const int pictureWidth = frame.picture.width;
    for (int y = 0; y < frame.picture.height; ++y) {
        uint32_t* out =
            &frame.words[static_cast<size_t>(frame.top + y * frame.factor) * frame.width +
                         frame.left];
        const uint32_t* in = &picture[static_cast<size_t>(y) * pictureWidth];
        for (int x = 0; x < pictureWidth; ++x) {
            uint32_t w = in[x];
            if (brightness < 256) {
                const uint32_t r = (((w >> 16) & 255) * brightness + 128) >> 8;
                const uint32_t g = (((w >> 8) & 255) * brightness + 128) >> 8;
                const uint32_t b = ((w & 255) * brightness + 128) >> 8;
                w = (r << 16) | (g << 8) | b;
            }
            std::fill_n(out + x * frame.factor, frame.factor, w);
        }
        for (int copy = 1; copy < frame.factor; ++copy) {
            std::copy_n(out, pictureWidth * frame.factor, out + copy * frame.width);
        }
    }
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status)) + ", " +
               strsignal(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

std::string lastLine(FILE* log) {
    std::string text, line;
    std::rewind(log);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), log)) > 0) text.append(buffer, got);
    for (size_t end = text.size(); end > 0;) {
        const size_t start = text.rfind('\n', end - 1);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        line = text.substr(from, end - from);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) return line;
        if (start == std::string::npos) break;
        end = start;
    }
    return line;
}

class Ffmpeg {
public:
    // Starts ffmpeg in its own process group (a Ctrl+C on the terminal reaches capture only,
    // which then stops ffmpeg itself), reading frames from a pipe, its stderr into a file.
    void start(const std::vector<std::string>& args) {
        log_ = std::tmpfile();
        if (!log_)
            fail(std::string("cannot make a file for ffmpeg's messages: ") + std::strerror(errno));
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            fail(std::string("cannot make a pipe: ") + std::strerror(errno));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fileno(log_), 2);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults, none;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(
            &attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        const int result =
            posix_spawnp(&pid, "ffmpeg", &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(fds[0]);
        if (result != 0) {
            close(fds[1]);
            fail(std::string("cannot start ffmpeg: ") + std::strerror(result));
        }
        gPending.ffmpeg = pid;
        gPending.pipe = fds[1];
    }

    void write(const void* data, size_t bytes) {
        const char* p = static_cast<const char*>(data);
        while (bytes > 0) {
            const ssize_t done = ::write(gPending.pipe, p, bytes);
            if (done < 0 && errno == EINTR) {
                checkInterrupt();
                continue;
            }
            if (done <= 0) {
                const int error = errno;
                finish(std::string("stopped reading frames: ") + std::strerror(error));
            }
            p += done;
            bytes -= static_cast<size_t>(done);
        }
    }

    // Closes the pipe and waits; on failure ends the program with ffmpeg's reason.
    void finish(const std::string& trouble = "") {
        close(gPending.pipe);
        gPending.pipe = -1;
        int status = 0;
        while (waitpid(gPending.ffmpeg, &status, 0) < 0) {
            if (errno != EINTR) fail(std::string("lost ffmpeg: ") + std::strerror(errno));
            checkInterrupt();
        }
        gPending.ffmpeg = -1;
        checkInterrupt();
        if (trouble.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
        std::string reason = describeStatus(status);
        if (!trouble.empty()) reason = trouble + ", " + reason;
        const std::string line = lastLine(log_);
        if (!line.empty()) reason += ": " + line;
        fail("ffmpeg failed (" + reason + ")");
    }

private:
    FILE* log_ = nullptr;
};

double musicSeconds(const std::string& path) {
    // Decoded as the demo plays it: gapless, so the length is the song's own.
    constexpr int kRate = 44100;
    std::vector<int16_t> pcm;
    const int code = decodeMusicFile(path.c_str(), kRate, pcm);
    if (code != kMusicOk) fail(path + ": " + musicErrorText(code));
    return static_cast<double>(pcm.size() / kPcmChannels) / kRate;
}

std::string formatNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.6f", value);
    return text;
}

int captureVideo(const Options& options) {
    if (!onPath("ffmpeg")) fail("--video needs ffmpeg on the PATH (or use --frames)");
    if (fs::is_directory(options.video)) fail(options.video + " is a folder");
    std::unique_ptr<FrameFarm> farm = startFarm(options, true);
    const std::string music = dataPath(options.dataDir, kMusicFile);
    const FrameRange range = frameRange(options);
    if (range.first >= range.end) fail("the range holds no frame at this --fps");
    // The music rings out when the range reaches the end: the last picture fades to black.
    const bool ringOut = options.toRow >= kLastRow;
    long fadeFrames = 0;
    if (ringOut) {
        const long musicFrames =
            static_cast<long>(std::ceil(musicSeconds(music) * options.fps - 1e-6));
        fadeFrames = std::max(0L, musicFrames - range.end);
    }
    checkInterrupt();

    char rate[32];
    std::snprintf(rate, sizeof(rate), "%g", options.fps);
    const std::string size = std::to_string(options.width) + "x" + std::to_string(options.height);
    std::vector<std::string> args = {
        "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
        // XRGB8888 words are B, G, R, X in memory: ffmpeg's bgr0.
        "-f", "rawvideo", "-pix_fmt", "bgr0", "-s", size, "-framerate", rate, "-i", "pipe:0"};
    if (range.first > 0) {
        args.insert(args.end(), {"-ss", formatNumber(range.first / options.fps)});
    }
    if (!ringOut) {
        args.insert(args.end(), {"-t", formatNumber((range.end - range.first) / options.fps)});
    }
    args.insert(args.end(),
                {"-i", music, "-map", "0:v:0", "-map", "1:a:0",
                 // The sRGB-ish picture into BT.709 limited range, tagged so.
                 "-vf",
                 "scale=out_color_matrix=bt709:out_range=tv:"
                 "flags=bicubic+accurate_rnd+full_chroma_int",
                 "-pix_fmt", "yuv420p", "-colorspace", "bt709", "-color_primaries", "bt709",
                 "-color_trc", "bt709", "-color_range", "tv", "-c:v", options.codec});
    if (!options.crf.empty()) args.insert(args.end(), {"-crf", options.crf});
    if (!options.preset.empty()) args.insert(args.end(), {"-preset", options.preset});
    args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
    std::string extension = fs::path(options.video).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".mp4" || extension == ".mov" || extension == ".m4v") {
        args.insert(args.end(), {"-movflags", "+faststart"});
    }
    args.insert(args.end(), options.ffmpegArgs.begin(), options.ffmpegArgs.end());
    beginFile(options.video);
    args.push_back(gPending.temp);

    Ffmpeg ffmpeg;
    ffmpeg.start(args);
    const Matrix4 camera = cameraFromKeys("");
    Progress progress("video", range.end + fadeFrames, range.first);
    VideoFrame frame = makeVideoFrame(options.width, options.height, options.screen);
    std::vector<uint32_t> last;  // the picture that fades out
    runFarm(*farm, range, options.fps, camera, progress, nullptr,
            [&](long n, const std::vector<uint32_t>& words) {
                placePicture(words, 256, frame);
                ffmpeg.write(frame.words.data(), frame.words.size() * 4);
                if (n == range.end - 1) last = words;
            });
    stopFarm(farm);
    for (long n = range.end; n < range.end + fadeFrames; ++n) {
        placePicture(last, static_cast<int>(256 * (fadeFrames - (n - range.end) - 1) / fadeFrames),
                     frame);
        ffmpeg.write(frame.words.data(), frame.words.size() * 4);
        checkInterrupt();
        progress.step(n + 1);
    }
    ffmpeg.finish();
    std::error_code error;
    if (fs::file_size(gPending.temp, error) == 0 || error) {
        fail("ffmpeg failed (it ended well but wrote nothing to " + gPending.temp + ")");
    }
    commitFile(options.video);
    progress.report(range.end + fadeFrames - range.first, options.fps);
    return 0;
}

int captureContactSheet(const Options& options) {
    SilentShow show;
    startSilentShow(show, options, options.threads);
    const Matrix4 camera = cameraFromKeys("");
    // A thumbnail is the frame shrunk four times each way, so larger and sharper at a larger
    // scale; its label grows by the whole part of the scale.
    const ScreenSize& screen = show.target.screen;
    constexpr int kColumns = 6, kScale = 4;
    const int thumbWidth = screen.width / kScale, thumbHeight = screen.height / kScale;
    const int labelScale = std::max(1, static_cast<int>(screen.scale));
    const int rowsPerPicture = options.sheetBars * 32;
    // One picture a beat into every N-th bar, once the scene change on the bar line is done.
    std::vector<double> sampleRows;
    for (double row = options.fromRow + 8; row < options.toRow; row += rowsPerPicture) {
        sampleRows.push_back(row);
    }
    if (sampleRows.empty())
        fail("the range is shorter than a beat: no picture to put on the sheet");

    RgbImage sheet;
    sheet.width = kColumns * thumbWidth;
    sheet.height = static_cast<int>((sampleRows.size() + kColumns - 1) / kColumns) * thumbHeight;
    sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 0);

    // Each picture is the first frame at the capture rate at or after its row.
    Progress progress("contact sheet", static_cast<long>(sampleRows.size()));
    std::vector<uint32_t> words;
    for (size_t next = 0; next < sampleRows.size(); ++next) {
        const FrameState frame =
            showFrame(frameAtRow(sampleRows[next], options.fps), options.fps, camera);
        const int scene = renderFrame(frame, show);
        checkInterrupt();
        progress.step(static_cast<long>(next) + 1);
        convertFrame(show.target.framebuffer, screen, words);
        const int left = static_cast<int>(next % kColumns) * thumbWidth;
        const int top = static_cast<int>(next / kColumns) * thumbHeight;
        for (int y = 0; y < thumbHeight; ++y) {
            for (int x = 0; x < thumbWidth; ++x) {
                int sum[3] = {0, 0, 0};
                for (int sy = 0; sy < kScale; ++sy) {
                    for (int sx = 0; sx < kScale; ++sx) {
                        const uint32_t w =
                            words[static_cast<size_t>(y * kScale + sy) * screen.width + x * kScale +
                                  sx];
                        sum[0] += (w >> 16) & 255;
                        sum[1] += (w >> 8) & 255;
                        sum[2] += w & 255;
                    }
                }
                uint8_t* p =
                    &sheet.rgb[(static_cast<size_t>(top + y) * sheet.width + left + x) * 3];
                for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(sum[c] / (kScale * kScale));
            }
        }
        const int bar = static_cast<int>(frame.row) / 32 + 1;
        const std::string label = "bar " + std::to_string(bar) + " scene " + std::to_string(scene);
        drawLabel(sheet, left + 2 * labelScale, top + thumbHeight - 11 * labelScale, label,
                  labelScale);
    }
    writeImageFile(options.contactSheet, sheet);
    return 0;
}

int runBench(const Options& options) {
    SilentShow show;
    startSilentShow(show, options, options.threads);
    const ScreenSize& screen = show.target.screen;
    const int threads = chosenRenderThreads(options.threads);
    // No spaces inside the size: readers of the table take a line whose third field is a
    // number for a scene's row.
    std::printf("%dx%d (scale %g), %d thread%s\n", screen.width, screen.height, screen.scale,
                threads, threads == 1 ? "" : "s");
    const Matrix4 camera = cameraFromKeys("");
    const FrameRange range = frameRange(options);
    Progress progress("bench", range.end, range.first);
    FrameTimes times;
    for (long n = range.first; n < range.end; ++n) {
        timeFrame(showFrame(n, options.fps, camera), show, times);
        checkInterrupt();
        progress.step(n + 1);
    }
    printFrameTimes(times, options.fps);
    return 0;
}

int renderOnly(const Options& options) {
    std::unique_ptr<FrameFarm> farm = startFarm(options, false);
    const Matrix4 camera = cameraFromKeys("");
    const FrameRange range = frameRange(options);
    Progress progress("render", range.end, range.first);
    runFarm(*farm, range, options.fps, camera, progress, nullptr, nullptr);
    stopFarm(farm);
    progress.report(range.end - range.first, options.fps);
    return 0;
}

}  // namespace

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
