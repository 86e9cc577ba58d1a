#include "audio/pcm_music_player.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "audio/music_decoder.h"

uint64_t estimateHeardBytes(uint64_t handedBytes, uint64_t bufferBytes, double secondsSinceHandoff,
                            double bytesPerSecond) {
    const uint64_t waiting = std::min(handedBytes, bufferBytes);
    const double advance = secondsSinceHandoff * bytesPerSecond;
    // Written so that a negative or NaN advance counts as none.
    if (!(advance > 0.0)) return handedBytes - waiting;
    if (advance >= static_cast<double>(waiting)) return handedBytes;
    return handedBytes - waiting + static_cast<uint64_t>(advance);
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PcmMusicPlayer::PcmMusicPlayer(std::unique_ptr<AudioOutput> output, SecondsClock clock)
    : output_(std::move(output)), clock_(std::move(clock)) {}

PcmMusicPlayer::~PcmMusicPlayer() {
    close();
}

bool PcmMusicPlayer::init(int frequency) {
    if (frequency <= 0) return false;
    if (initialized_) return true;
    rate_ = frequency;
    deviceOpen_ = output_ && output_->open(rate_);
    silent_ = !deviceOpen_;
    initialized_ = true;
    return true;
}

bool PcmMusicPlayer::readyToOpen() {
    if (!initialized_) {
        error_ = kMusicNotInit;
        return false;
    }
    stopPlayback();
    return true;
}

bool PcmMusicPlayer::openStream(const char* path) {
    if (!readyToOpen()) return false;
    error_ = decodeMusicFile(path, rate_, pcm_);
    return error_ == kMusicOk;
}

bool PcmMusicPlayer::openMusic(const std::vector<uint8_t>& file, const char*) {
    if (!readyToOpen()) return false;
    error_ = decodeMusicBytes(file, rate_, pcm_);
    return error_ == kMusicOk;
}

void PcmMusicPlayer::play() {
    if (!initialized_ || pcm_.empty() || playing_) return;
    playing_ = true;
    paused_ = false;
    silent_ = !deviceOpen_;
    startFrom(0);
}

void PcmMusicPlayer::startFrom(uint64_t from) {
    lastPosition_ = from;
    silentBase_ = from;
    silentStart_ = clock_();
    deviceBase_ = from;
    if (!silent_) output_->start(pcm_.data() + from / sizeof(int16_t), streamBytes() - from);
}

void PcmMusicPlayer::seek(uint64_t bytes) {
    if (!playing_) return;
    bytes = std::min(bytes, streamBytes());
    bytes -= bytes % kPcmBytesPerFrame;
    if (paused_) {
        lastPosition_ = bytes;
        return;
    }
    if (!silent_) output_->stop();
    startFrom(bytes);
}

void PcmMusicPlayer::pause() {
    if (!playing_ || paused_) return;
    const uint64_t at = position();
    if (!silent_) output_->stop();
    paused_ = true;
    lastPosition_ = at;
}

void PcmMusicPlayer::resume() {
    if (!playing_ || !paused_) return;
    paused_ = false;
    startFrom(lastPosition_);
}

bool PcmMusicPlayer::replaceStream(std::vector<int16_t>&& pcm) {
    if (!initialized_ || pcm.empty() || pcm.size() % kPcmChannels != 0) return false;
    if (!playing_) {
        pcm_ = std::move(pcm);
        return true;
    }
    const uint64_t at = position();
    // The device must let go of the old block before it is freed.
    if (!silent_ && !paused_) output_->stop();
    pcm_ = std::move(pcm);
    const uint64_t clamped = std::min(at, streamBytes());
    if (paused_) {
        lastPosition_ = clamped;
        return true;
    }
    startFrom(clamped);
    return true;
}

uint64_t PcmMusicPlayer::silentBytes() const {
    const double seconds = clock_() - silentStart_;
    const double bytes = seconds * rate_ * kPcmBytesPerFrame;
    // Past the end the cap below applies anyway; this keeps the conversion in range.
    const double limit = static_cast<double>(streamBytes());
    return silentBase_ + static_cast<uint64_t>(std::clamp(bytes, 0.0, limit));
}

uint64_t PcmMusicPlayer::position() {
    if (!playing_) return 0;
    if (paused_) return lastPosition_;
    uint64_t bytes = 0;
    if (!silent_ && output_->heardBytes(bytes)) {
        bytes += deviceBase_;
    } else if (!silent_) {
        // The device went away mid-show: carry on from where it was, silently.
        output_->stop();
        silent_ = true;
        silentBase_ = lastPosition_;
        silentStart_ = clock_();
    }
    if (silent_) bytes = silentBytes();
    bytes = std::min(bytes, streamBytes());
    bytes -= bytes % kPcmBytesPerFrame;
    // Never backwards while playing on: a seek sets lastPosition_ itself.
    lastPosition_ = std::max(bytes, lastPosition_);
    return lastPosition_;
}

double PcmMusicPlayer::bytesToSeconds(uint64_t bytes) const {
    return static_cast<double>(bytes) / (static_cast<double>(rate_) * kPcmBytesPerFrame);
}

void PcmMusicPlayer::update() {
    if (deviceOpen_ && !silent_ && !paused_) output_->update();
}

void PcmMusicPlayer::stopPlayback() {
    if (playing_ && deviceOpen_) output_->stop();
    playing_ = false;
    paused_ = false;
    lastPosition_ = 0;
    deviceBase_ = 0;
}

void PcmMusicPlayer::close() {
    stopPlayback();
    std::vector<int16_t>().swap(pcm_);
    if (deviceOpen_) output_->close();
    deviceOpen_ = false;
    silent_ = true;
    initialized_ = false;
}

MusicPlayer* createSilentMusicPlayer() {
    return new PcmMusicPlayer(nullptr);
}
