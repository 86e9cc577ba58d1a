// The random stream of a show: MT19937 with the standard 32-bit parameters.
//
// Each object holds its own state, so that several runs of the show (the capture tool's
// threads, a show played twice) each draw the same sequence from the same fixed seed; within a
// run one stream serves every draw, so the order of draws decides which object gets which
// value. An object can be copied: the copy continues the sequence from the same place.
#pragma once

#include <cstdint>

class MTRand_int32 {
public:
    explicit MTRand_int32(uint32_t seed);
    MTRand_int32(const MTRand_int32&) = default;
    MTRand_int32& operator=(const MTRand_int32&) = default;
    virtual ~MTRand_int32();
    // The next tempered 32-bit word.
    uint32_t nextWord();

    static constexpr int kStateSize = 624;

private:
    void seed(uint32_t s);
    void regenerate();
    uint32_t state_[kStateSize];
    int position_ = kStateSize;
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
