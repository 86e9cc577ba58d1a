// The capture tool: renders the show offline, without display and without sound, through the
// same frame function the demo runs. One frame (PNG or raw floats), the whole show (PNG frames
// or a video with the music), a contact sheet, or a per-scene timing table.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "image_output.h"
#include "label_font.h"
#include "render/screen.h"
#include "runtime/application.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "runtime/startup.h"
#include "runtime/sync.h"

namespace {

// A printf format: the framebuffer size is filled in.
const char* const kUsage =
    "usage: capture [--data DIR] MODE\n"
    "modes:\n"
    "  --row R [--time T] [--scene-time E] [--keys K] [--png FILE] [--raw FILE]\n"
    "        one frame at sync row R; T and E default to R / (44/3) seconds; K is a string of\n"
    "        free-camera keys (for example \"1a\") applied in order to the start camera.\n"
    "        --png writes what the display shows, --raw the framebuffer as %d x %d x 4\n"
    "        little-endian floats (r, g, b, depth)\n"
    "  --frames DIR [--fps N]        the whole show as numbered PNG frames\n"
    "  --video FILE [--fps N]        the whole show as a video with the music (needs ffmpeg)\n"
    "  --contact-sheet FILE [--sheet-bars N]\n"
    "        one PNG with a labelled picture every N bars (default 2)\n"
    "  --bench [--fps N]             render the whole show as fast as possible and print the\n"
    "        median and 95th percentile frame time of every scene\n"
    "  --data DIR                    the data directory (default: data beside the program)\n"
    "  --fps defaults to 60.\n";

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
    std::string video;
    std::string contactSheet;
    int sheetBars = 2;
    double fps = 60.0;
    bool bench = false;
};

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "capture: %s\n", message.c_str());
    std::exit(2);
}

double parseNumber(const char* option, const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value)) {
        fail(std::string(option) + " needs a number, not \"" + text + "\"");
    }
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    options.dataDir = defaultDataDir();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) fail(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::printf(kUsage, kScreenWidth, kScreenHeight);
            std::exit(0);
        } else if (arg == "--data") {
            options.dataDir = value();
        } else if (arg == "--row") {
            options.row = parseNumber("--row", value());
            options.haveRow = true;
        } else if (arg == "--time") {
            options.time = parseNumber("--time", value());
            options.haveTime = true;
        } else if (arg == "--scene-time") {
            options.sceneTime = parseNumber("--scene-time", value());
            options.haveSceneTime = true;
        } else if (arg == "--keys") {
            options.keys = value();
        } else if (arg == "--png") {
            options.png = value();
        } else if (arg == "--raw") {
            options.raw = value();
        } else if (arg == "--frames") {
            options.framesDir = value();
        } else if (arg == "--video") {
            options.video = value();
        } else if (arg == "--contact-sheet") {
            options.contactSheet = value();
        } else if (arg == "--sheet-bars") {
            const double bars = parseNumber("--sheet-bars", value());
            if (bars < 1 || bars > 64 || bars != std::floor(bars)) {
                fail("--sheet-bars takes a whole number from 1 to 64");
            }
            options.sheetBars = static_cast<int>(bars);
        } else if (arg == "--fps") {
            options.fps = parseNumber("--fps", value());
            if (options.fps < 1.0 || options.fps > 1000.0) fail("--fps takes 1 to 1000");
        } else if (arg == "--bench") {
            options.bench = true;
        } else {
            fail("unknown argument \"" + arg + "\" (see --help)");
        }
    }
    const int modes = options.haveRow + !options.framesDir.empty() + !options.video.empty() +
                      !options.contactSheet.empty() + options.bench;
    if (modes != 1) fail("choose exactly one of --row, --frames, --video, --contact-sheet, --bench");
    if (options.haveRow && options.png.empty() && options.raw.empty()) {
        fail("--row needs --png FILE or --raw FILE");
    }
    if (!options.haveRow && (options.haveTime || options.haveSceneTime || !options.keys.empty() ||
                             !options.png.empty() || !options.raw.empty())) {
        fail("--time, --scene-time, --keys, --png and --raw go with --row");
    }
    return options;
}

// The demo's start-up without music and display: same objects, same random draws.
struct Show {
    float* framebuffer = nullptr;
    StartupObjects objects{};
    SyncDevice* device = nullptr;
    DemoTracks tracks{};
};

void startShow(Show& show, const std::string& dataDir) {
    if (!std::filesystem::is_directory(dataDir)) fail("no data directory at " + dataDir);
    show.framebuffer = allocateFramebuffer();
    if (!show.framebuffer) fail("out of memory for the framebuffer");
    loadStartupAssets(show.objects, show.framebuffer, dataDir);
    show.device = createSyncDevice(dataPath(dataDir, "sync").c_str());
    if (!show.device || !getDemoTracks(show.device, show.tracks)) fail("sync failed, out of memory?");
    placeRandomObjects(show.objects, dataDir);
}

