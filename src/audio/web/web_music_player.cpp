#include "audio/web/web_music_player.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

// The JavaScript half (web_audio.js).
extern "C" {
// 1 when the page has a running audio context.
int webAudioAvailable();
// Sample frames at `rate` of the music the page decoded from `path`; -1 when the page could
// not decode it, -2 when it has no decoded music for that path.
double webAudioStreamFrames(const char* path, int rate);
// Seconds into the music at which playback starts (0 but for tests that start near the end).
double webAudioStartSeconds();
void webAudioPlay();
// Seconds of the music that have left the output device; negative once the device stopped.
double webAudioHeardSeconds();
void webAudioStop();
}

namespace {

class WebMusicPlayer final : public MusicPlayer {
public:
    bool init(int frequency) override {
        rate_ = frequency;
        device_ = webAudioAvailable() != 0;
        initialized_ = true;
        return true;
    }

    bool openStream(const char* path) override {
        error_ = kMusicOk;
        if (!initialized_) return fail(kMusicNotInit);
        // The page put every data file in the module's file system: no file, no music.
        FILE* file = std::fopen(path, "rb");
        if (!file) return fail(kMusicFileOpen);
        std::fclose(file);
        const double frames = webAudioStreamFrames(path, rate_);
        if (frames == -1.0) return fail(kMusicFormat);
        // Not decoded (no Web Audio): the silent clock runs to the show's end uncapped.
        streamBytes_ = frames >= 0.0 ? static_cast<uint64_t>(frames) * kBytesPerFrame
                                     : std::numeric_limits<uint64_t>::max();
        if (frames < 0.0) device_ = false;
        open_ = true;
        return true;
    }

    int errorCode() const override { return error_; }

    void play() override {
        if (!open_ || playing_) return;
        playing_ = true;
        lastPosition_ = 0;
        const uint64_t startBytes = secondsToBytes(webAudioStartSeconds());
        if (device_) {
            webAudioPlay();
        } else {
            startSilent(startBytes);
        }
    }

    uint64_t position() override {
        if (!playing_) return 0;
        uint64_t bytes = 0;
        if (device_) {
            const double heard = webAudioHeardSeconds();
            if (heard < 0.0) {
                // The device stopped: the show goes on silently from where it was.
                webAudioStop();
                device_ = false;
                startSilent(lastPosition_);
            } else {
                bytes = secondsToBytes(heard);
            }
        }
        if (!device_) {
            const double seconds =
                std::chrono::duration<double>(Clock::now() - silentStart_).count();
            bytes = silentBase_ + secondsToBytes(seconds);
        }
        if (bytes < lastPosition_) bytes = lastPosition_;
        if (bytes > streamBytes_) bytes = streamBytes_ / kBytesPerFrame * kBytesPerFrame;
        lastPosition_ = bytes;
        return bytes;
    }

    double bytesToSeconds(uint64_t bytes) const override {
        return static_cast<double>(bytes) / (static_cast<double>(rate_) * kBytesPerFrame);
    }

    void update() override {}

    void close() override {
        if (playing_ && device_) webAudioStop();
        playing_ = false;
        open_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr uint64_t kBytesPerFrame = 4;

    bool fail(int error) {
        error_ = error;
        return false;
    }

    uint64_t secondsToBytes(double seconds) const {
        if (!(seconds > 0.0)) return 0;
        return static_cast<uint64_t>(std::floor(seconds * rate_)) * kBytesPerFrame;
    }

    void startSilent(uint64_t fromBytes) {
        silentStart_ = Clock::now();
        silentBase_ = fromBytes;
    }

    int rate_ = 44100;
    int error_ = kMusicOk;
    bool initialized_ = false;
    bool device_ = false;
    bool open_ = false;
    bool playing_ = false;
    uint64_t streamBytes_ = 0;
    Clock::time_point silentStart_{};
    uint64_t silentBase_ = 0;
    uint64_t lastPosition_ = 0;
};

}  // namespace

MusicPlayer* createWebMusicPlayer() {
    return new WebMusicPlayer();
}
