// The platform-independent half of the music player: a decoded PCM block, a device that
// plays it, and the clock that says how much of it has been heard.
//
// A platform supplies an `AudioOutput`; without one (or when its device cannot be opened, or
// stops working) the player runs the silent clock: the position advances with its clock (the
// steady clock unless it is given another) from play(), capped at the end of the stream.
// Positions are bytes of 16-bit stereo PCM at the rate given to init.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/music_player.h"

// One output device playing one PCM block from its start, silence after its end.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Opens the default device for 16-bit stereo at `rate` Hz, not yet playing. False when
    // there is no usable device (it may say why in one line).
    virtual bool open(int rate) = 0;
    // Plays `bytes` bytes at `pcm` from byte 0. The block outlives the playback (until stop).
    virtual void start(const int16_t* pcm, uint64_t bytes) = 0;
    // Stops playback and lets go of the block; the device stays open.
    virtual void stop() = 0;
    // Bytes played since start, the silence after the block included. False when the device
    // has stopped working.
    virtual bool heardBytes(uint64_t& bytes) = 0;
    virtual void update() {}
    // Releases the device. Safe to call more than once.
    virtual void close() = 0;
};

// Where a device fed in whole buffers is: `handedBytes` have gone to the device, the last
// buffer at `secondsSinceHandoff` ago, and up to `bufferBytes` of them wait in the device.
// The sound heard is taken to be the block before the waiting buffer plus the real time since
// the handoff, never more than was handed: so it runs at most one buffer ahead of the truth
// when the device holds more than one buffer, and is exact when it holds one.
uint64_t estimateHeardBytes(uint64_t handedBytes, uint64_t bufferBytes, double secondsSinceHandoff,
                            double bytesPerSecond);

// Seconds from any fixed origin, never decreasing: what the silent clock counts with.
using SecondsClock = std::function<double()>;
// The steady clock of the C++ library; tests give the player a clock they move themselves.
double steadySeconds();

class PcmMusicPlayer final : public MusicPlayer {
public:
    // `output` may be null: then the player is always silent.
    explicit PcmMusicPlayer(std::unique_ptr<AudioOutput> output,
                            SecondsClock clock = steadySeconds);
    ~PcmMusicPlayer() override;

    bool init(int frequency) override;
    bool openStream(const char* path) override;
    bool openMusic(const std::vector<uint8_t>& file, const char* path) override;
    int errorCode() const override { return error_; }
    void play() override;
    uint64_t position() override;
    double bytesToSeconds(uint64_t bytes) const override;
    void update() override;
    void close() override;

    bool canSeek() const override { return true; }
    void seek(uint64_t bytes) override;
    void pause() override;
    void resume() override;
    bool paused() const override { return paused_; }
    uint64_t length() const override { return streamBytes(); }
    bool replaceStream(std::vector<int16_t>&& pcm) override;
    const int16_t* decodedSamples(size_t& count) const override {
        count = pcm_.size();
        return pcm_.data();
    }

    // True while a device plays the music (false on the silent clock).
    bool usingDevice() const { return deviceOpen_ && !silent_; }
    uint64_t streamBytes() const { return pcm_.size() * sizeof(int16_t); }

private:
    void stopPlayback();
    // Before a stream is opened: false (kMusicNotInit) without init, else playback stopped.
    bool readyToOpen();
    uint64_t silentBytes() const;
    // Plays on from byte `from`: the device gets the block from there, the silent clock
    // counts from there.
    void startFrom(uint64_t from);

    std::unique_ptr<AudioOutput> output_;
    SecondsClock clock_;
    std::vector<int16_t> pcm_;
    int rate_ = 44100;
    int error_ = kMusicOk;
    bool initialized_ = false;
    bool deviceOpen_ = false;
    bool playing_ = false;
    // Silent clock: the position at `silentStart_` was `silentBase_`.
    bool silent_ = true;
    double silentStart_ = 0.0;
    uint64_t silentBase_ = 0;
    uint64_t lastPosition_ = 0;
    // The device plays the block from this byte on: its heard bytes count from here.
    uint64_t deviceBase_ = 0;
    bool paused_ = false;
};
