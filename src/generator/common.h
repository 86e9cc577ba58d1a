// Shared helpers of the asset generator: byte output, a seeded random stream and file writing.
//
// Everything the generator writes must come out byte for byte the same on every run: no
// timestamps, no addresses, no unseeded randomness. Failures are reported as a one-line
// message naming the file, never as exceptions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

using Bytes = std::vector<uint8_t>;

// SplitMix64 (Steele, Lea, Flood 2014): small, fast and fully determined by its seed.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1) from the top 53 bits.
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
};

bool writeFile(const std::string& path, const Bytes& bytes, std::string& message);
bool writeFile(const std::string& path, const std::string& text, std::string& message);
bool readTextFile(const std::string& path, std::string& text, std::string& message);

}  // namespace assetgen
