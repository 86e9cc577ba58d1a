// The music's loudness row by row, for the track editor's loudness column: the root mean square
// of both channels over each row's sample frames (the rows' edges as the transport puts them,
// bytesAtRow), in decibels below the music's loudest row, kRangeDecibels down (0) to that row
// (1). Our music's rows lie within about 35 dB, its beats a few dB above the rows between them:
// a range of the music's own keeps them apart where a fixed one from full scale would not.
// Made once per arrangement: at the start and for each new synthesis, never per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr double kRangeDecibels = 24.0;

// One value for each whole row the interleaved stereo samples hold.
std::vector<float> rowLoudness(const int16_t* samples, size_t count);
