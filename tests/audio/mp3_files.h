// Test inputs for the music layer: PCM signals, their MP3 encodings (with the gapless tag)
// and a scratch directory for the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Interleaved 16-bit PCM, `channels` per frame.
struct TestSignal {
    std::vector<int16_t> samples;
    int channels = 2;
    int rate = 44100;
    size_t frames() const { return samples.size() / channels; }
};

// A sine of `hz` at amplitude `amplitude` in every channel.
TestSignal makeSine(double seconds, double hz, int amplitude, int channels, int rate);

// Adds to channel `channel` a 9-sample raised-cosine click of height `height` centred on
// frame `frame`.
void addClick(TestSignal& signal, int channel, size_t frame, int height);

// Constant-bitrate MP3 with the encoder's tag frame (which carries the gapless delay and
// padding) in front.
std::vector<uint8_t> encodeMp3(const TestSignal& signal, int kbps);

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string path(const std::string& name) const;
    // Writes `bytes` to the file `name` and returns its path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::string dir_;
};