Matrix4 cameraFromKeys(const std::string& keys) {
    Application camera(nullptr, nullptr, "");
    camera.resetCamera();
    for (char c : keys) {
        // Letters reach the listener as their upper-case code whatever the shift state.
        const int key = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : static_cast<unsigned char>(c);
        camera.keyStroke(camera.display, key);
    }
    return camera.freeCamera();
}

// Frame n of a show captured at `fps`: the clocks as the demo's would read them.
FrameState showFrame(long n, double fps, const Matrix4& camera) {
    const double seconds = n / fps;
    return FrameState{seconds * ROWS_PER_SECOND, seconds, seconds, camera};
}

long showFrameCount(double fps) {
    long n = 0;
    while (showFrame(n, fps, Matrix4{}).row < kLastRow) ++n;
    return n;
}

class Progress {
public:
    Progress(const char* what, long total) : what_(what), total_(total), tty_(isatty(2)) {}
    void step(long done) {
        const int percent = static_cast<int>(100 * done / std::max(total_, 1L));
        if (percent == last_) return;
        last_ = percent;
        if (tty_) {
            const int filled = percent * 40 / 100;
            std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%  %ld/%ld", what_, filled,
                         "########################################", 40 - filled, "", percent,
                         done, total_);
            if (done == total_) std::fputc('\n', stderr);
        } else if (percent % 10 == 0) {
            std::fprintf(stderr, "%s: %d%%\n", what_, percent);
        }
    }

private:
    const char* what_;
    long total_;
    bool tty_;
    int last_ = -1;
};

void writeFramePng(const std::string& path, const float* framebuffer) {
    std::vector<uint32_t> words;
    convertFrame(framebuffer, words);
    std::string error;
    if (!writePng(path, wordsToImage(words, kScreenWidth, kScreenHeight), error)) fail(error);
}

int captureOne(const Options& options) {
    Show show;
    startShow(show, options.dataDir);
    const double defaultTime = options.row / ROWS_PER_SECOND;
    const FrameState frame{options.row, options.haveTime ? options.time : defaultTime,
                           options.haveSceneTime ? options.sceneTime : defaultTime,
                           cameraFromKeys(options.keys)};
    renderFrame(frame, show.tracks, show.objects);
    if (!options.raw.empty()) {
        FILE* file = std::fopen(options.raw.c_str(), "wb");
        if (!file) fail("cannot write " + options.raw);
        const size_t written = std::fwrite(show.framebuffer, sizeof(float), kScreenFloats, file);
        if (std::fclose(file) != 0 || written != static_cast<size_t>(kScreenFloats)) {
            fail("cannot write " + options.raw);
        }
    }
    if (!options.png.empty()) writeFramePng(options.png, show.framebuffer);
    return 0;
}

