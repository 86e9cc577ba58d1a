#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "lanes/lanes.h"

namespace {

#define LANES_KERNEL "lanes/clamp_kernel.inc"
#include "lanes/each_width.inc"

// The clamps in every form the build has, scalar and lanes, give each value the bits its rule
// says: clampUnit keeps NaN (its payload too) and -0, clampUnitZeroingNaN makes both +0.
// Written out per lane width, these are the cases a compiler's choice of minimum or maximum
// gets wrong, and no picture of the show holds them.
TEST(Lanes, ClampsKeepTheirMeaningForNaNAndMinusZero) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    const float payload = std::bit_cast<float>(0xFFC01234u);  // a negative NaN with a payload
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kTiny = std::numeric_limits<float>::denorm_min();
    struct Case {
        float in, unit, zeroing;
    };
    const Case cases[16] = {
        {kNaN, kNaN, 0.0f},
        {payload, payload, 0.0f},
        {-0.0f, -0.0f, 0.0f},
        {0.0f, 0.0f, 0.0f},
        {kTiny, kTiny, kTiny},
        {-kTiny, 0.0f, 0.0f},
        {-kInf, 0.0f, 0.0f},
        {kInf, 1.0f, 1.0f},
        {0.5f, 0.5f, 0.5f},
        {1.0f, 1.0f, 1.0f},
        {std::nextafter(1.0f, 2.0f), 1.0f, 1.0f},
        {std::nextafter(1.0f, 0.0f), std::nextafter(1.0f, 0.0f), std::nextafter(1.0f, 0.0f)},
        {-1.25f, 0.0f, 0.0f},
        {3.5f, 1.0f, 1.0f},
        {-kNaN, -kNaN, 0.0f},
        {0.25f, 0.25f, 0.25f}};
    float in[16], unit[16], zeroing[16];
    for (int i = 0; i < 16; ++i) in[i] = cases[i].in;

    auto check = [&](const char* form) {
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(std::bit_cast<uint32_t>(unit[i]), std::bit_cast<uint32_t>(cases[i].unit))
                << form << " clampUnit, case " << i;
            EXPECT_EQ(std::bit_cast<uint32_t>(zeroing[i]),
                      std::bit_cast<uint32_t>(cases[i].zeroing))
                << form << " clampUnitZeroingNaN, case " << i;
        }
    };
    for (int i = 0; i < 16; ++i) {
        unit[i] = clampUnit(in[i]);
        zeroing[i] = clampUnitZeroingNaN(in[i]);
    }
    check("scalar");
    lanes4::clampInLanes(in, unit, zeroing, 16);
    check("four lanes");
    if (widestLanes() == LaneWidth::kEight) {
        lanes8::clampInLanes(in, unit, zeroing, 16);
        check("eight lanes");
    }
}

}  // namespace
