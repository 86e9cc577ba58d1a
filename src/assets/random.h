// The one random stream of the program: MT19937 with the standard 32-bit parameters.
//
// The state is class-wide, shared by every object of both classes, so every draw anywhere
// advances the same sequence; the seed is fixed, so every run places everything alike.
#pragma once

#include <cstdint>

class MTRand_int32 {
public:
    explicit MTRand_int32(uint32_t seed);
    virtual ~MTRand_int32();
    // The next tempered 32-bit word.
    uint32_t nextWord();

    static constexpr int kStateSize = 624;

private:
    static void seed(uint32_t s);
    static void regenerate();
    static uint32_t state_[kStateSize];
    static int position_;
};

class MTRand : public MTRand_int32 {
public:
    explicit MTRand(uint32_t seed) : MTRand_int32(seed) {}
    // nextWord() * 2^-32: a double in [0, 1), never 1.
    double nextUnit();
    // The same mapping for a word drawn with nextWord(); exact, as every word fits a double.
    static constexpr double unitFromWord(uint32_t word) {
        return static_cast<double>(word) * 0x1p-32;
    }
};

constexpr uint32_t kDemoSeed = 103458469;  // 0x62AA6A5
