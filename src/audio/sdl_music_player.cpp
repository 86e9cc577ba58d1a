// SDL2 output for the decoded music.
//
// The device pulls the PCM block through a callback, one buffer of 1024 sample frames (about
// 23 ms at 44.1 kHz) at a time. What is heard is estimated from the bytes handed over and the
// time of the last handoff (estimateHeardBytes): the buffer just handed over is taken to be
// the one starting to play. That is exact for a device that holds one buffer and at most one
// buffer early for one that holds more; SDL does not tell the real device latency.
#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audio/music_decoder.h"
#include "audio/pcm_music_player.h"

namespace {

constexpr int kBufferFrames = 1024;

// On a machine without a sound card ALSA prints a screenful of configuration errors while SDL
// probes it. This mutes ALSA's error reporting for the time of the probe; SDL's own error
// says what failed. ALSA is looked up at run time so that it is no build dependency.
class QuietAlsa {
public:
    QuietAlsa() {
        library_ = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
        if (library_)
            setHandler_ =
                reinterpret_cast<SetHandler>(dlsym(library_, "snd_lib_error_set_handler"));
        if (setHandler_) setHandler_(&ignore);
    }
    ~QuietAlsa() {
        if (setHandler_) setHandler_(nullptr);  // back to ALSA's default reporting
        if (library_) dlclose(library_);
    }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;

private:
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    static void ignore(const char*, int, const char*, int, const char*, ...) {}

    void* library_ = nullptr;
    SetHandler setHandler_ = nullptr;
};

class SdlAudioOutput final : public AudioOutput {
public:
    ~SdlAudioOutput() override { close(); }

    bool open(int rate) override {
        if (device_) return true;
        QuietAlsa quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return reportNoDevice();
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = kPcmChannels;
        want.samples = kBufferFrames;
        want.callback = &SdlAudioOutput::fill;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No format changes allowed: SDL converts if the hardware wants something else.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (!device_) {
            const bool result = reportNoDevice();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return result;
        }
        rate_ = rate;
        bufferBytes_ = have.size;
        return true;
    }

    void start(const int16_t* pcm, uint64_t bytes) override {
        if (!device_) return;
        SDL_LockAudioDevice(device_);
        pcm_ = reinterpret_cast<const uint8_t*>(pcm);
        pcmBytes_ = bytes;
        handedBytes_ = 0;
        handoff_ = Clock::now();
        SDL_UnlockAudioDevice(device_);
        SDL_PauseAudioDevice(device_, 0);
    }

    void stop() override {
        if (!device_) return;
        SDL_PauseAudioDevice(device_, 1);
        SDL_LockAudioDevice(device_);
        pcm_ = nullptr;
        pcmBytes_ = 0;
        handedBytes_ = 0;
        SDL_UnlockAudioDevice(device_);
    }

    bool heardBytes(uint64_t& bytes) override {
        if (!device_ || SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_PLAYING) return false;
        SDL_LockAudioDevice(device_);
        const uint64_t handed = handedBytes_;
        const Clock::time_point handoff = handoff_;
        SDL_UnlockAudioDevice(device_);
        const double since = std::chrono::duration<double>(Clock::now() - handoff).count();
        bytes = estimateHeardBytes(handed, bufferBytes_, since,
                                   static_cast<double>(rate_) * kPcmBytesPerFrame);
        return true;
    }

    void close() override {
        if (!device_) return;
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device_ = 0;
        pcm_ = nullptr;
        pcmBytes_ = 0;
        handedBytes_ = 0;
    }

private:
    using Clock = std::chrono::steady_clock;

    static bool reportNoDevice() {
        std::fprintf(stderr, "no audio output (%s), the music runs silently\n", SDL_GetError());
        return false;
    }

    // Runs on SDL's audio thread with the device lock held.
    static void SDLCALL fill(void* userdata, Uint8* stream, int len) {
        auto* self = static_cast<SdlAudioOutput*>(userdata);
        const uint64_t length = static_cast<uint64_t>(len);
        uint64_t copied = 0;
        if (self->pcm_ && self->handedBytes_ < self->pcmBytes_) {
            copied = std::min(length, self->pcmBytes_ - self->handedBytes_);
            std::memcpy(stream, self->pcm_ + self->handedBytes_, copied);
        }
        std::memset(stream + copied, 0, length - copied);  // signed 16-bit silence is 0
        self->handedBytes_ += length;
        self->handoff_ = Clock::now();
    }

    SDL_AudioDeviceID device_ = 0;
    int rate_ = 44100;
    uint64_t bufferBytes_ = 0;
    // Shared with the callback, under the device lock.
    const uint8_t* pcm_ = nullptr;
    uint64_t pcmBytes_ = 0;
    uint64_t handedBytes_ = 0;
    Clock::time_point handoff_{};
};

}  // namespace

MusicPlayer* createMusicPlayer() {
    return new PcmMusicPlayer(std::make_unique<SdlAudioOutput>());
}