int captureFrames(const Options& options) {
    std::error_code error;
    std::filesystem::create_directories(options.framesDir, error);
    if (error) fail("cannot make the folder " + options.framesDir);
    Show show;
    startShow(show, options.dataDir);
    const Matrix4 camera = cameraFromKeys("");
    const long total = showFrameCount(options.fps);
    Progress progress("frames", total);
    for (long n = 0; n < total; ++n) {
        renderFrame(showFrame(n, options.fps, camera), show.tracks, show.objects);
        char name[32];
        std::snprintf(name, sizeof(name), "frame%05ld.png", n);
        writeFramePng((std::filesystem::path(options.framesDir) / name).string(), show.framebuffer);
        progress.step(n + 1);
    }
    return 0;
}

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string paths = path;
    size_t start = 0;
    while (start <= paths.size()) {
        const size_t end = std::min(paths.find(':', start), paths.size());
        const std::filesystem::path candidate =
            std::filesystem::path(paths.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int captureVideo(const Options& options) {
    if (!onPath("ffmpeg")) fail("--video needs ffmpeg on the PATH (or use --frames)");
    Show show;
    startShow(show, options.dataDir);
    char rate[32];
    std::snprintf(rate, sizeof(rate), "%g", options.fps);
    // XRGB8888 words are B, G, R, X in memory: ffmpeg's bgr0.
    const std::string command =
        std::string("ffmpeg -loglevel error -y -f rawvideo -pix_fmt bgr0 -s ") +
        std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + " -r " + rate +
        " -i - -i " + shellQuote(dataPath(options.dataDir, "demo110.mp3")) +
        " -map 0:v -map 1:a -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -c:a aac"
        " -b:a 192k -shortest " +
        shellQuote(options.video);
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) fail("cannot start ffmpeg");
    const Matrix4 camera = cameraFromKeys("");
    const long total = showFrameCount(options.fps);
    Progress progress("video", total);
    std::vector<uint32_t> words;
    for (long n = 0; n < total; ++n) {
        renderFrame(showFrame(n, options.fps, camera), show.tracks, show.objects);
        convertFrame(show.framebuffer, words);
        if (std::fwrite(words.data(), 4, words.size(), pipe) != words.size()) {
            pclose(pipe);
            fail("ffmpeg stopped taking frames");
        }
        progress.step(n + 1);
    }
    if (pclose(pipe) != 0) fail("ffmpeg failed to write " + options.video);
    return 0;
}

int captureContactSheet(const Options& options) {
    Show show;
    startShow(show, options.dataDir);
    const Matrix4 camera = cameraFromKeys("");
    constexpr int kColumns = 6, kScale = 4;
    constexpr int kThumbWidth = kScreenWidth / kScale, kThumbHeight = kScreenHeight / kScale;
    const int rowsPerPicture = options.sheetBars * 32;
    // One picture a beat into every N-th bar, once the scene change on the bar line is done.
    std::vector<double> sampleRows;
    for (double row = 8; row < kLastRow; row += rowsPerPicture) sampleRows.push_back(row);

    RgbImage sheet;
    sheet.width = kColumns * kThumbWidth;
    sheet.height = static_cast<int>((sampleRows.size() + kColumns - 1) / kColumns) * kThumbHeight;
    sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 0);

    // The show runs frame by frame at the capture rate so that the discs fall as in the demo.
    const long total = showFrameCount(options.fps);
    Progress progress("contact sheet", total);
    size_t next = 0;
    std::vector<uint32_t> words;
    for (long n = 0; n < total && next < sampleRows.size(); ++n) {
        const FrameState frame = showFrame(n, options.fps, camera);
        const int scene = renderFrame(frame, show.tracks, show.objects);
        progress.step(n + 1);
        if (frame.row < sampleRows[next]) continue;
        convertFrame(show.framebuffer, words);
        const int left = static_cast<int>(next % kColumns) * kThumbWidth;
        const int top = static_cast<int>(next / kColumns) * kThumbHeight;
        for (int y = 0; y < kThumbHeight; ++y) {
            for (int x = 0; x < kThumbWidth; ++x) {
                int sum[3] = {0, 0, 0};
                for (int sy = 0; sy < kScale; ++sy) {
                    for (int sx = 0; sx < kScale; ++sx) {
                        const uint32_t w =
                            words[(y * kScale + sy) * kScreenWidth + x * kScale + sx];
                        sum[0] += (w >> 16) & 255;
                        sum[1] += (w >> 8) & 255;
                        sum[2] += w & 255;
                    }
                }
                uint8_t* p = &sheet.rgb[(static_cast<size_t>(top + y) * sheet.width + left + x) * 3];
                for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(sum[c] / (kScale * kScale));
            }
        }
        const int bar = static_cast<int>(frame.row) / 32 + 1;
        const std::string label = "bar " + std::to_string(bar) + " scene " + std::to_string(scene);
        drawLabel(sheet, left + 2, top + kThumbHeight - 11, label, 1);
        ++next;
    }
    progress.step(total);
    std::string error;
    if (!writePng(options.contactSheet, sheet, error)) fail(error);
    return 0;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(std::ceil(fraction * values.size())) - 1;
    return values[std::min(index, values.size() - 1)];
}

int runBench(const Options& options) {
    Show show;
    startShow(show, options.dataDir);
    const Matrix4 camera = cameraFromKeys("");
    const long total = showFrameCount(options.fps);
    std::map<int, std::vector<double>> times;  // by scene number; other numbers under -1
    using Clock = std::chrono::steady_clock;
    for (long n = 0; n < total; ++n) {
        const Clock::time_point start = Clock::now();
        int scene = renderFrame(showFrame(n, options.fps, camera), show.tracks, show.objects);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!((scene >= 1 && scene <= 8) || scene == 10)) scene = -1;
        times[scene].push_back(ms);
    }
    std::printf("%-8s %8s %12s %12s\n", "scene", "frames", "median ms", "p95 ms");
    for (const auto& [scene, samples] : times) {
        const std::string name = scene < 0 ? "none" : std::to_string(scene);
        std::printf("%-8s %8zu %12.3f %12.3f\n", name.c_str(), samples.size(),
                    percentile(samples, 0.5), percentile(samples, 0.95));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (options.haveRow) return captureOne(options);
    if (!options.framesDir.empty()) return captureFrames(options);
    if (!options.video.empty()) return captureVideo(options);
    if (!options.contactSheet.empty()) return captureContactSheet(options);
    return runBench(options);
}
