// --video: the range drawn by the frame farm, placed in the video's frame and fed to ffmpeg
// with the music. A range that reaches the show's end rings out: the last picture fades to
// black for as long as the music still plays.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "audio/music_decoder.h"
#include "failure.h"
#include "mode_support.h"
#include "modes.h"
#include "runtime/startup.h"
#include "video_encoder.h"

namespace fs = std::filesystem;

namespace {

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

}  // namespace

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
    if (options.codec == "libx264") args.insert(args.end(), {"-profile:v", "high"});
    if (!options.crf.empty()) args.insert(args.end(), {"-crf", options.crf});
    if (options.bitrate > 0) {
        // Peaks held to twice the average over a second: the encoder's level then allows them.
        const std::string peak = std::to_string(2 * options.bitrate);
        args.insert(args.end(),
                    {"-b:v", std::to_string(options.bitrate), "-maxrate", peak, "-bufsize", peak});
    }
    if (!options.preset.empty()) args.insert(args.end(), {"-preset", options.preset});
    // What video sites and party screens take: AAC-LC, stereo, 48 kHz (the music is 44.1 kHz).
    args.insert(args.end(), {"-c:a", "aac", "-profile:a", "aac_low", "-b:a", "256k", "-ar", "48000",
                             "-ac", "2"});
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
    // The video's frames: those drawn, then those of the fade.
    const long videoFrames = range.end - range.first + fadeFrames;
    Progress progress("video", videoFrames);
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
        progress.step(n - range.first + 1);
    }
    ffmpeg.finish();
    std::error_code error;
    if (fs::file_size(gPending.temp, error) == 0 || error) {
        fail("ffmpeg failed (it ended well but wrote nothing to " + gPending.temp + ")");
    }
    commitFile(options.video);
    progress.report(videoFrames, options.fps);
    return 0;
}
