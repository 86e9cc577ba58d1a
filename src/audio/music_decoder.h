// Whole-file MP3 decoding, apart from any output so that every platform's player shares it.
//
// The result is interleaved 16-bit signed stereo PCM (left, right) at the asked rate, mono
// sources duplicated to both channels, other rates resampled by the decoder. With the encoder's
// gapless tag the first sample is the first one the encoder was given and the length is the
// encoder's input length; without it the encoder delay stays in.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kPcmChannels = 2;
constexpr int kPcmBytesPerFrame = 4;  // one left and one right 16-bit sample

// Decodes the file at `path` into `pcm` (replaced). Returns a MusicError: kMusicOk,
// kMusicFileOpen (missing or unreadable), kMusicFormat (no MPEG audio, or a stream that breaks
// off in undecodable data), kMusicMemory. On failure `pcm` is left empty.
int decodeMusicFile(const char* path, int rate, std::vector<int16_t>& pcm);
// The same for a whole file held in memory (kMusicFileOpen is then never returned).
int decodeMusicBytes(const std::vector<uint8_t>& file, int rate, std::vector<int16_t>& pcm);
