// The music's loudness row by row, for the track editor's loudness column: the root mean square
// of both channels over each row's sample frames (the rows' edges as the transport puts them,
// bytesAtRow), on a log scale from kQuietDecibels (0) to full scale (1). Made once per
// arrangement: at the start and for each new synthesis, never per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr double kQuietDecibels = -48.0;

// One value for each whole row the interleaved stereo samples hold.
std::vector<float> rowLoudness(const int16_t* samples, size_t count);
