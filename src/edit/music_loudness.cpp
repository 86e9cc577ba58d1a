#include "edit/music_loudness.h"

#include <algorithm>
#include <cmath>

#include "edit/transport.h"

std::vector<float> rowLoudness(const int16_t* samples, size_t count) {
    std::vector<double> power;  // mean square per row
    const uint64_t bytes = static_cast<uint64_t>(count / 2) * 4;
    for (int row = 0; bytesAtRow(row + 1) <= bytes; ++row) {
        const size_t first = bytesAtRow(row) / 2, last = bytesAtRow(row + 1) / 2;
        double sum = 0.0;
        for (size_t i = first; i < last; ++i) sum += double(samples[i]) * samples[i];
        power.push_back(sum / double(std::max<size_t>(last - first, 1)));
    }
    const double loudest = power.empty() ? 0.0 : *std::max_element(power.begin(), power.end());
    std::vector<float> loudness(power.size(), 0.0f);
    if (loudest <= 0.0) return loudness;  // silence throughout
    for (size_t row = 0; row < power.size(); ++row) {
        if (power[row] <= 0.0) continue;
        const double decibels = 10.0 * std::log10(power[row] / loudest);  // <= 0
        loudness[row] = static_cast<float>(std::clamp(1.0 + decibels / kRangeDecibels, 0.0, 1.0));
    }
    return loudness;
}
