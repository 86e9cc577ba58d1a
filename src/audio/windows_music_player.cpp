// Windows output for the decoded music: the wave-out device of winmm.
//
// The whole PCM block goes to the device as one buffer, so nothing needs feeding per frame
// and the device never starves. What has been heard is the device's own count of bytes
// played (waveOutGetPosition in TIME_BYTES), not an estimate. A device that opens but whose
// count stands still (a null driver) counts as stopped, and the player goes on silently on
// the real-time clock.
#include <windows.h>
// (after windows.h, whose types it uses)
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>

#include "audio/music_decoder.h"
#include "audio/pcm_music_player.h"

namespace {

// How long the played count may stand still, before the end of the block, while the device
// claims to play.
constexpr double kStallSeconds = 2.0;

class WaveOutput final : public AudioOutput {
public:
    ~WaveOutput() override { close(); }

    bool open(int rate) override {
        if (device_ != nullptr) return true;
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = kPcmChannels;
        format.nSamplesPerSec = static_cast<DWORD>(rate);
        format.wBitsPerSample = 16;
        format.nBlockAlign = kPcmBytesPerFrame;
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        const MMRESULT result = waveOutOpen(&device_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
        if (result != MMSYSERR_NOERROR) {
            device_ = nullptr;
            std::fprintf(stderr, "no audio output (wave-out error %u), the music runs silently\n",
                         static_cast<unsigned>(result));
            return false;
        }
        rate_ = rate;
        return true;
    }

    void start(const int16_t* pcm, uint64_t bytes) override {
        stop();
        if (device_ == nullptr || pcm == nullptr || bytes == 0) return;
        // One buffer holds at most 4 GiB; longer music than that (about 6.7 hours at
        // 44.1 kHz) plays its first 4 GiB.
        const uint64_t length = std::min<uint64_t>(
            bytes, std::numeric_limits<DWORD>::max() & ~DWORD{kPcmBytesPerFrame - 1});
        header_ = WAVEHDR{};
        header_.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(pcm));
        header_.dwBufferLength = static_cast<DWORD>(length);
        if (waveOutPrepareHeader(device_, &header_, sizeof header_) != MMSYSERR_NOERROR) {
            failed_ = true;
            return;
        }
        prepared_ = true;
        blockBytes_ = length;
        lastBytes_ = 0;
        lastChange_ = Clock::now();
        failed_ = waveOutWrite(device_, &header_, sizeof header_) != MMSYSERR_NOERROR;
    }

    void stop() override {
        if (device_ == nullptr) return;
        waveOutReset(device_);
        if (prepared_) waveOutUnprepareHeader(device_, &header_, sizeof header_);
        prepared_ = false;
        failed_ = false;
        blockBytes_ = 0;
    }

    bool heardBytes(uint64_t& bytes) override {
        if (device_ == nullptr || !prepared_ || failed_) return false;
        MMTIME time{};
        time.wType = TIME_BYTES;
        if (waveOutGetPosition(device_, &time, sizeof time) != MMSYSERR_NOERROR) return false;
        // A driver may answer in another unit than the one asked for.
        switch (time.wType) {
            case TIME_BYTES:
                bytes = time.u.cb;
                break;
            case TIME_SAMPLES:
                bytes = static_cast<uint64_t>(time.u.sample) * kPcmBytesPerFrame;
                break;
            case TIME_MS:
                bytes = static_cast<uint64_t>(time.u.ms) * static_cast<uint64_t>(rate_) / 1000 *
                        kPcmBytesPerFrame;
                break;
            default:
                return false;
        }
        const Clock::time_point now = Clock::now();
        if (bytes != lastBytes_) {
            lastBytes_ = bytes;
            lastChange_ = now;
        } else if (bytes < blockBytes_ &&
                   std::chrono::duration<double>(now - lastChange_).count() > kStallSeconds) {
            return false;
        }
        return true;
    }

    void close() override {
        if (device_ == nullptr) return;
        stop();
        waveOutClose(device_);
        device_ = nullptr;
    }

private:
    using Clock = std::chrono::steady_clock;

    HWAVEOUT device_ = nullptr;
    int rate_ = 44100;
    WAVEHDR header_{};
    bool prepared_ = false;
    bool failed_ = false;
    uint64_t blockBytes_ = 0;
    uint64_t lastBytes_ = 0;
    Clock::time_point lastChange_{};
};

}  // namespace

MusicPlayer* createMusicPlayer() {
    return new PcmMusicPlayer(std::make_unique<WaveOutput>());
}
