#include "audio/music_decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audio/music_player.h"
#include "mp3_files.h"

namespace {

constexpr int kRate = 44100;
constexpr size_t kMpegFrame = 1152;  // samples per MPEG-1 layer III frame

// Frame index of the largest |sample| of `channel` within [from, to).
size_t peakFrame(const std::vector<int16_t>& pcm, int channel, size_t from, size_t to) {
    size_t best = from;
    for (size_t i = from; i < to; ++i) {
        if (std::abs(pcm[i * 2 + channel]) > std::abs(pcm[best * 2 + channel])) best = i;
    }
    return best;
}

TEST(MusicDecoder, DecodesGaplessFromTheFirstEncodedSample) {
    // 3 s: a 441 Hz sine on the left, silence with two clicks on the right.
    TestSignal signal = makeSine(3.0, 441.0, 8000, 2, kRate);
    for (size_t i = 0; i < signal.frames(); ++i) signal.samples[i * 2 + 1] = 0;
    addClick(signal, 1, 22050, 20000);  // 0.5 s
    addClick(signal, 1, 88200, 20000);  // 2.0 s
    ScratchDir dir;
    const std::string file = dir.write("clicks.mp3", encodeMp3(signal, 192));

    std::vector<int16_t> pcm;
    ASSERT_EQ(decodeMusicFile(file.c_str(), kRate, pcm), kMusicOk);
    const size_t frames = pcm.size() / 2;
    // The encoder was given 3 * 44100 = 132300 frames; without the delay and padding removed
    // there would be 576 + 529 more in front and most of a frame of padding behind.
    EXPECT_NEAR(static_cast<double>(frames), 132300.0, static_cast<double>(kMpegFrame));
    EXPECT_EQ(frames, 132300u);
    ASSERT_GE(frames, 90000u);

    // Each click is found where it was put, to within a couple of samples of codec smear.
    const size_t first = peakFrame(pcm, 1, 0, 60000);
    const size_t second = peakFrame(pcm, 1, 60000, frames);
    EXPECT_NEAR(static_cast<double>(first), 22050.0, 2.0);
    EXPECT_NEAR(static_cast<double>(second), 88200.0, 2.0);
    EXPECT_GT(pcm[first * 2 + 1], 10000);

    // The sine starts at sample 0 with a rising zero crossing: sin(2 pi 441 t) is 8000 * 0.0628
    // ~ 502 one sample in, and its first peak (8000) sits at 1/4 period = 25 samples.
    EXPECT_EQ(peakFrame(pcm, 0, 0, 50), 25u);
    EXPECT_NEAR(pcm[25 * 2], 8000, 800);
}

TEST(MusicDecoder, ForcesStereoAtTheAskedRate) {
    ScratchDir dir;
    // Mono at 44.1 kHz: both channels carry the same samples.
    const std::string mono =
        dir.write("mono.mp3", encodeMp3(makeSine(1.0, 441.0, 8000, 1, kRate), 128));
    std::vector<int16_t> pcm;
    ASSERT_EQ(decodeMusicFile(mono.c_str(), kRate, pcm), kMusicOk);
    EXPECT_EQ(pcm.size(), 2u * 44100u);
    size_t differing = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) differing += pcm[i] != pcm[i + 1];
    EXPECT_EQ(differing, 0u);

    // Mono at 22.05 kHz comes out at 44.1 kHz: twice the frames, the same 441 Hz tone
    // (882 zero crossings a second).
    const std::string low =
        dir.write("low.mp3", encodeMp3(makeSine(1.0, 441.0, 8000, 1, 22050), 64));
    ASSERT_EQ(decodeMusicFile(low.c_str(), kRate, pcm), kMusicOk);
    const size_t frames = pcm.size() / 2;
    EXPECT_NEAR(static_cast<double>(frames), 44100.0, 2.0 * kMpegFrame);
    int crossings = 0;
    for (size_t i = 1; i < frames; ++i) crossings += (pcm[(i - 1) * 2] < 0) != (pcm[i * 2] < 0);
    EXPECT_NEAR(crossings * 44100.0 / static_cast<double>(frames), 882.0, 10.0);
}

TEST(MusicDecoder, ReportsFilesThatCannotBeDecoded) {
    ScratchDir dir;
    std::vector<int16_t> pcm{1, 2, 3, 4};
    EXPECT_EQ(decodeMusicFile(dir.path("missing.mp3").c_str(), kRate, pcm), kMusicFileOpen);
    EXPECT_TRUE(pcm.empty());
    EXPECT_EQ(decodeMusicFile(nullptr, kRate, pcm), kMusicFileOpen);
    // A directory opens on some systems but cannot be read.
    EXPECT_EQ(decodeMusicFile(dir.path("").c_str(), kRate, pcm), kMusicFileOpen);

    EXPECT_EQ(decodeMusicFile(dir.write("empty.mp3", std::string()).c_str(), kRate, pcm),
              kMusicFormat);
    std::string text;
    for (int i = 0; i < 400; ++i) text += "this is not an mp3 file. ";
    EXPECT_EQ(decodeMusicFile(dir.write("text.mp3", text).c_str(), kRate, pcm), kMusicFormat);
    std::vector<uint8_t> noise(65536);
    uint32_t state = 12345;
    for (uint8_t& byte : noise) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    EXPECT_EQ(decodeMusicFile(dir.write("noise.mp3", noise).c_str(), kRate, pcm), kMusicFormat);
    EXPECT_TRUE(pcm.empty());
}

TEST(MusicDecoder, TruncatedOrDamagedFilesDecodeCleanlyOrFail) {
    ScratchDir dir;
    const std::vector<uint8_t> whole = encodeMp3(makeSine(1.0, 441.0, 8000, 2, kRate), 128);
    std::vector<int16_t> pcm;
    // Every cut is either a shorter decode or a format error, never more sound than the whole
    // file (44100 frames) and never a fault.
    for (size_t cut = 0; cut < whole.size(); cut += 1 + cut / 3 + (cut > 64 ? 97 : 0)) {
        const std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
        const int result = decodeMusicFile(dir.write("cut.mp3", part).c_str(), kRate, pcm);
        ASSERT_TRUE(result == kMusicOk || result == kMusicFormat) << "cut " << cut;
        if (result == kMusicOk) {
            EXPECT_LE(pcm.size(), 2u * 44100u) << "cut " << cut;
        }
        if (cut == 0) {
            EXPECT_EQ(result, kMusicFormat);
        }
    }
    // Damaged bytes inside the stream.
    for (size_t at = 0; at < whole.size(); at += 997) {
        std::vector<uint8_t> damaged = whole;
        for (size_t i = at; i < std::min(at + 300, damaged.size()); ++i) damaged[i] ^= 0x5A;
        const int result = decodeMusicFile(dir.write("damaged.mp3", damaged).c_str(), kRate, pcm);
        ASSERT_TRUE(result == kMusicOk || result == kMusicFormat) << "at " << at;
    }
}

}  // namespace
