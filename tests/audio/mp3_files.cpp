#include "mp3_files.h"

#include <lame/lame.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

TestSignal makeSine(double seconds, double hz, int amplitude, int channels, int rate) {
    TestSignal signal;
    signal.channels = channels;
    signal.rate = rate;
    const size_t frames = static_cast<size_t>(std::lround(seconds * rate));
    signal.samples.resize(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        const double value = amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c) {
            signal.samples[i * channels + c] = static_cast<int16_t>(std::lround(value));
        }
    }
    return signal;
}

void addClick(TestSignal& signal, int channel, size_t frame, int height) {
    for (int k = -4; k <= 4; ++k) {
        const double weight = 0.5 + 0.5 * std::cos(M_PI * k / 5.0);
        const size_t at = (frame + k) * signal.channels + channel;
        const long value = signal.samples[at] + std::lround(height * weight);
        signal.samples[at] = static_cast<int16_t>(std::clamp(value, -32768L, 32767L));
    }
}

std::vector<uint8_t> encodeMp3(const TestSignal& signal, int kbps) {
    lame_t lame = lame_init();
    if (!lame) throw std::runtime_error("lame_init failed");
    lame_set_in_samplerate(lame, signal.rate);
    lame_set_out_samplerate(lame, signal.rate);
    lame_set_num_channels(lame, signal.channels);
    // Plain stereo keeps a click in one channel out of the other.
    lame_set_mode(lame, signal.channels == 1 ? MONO : STEREO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, kbps);
    lame_set_bWriteVbrTag(lame, 1);
    lame_set_quality(lame, 5);
    if (lame_init_params(lame) < 0) throw std::runtime_error("lame_init_params failed");

    const int frames = static_cast<int>(signal.frames());
    std::vector<uint8_t> mp3(frames + frames / 4 + 7200 + 8192);
    std::vector<int16_t> pcm = signal.samples;  // the encoder takes non-const buffers
    int written = signal.channels == 2
                      ? lame_encode_buffer_interleaved(lame, pcm.data(), frames, mp3.data(),
                                                       static_cast<int>(mp3.size()))
                      : lame_encode_buffer(lame, pcm.data(), pcm.data(), frames, mp3.data(),
                                           static_cast<int>(mp3.size()));
    if (written < 0) throw std::runtime_error("lame_encode_buffer failed");
    const int flushed =
        lame_encode_flush(lame, mp3.data() + written, static_cast<int>(mp3.size()) - written);
    if (flushed < 0) throw std::runtime_error("lame_encode_flush failed");
    mp3.resize(written + flushed);

    // The encoder left an empty frame in front for the tag it can only write at the end.
    unsigned char tag[2880];
    const size_t tagBytes = lame_get_lametag_frame(lame, tag, sizeof tag);
    if (tagBytes == 0 || tagBytes > sizeof tag || tagBytes > mp3.size())
        throw std::runtime_error("no LAME tag");
    std::copy(tag, tag + tagBytes, mp3.begin());
    lame_close(lame);
    return mp3;
}

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("demo_audio_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir);
    dir_ = dir.string();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string ScratchDir::path(const std::string& name) const {
    return dir_ + "/" + name;
}

std::string ScratchDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string file = path(name);
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::string ScratchDir::write(const std::string& name, const std::string& text) const {
    return write(name, std::vector<uint8_t>(text.begin(), text.end()));
}
