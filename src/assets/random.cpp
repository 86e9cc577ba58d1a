// MT19937 (Matsumoto and Nishimura, 1998), 32-bit parameters.
#include "assets/random.h"

namespace {

constexpr int kShift = 397;  // m
constexpr uint32_t kMatrixA = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;

}  // namespace

MTRand_int32::MTRand_int32(uint32_t s) {
    seed(s);
}

MTRand_int32::~MTRand_int32() = default;

void MTRand_int32::seed(uint32_t s) {
    state_[0] = s;
    for (int i = 1; i < kStateSize; ++i) {
        // Unsigned arithmetic wraps modulo 2^32, as the recurrence requires.
        const uint32_t prev = state_[i - 1];
        state_[i] = 1812433253u * (prev ^ (prev >> 30)) + static_cast<uint32_t>(i);
    }
    position_ = kStateSize;
}

void MTRand_int32::regenerate() {
    // In place and in index order: entries from 227 on read state_[i + 397 - 624], which this
    // loop has already replaced.
    for (int i = 0; i < kStateSize; ++i) {
        const uint32_t next = state_[(i + 1) % kStateSize];
        const uint32_t x = (state_[i] & kUpperMask) | (next & kLowerMask);
        state_[i] = state_[(i + kShift) % kStateSize] ^ (x >> 1) ^ ((next & 1u) ? kMatrixA : 0u);
    }
    position_ = 0;
}

uint32_t MTRand_int32::nextWord() {
    if (position_ >= kStateSize) regenerate();
    uint32_t y = state_[position_++];
    // Tempering.
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

double MTRand::nextUnit() {
    return unitFromWord(nextWord());
}
