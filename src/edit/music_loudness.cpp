#include "edit/music_loudness.h"

#include <algorithm>
#include <cmath>

#include "edit/transport.h"

std::vector<float> rowLoudness(const int16_t* samples, size_t count) {
    std::vector<float> loudness;
    const uint64_t bytes = static_cast<uint64_t>(count / 2) * 4;
    for (int row = 0; bytesAtRow(row + 1) <= bytes; ++row) {
        const size_t first = bytesAtRow(row) / 2, last = bytesAtRow(row + 1) / 2;
        double sum = 0.0;
        for (size_t i = first; i < last; ++i) sum += double(samples[i]) * samples[i];
        const double rms = std::sqrt(sum / double(std::max<size_t>(last - first, 1))) / 32768.0;
        const double decibels = rms > 0.0 ? 20.0 * std::log10(rms) : kQuietDecibels;
        loudness.push_back(
            static_cast<float>(std::clamp(1.0 - decibels / kQuietDecibels, 0.0, 1.0)));
    }
    return loudness;
}
