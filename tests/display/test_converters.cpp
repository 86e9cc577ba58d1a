#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "display/converters.h"
#include "display/display.h"

namespace {

using namespace PixelDisplay;

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

constexpr PixelFormat kIntegerFormats[] = {XRGB8888, XBGR8888, RGB888,   BGR888,
                                           RGB565,   BGR565,   XRGB1555, XBGR1555};

// Every integer destination described as a little-endian word of `size` bytes with each
// component's width and lowest bit. RGB888 is the word B<<16 | G<<8 | R: bytes R, G, B.
struct Layout {
    PixelFormat format;
    int size;
    int redBits, redShift, greenBits, greenShift, blueBits, blueShift;
};
constexpr Layout kLayouts[] = {
    {XRGB8888, 4, 8, 16, 8, 8, 8, 0}, {XBGR8888, 4, 8, 0, 8, 8, 8, 16},
    {RGB888, 3, 8, 0, 8, 8, 8, 16},   {BGR888, 3, 8, 16, 8, 8, 8, 0},
    {RGB565, 2, 5, 11, 6, 5, 5, 0},   {BGR565, 2, 5, 0, 6, 5, 5, 11},
    {XRGB1555, 2, 5, 10, 5, 5, 5, 0}, {XBGR1555, 2, 5, 0, 5, 5, 5, 10},
};

// The float rule restated with doubles: clamp by value, then round v * 2^23 to the nearest
// integer, ties to even (what 1.0f + v does to the mantissa), and keep floor(m * 2^n / 2^23).
uint32_t referenceComponent(float v, int bits) {
    const uint32_t top = (1u << bits) - 1;
    if (std::signbit(v)) return 0;
    if (std::isnan(v) || v >= std::nextafter(1.0f, 0.0f)) return top;
    const double mantissa = std::nearbyint(std::ldexp(static_cast<double>(v), 23));
    return static_cast<uint32_t>(std::floor(std::ldexp(mantissa, bits - 23)));
}

void writeReference(const Layout& layout, uint32_t r, uint32_t g, uint32_t b, uint8_t* out) {
    const uint32_t word = r << layout.redShift | g << layout.greenShift | b << layout.blueShift;
    for (int i = 0; i < layout.size; ++i) out[i] = static_cast<uint8_t>(word >> (8 * i));
}

uint32_t convertOne(PixelFormat destination, FloatPixel pixel) {
    uint8_t out[4] = {};
    findConverter(XBGRFFFF, destination)->convert(&pixel, out, 1);
    uint32_t word = 0;
    for (int i = 0; i < pixelSize(destination); ++i) word |= uint32_t{out[i]} << (8 * i);
    return word;
}

uint32_t convertOne(PixelFormat destination, PackedPixel pixel) {
    uint8_t out[4] = {};
    findConverter(XRGB8888, destination)->convert(&pixel, out, 1);
    uint32_t word = 0;
    for (int i = 0; i < pixelSize(destination); ++i) word |= uint32_t{out[i]} << (8 * i);
    return word;
}

// Grey (v, v, v) in XRGB8888 (8 bits) and RGB565 (5/6/5 bits): the per-component results.
struct Quantised {
    uint32_t bits8, bits6, bits5;
};
Quantised quantiseGrey(float v) {
    const uint32_t word = convertOne(XRGB8888, FloatPixel{v, v, v, 0.0f});
    EXPECT_EQ(word >> 16, word & 0xFF) << v;
    const uint32_t w565 = convertOne(RGB565, FloatPixel{v, v, v, 0.0f});
    EXPECT_EQ(w565 >> 11, w565 & 0x1F) << v;
    return {word & 0xFF, (w565 >> 5) & 0x3F, w565 & 0x1F};
}

TEST(Converters, FloatComponentRule) {
    struct Case {
        float value;
        uint32_t bits8, bits6, bits5;
    };
    const Case cases[] = {
        {-1.0f, 0, 0, 0},
        {-0.0f, 0, 0, 0},
        {0.0f, 0, 0, 0},
        {-kInf, 0, 0, 0},
        {-kNaN, 0, 0, 0},
        {std::numeric_limits<float>::denorm_min(), 0, 0, 0},
        {0.5f, 128, 32, 16},
        {0.25f, 64, 16, 8},
        {0.00390625f, 1, 0, 0},  // 1/256
        // 1/256 - 2^-32: 1 + v rounds up to 1 + 1/256, so 1 rather than floor(v * 256) = 0.
        {0.00390625f - 0x1p-32f, 1, 0, 0},
        // 255/256 - 2^-24 is a tie in 1 + v, broken to the even mantissa 255 * 2^15.
        {0.99609375f - 0x1p-24f, 255, 63, 31},
        {0.99609375f, 255, 63, 31},  // 255/256
        {std::bit_cast<float>(0x3F7FFFFEu), 255, 63, 31},
        {std::bit_cast<float>(0x3F7FFFFFu), 255, 63, 31},  // 0.99999994: 1 + v would round to 2
        {1.0f, 255, 63, 31},
        {2.0f, 255, 63, 31},
        {1e30f, 255, 63, 31},
        {kInf, 255, 63, 31},
        {kNaN, 255, 63, 31},
        {127.5f / 256.0f, 127, 31, 15},
    };
    for (const Case& c : cases) {
        const Quantised q = quantiseGrey(c.value);
        EXPECT_EQ(q.bits8, c.bits8) << c.value;
        EXPECT_EQ(q.bits6, c.bits6) << c.value;
        EXPECT_EQ(q.bits5, c.bits5) << c.value;
    }
}

TEST(Converters, OneFloatPixelInEveryFormat) {
    const FloatPixel pixel{1.0f, 0.5f, 0.0f, 123.0f};
    EXPECT_EQ(convertOne(XRGB8888, pixel), 0x00FF8000u);
    EXPECT_EQ(convertOne(XBGR8888, pixel), 0x000080FFu);
    EXPECT_EQ(convertOne(RGB888, pixel), 0x0080FFu);  // bytes FF 80 00
    EXPECT_EQ(convertOne(BGR888, pixel), 0xFF8000u);  // bytes 00 80 FF
    EXPECT_EQ(convertOne(RGB565, pixel), 0xFC00u);
    EXPECT_EQ(convertOne(BGR565, pixel), 0x041Fu);
    EXPECT_EQ(convertOne(XRGB1555, pixel), 0x7E00u);
    EXPECT_EQ(convertOne(XBGR1555, pixel), 0x021Fu);

    FloatPixel copy{};
    findConverter(XBGRFFFF, XBGRFFFF)->convert(&pixel, &copy, 1);
    EXPECT_EQ(std::memcmp(&copy, &pixel, sizeof pixel), 0);  // the fourth float too
}

TEST(Converters, OnePackedPixelInEveryFormat) {
    const PackedPixel pixel = 0xFF123456u;                // R 0x12, G 0x34, B 0x56
    EXPECT_EQ(convertOne(XRGB8888, pixel), 0xFF123456u);  // plain copy, top byte kept
    EXPECT_EQ(convertOne(XBGR8888, pixel), 0x00563412u);
    EXPECT_EQ(convertOne(RGB888, pixel), 0x563412u);  // bytes 12 34 56
    EXPECT_EQ(convertOne(BGR888, pixel), 0x123456u);  // bytes 56 34 12
    // R5 = 2, G6 = 13, G5 = 6, B5 = 10.
    EXPECT_EQ(convertOne(RGB565, pixel), 0x11AAu);
    EXPECT_EQ(convertOne(BGR565, pixel), 0x51A2u);
    EXPECT_EQ(convertOne(XRGB1555, pixel), 0x08CAu);
    EXPECT_EQ(convertOne(XBGR1555, pixel), 0x28C2u);

    FloatPixel out{9.0f, 9.0f, 9.0f, 7.5f};
    findConverter(XRGB8888, XBGRFFFF)->convert(&pixel, &out, 1);
    EXPECT_EQ(out.r, 18.0f / 256.0f);
    EXPECT_EQ(out.g, 52.0f / 256.0f);
    EXPECT_EQ(out.b, 86.0f / 256.0f);
    EXPECT_EQ(out.x, 7.5f);  // left as it was
}

TEST(Converters, FindConverterAndPixelSize) {
    EXPECT_EQ(findConverter(XRGB8888, NoFormat), nullptr);
    EXPECT_EQ(findConverter(XBGRFFFF, NoFormat), nullptr);
    EXPECT_EQ(findConverter(XBGRFFFF, static_cast<PixelFormat>(10)), nullptr);
    EXPECT_EQ(findConverter(XRGB8888, static_cast<PixelFormat>(-1)), nullptr);
    for (int destination = -1; destination <= 10; ++destination) {
        for (int source : {-1, 0, 2, 3, 4, 5, 6, 7, 8, 10}) {
            EXPECT_EQ(findConverter(static_cast<PixelFormat>(source),
                                    static_cast<PixelFormat>(destination)),
                      nullptr)
                << source << " " << destination;
        }
    }

    // Each pair has its own class, and the same shared instance every time.
    EXPECT_NE(dynamic_cast<Converter_XBGRFFFF_to_XRGB8888*>(findConverter(XBGRFFFF, XRGB8888)),
              nullptr);
    EXPECT_NE(dynamic_cast<Converter_XBGRFFFF_to_XBGRFFFF*>(findConverter(XBGRFFFF, XBGRFFFF)),
              nullptr);
    EXPECT_NE(dynamic_cast<Converter_XRGB8888_to_XRGB8888*>(findConverter(XRGB8888, XRGB8888)),
              nullptr);
    EXPECT_NE(dynamic_cast<Converter_XRGB8888_to_XBGRFFFF*>(findConverter(XRGB8888, XBGRFFFF)),
              nullptr);
    EXPECT_NE(dynamic_cast<Converter_XRGB8888_to_XBGR1555*>(findConverter(XRGB8888, XBGR1555)),
              nullptr);
    std::vector<Converter*> seen;
    for (PixelFormat source : {XBGRFFFF, XRGB8888}) {
        for (int destination = 1; destination <= 9; ++destination) {
            Converter* converter = findConverter(source, static_cast<PixelFormat>(destination));
            ASSERT_NE(converter, nullptr);
            EXPECT_EQ(converter, findConverter(source, static_cast<PixelFormat>(destination)));
            for (Converter* other : seen) EXPECT_NE(converter, other);
            seen.push_back(converter);
            converter->prepare();
            converter->finish();
        }
    }

    const int sizes[] = {0, 4, 4, 3, 3, 2, 2, 2, 2, 16, 0};
    for (int format = 0; format <= 10; ++format) {
        EXPECT_EQ(pixelSize(static_cast<PixelFormat>(format)), sizes[format]) << format;
    }
    EXPECT_EQ(pixelSize(static_cast<PixelFormat>(-3)), 0);
}

// Floats that probe every branch and rounding case: special values, random bit patterns,
// values in [0, 1), and the neighbourhood of each quantisation step k / 2^n.
std::vector<float> probeFloats() {
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 kInf,
                                 -kInf,
                                 kNaN,
                                 -kNaN,
                                 std::bit_cast<float>(0x7F800001u),  // signalling NaN
                                 std::bit_cast<float>(0xFFFFFFFFu),
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::max()};
    for (int bits : {5, 6, 8}) {
        for (int k = 0; k <= (1 << bits); ++k) {
            const float step = std::ldexp(static_cast<float>(k), -bits);
            float down = step, up = step;
            for (int i = 0; i < 3; ++i) {
                down = std::nextafter(down, -1.0f);
                up = std::nextafter(up, 2.0f);
                values.insert(values.end(), {down, up});
            }
            values.insert(values.end(), {step, step - 0x1p-24f, step + 0x1p-24f});
        }
    }
    std::mt19937 random(2024);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(std::bit_cast<float>(static_cast<uint32_t>(random())));
        values.push_back(unit(random));
    }
    std::shuffle(values.begin(), values.end(), random);
    return values;
}

constexpr uint8_t kCanary = 0xA5;
constexpr int kGuard = 16;

// A destination at an odd address with guard bytes on both sides.
struct GuardedBuffer {
    explicit GuardedBuffer(size_t bytes) : storage(bytes + 2 * kGuard + 1, kCanary) {}
    uint8_t* data() { return storage.data() + kGuard + 1; }
    bool guardsIntact(size_t bytes) const {
        for (size_t i = 0; i < kGuard + 1; ++i) {
            if (storage[i] != kCanary) return false;
        }
        for (size_t i = kGuard + 1 + bytes; i < storage.size(); ++i) {
            if (storage[i] != kCanary) return false;
        }
        return true;
    }
    std::vector<uint8_t> storage;
};

TEST(Converters, FloatSourceMatchesReference) {
    const std::vector<float> values = probeFloats();
    for (const Layout& layout : kLayouts) {
        Converter* converter = findConverter(XBGRFFFF, layout.format);
        size_t next = 0;
        // Runs of 0..9 pixels exercise the four-pixel blocks and every tail length; the
        // long run covers the whole value list at once.
        std::vector<uint32_t> counts = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        counts.push_back(static_cast<uint32_t>(values.size() / 3));
        for (uint32_t count : counts) {
            std::vector<FloatPixel> source(count);
            for (FloatPixel& p : source) {
                p.r = values[next++ % values.size()];
                p.g = values[next++ % values.size()];
                p.b = values[next++ % values.size()];
                p.x = kNaN;
            }
            const size_t bytes = size_t{count} * layout.size;
            GuardedBuffer out(bytes);
            converter->convert(source.data(), out.data(), count);
            ASSERT_TRUE(out.guardsIntact(bytes)) << layout.format << " count " << count;
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t expected[4];
                writeReference(layout, referenceComponent(source[i].r, layout.redBits),
                               referenceComponent(source[i].g, layout.greenBits),
                               referenceComponent(source[i].b, layout.blueBits), expected);
                ASSERT_EQ(std::memcmp(out.data() + i * layout.size, expected, layout.size), 0)
                    << "format " << layout.format << " count " << count << " pixel " << i << ": "
                    << source[i].r << " " << source[i].g << " " << source[i].b;
            }
        }
    }
}

TEST(Converters, RunsEqualSingleConversions) {
    const FloatPixel run[5] = {{1.0f, 0.5f, 0.0f, 1.0f},
                               {-0.0f, 0.00390625f, 0.99609375f, 2.0f},
                               {kNaN, -kNaN, kInf, 0.0f},
                               {0.3f, 0.6f, 0.9f, -1.0f},
                               {0.125f, 2.0f, -1.0f, 0.5f}};
    for (PixelFormat format : kIntegerFormats) {
        const int size = pixelSize(format);
        uint8_t together[5 * 4] = {};
        uint8_t alone[5 * 4] = {};
        Converter* converter = findConverter(XBGRFFFF, format);
        converter->convert(run, together, 5);
        for (int i = 0; i < 5; ++i) converter->convert(&run[i], alone + i * size, 1);
        EXPECT_EQ(std::memcmp(together, alone, sizeof together), 0) << format;
    }
}

// The vector lanes (the widest this build and processor run, and the four-lane path) against
// the scalar reference: frames of every kind of float, runs of every length around the block
// sizes and a whole row, source and destination at odd addresses.
TEST(Converters, LanesMatchTheScalarReference) {
    const float specials[] = {kNaN,
                              -kNaN,
                              std::bit_cast<float>(0x7F800001u),
                              kInf,
                              -kInf,
                              -0.0f,
                              0.0f,
                              std::numeric_limits<float>::denorm_min(),
                              -std::numeric_limits<float>::denorm_min(),
                              std::bit_cast<float>(0x007FFFFFu),
                              std::bit_cast<float>(0x3F7FFFFEu),
                              std::bit_cast<float>(0x3F7FFFFFu),
                              std::bit_cast<float>(0x3F800000u),
                              -2.5f,
                              7.0f};
    std::mt19937 random(31337);
    std::uniform_real_distribution<float> wide(-0.5f, 1.5f);
    std::vector<uint32_t> counts;
    for (uint32_t count = 0; count <= 33; ++count) counts.push_back(count);
    counts.insert(counts.end(), {639, 640, 641, 1003});
    for (int destination = XRGB8888; destination <= XBGRFFFF; ++destination) {
        const PixelFormat format = static_cast<PixelFormat>(destination);
        const int size = pixelSize(format);
        for (uint32_t count : counts) {
            for (size_t offset : {size_t{0}, size_t{4}, size_t{1}}) {
                std::vector<uint8_t> source(size_t{count} * 16 + offset);
                for (uint32_t i = 0; i < count * 4; ++i) {
                    const uint32_t pick = static_cast<uint32_t>(random()) % 8;
                    float v = pick < 3   ? wide(random)
                              : pick < 5 ? specials[random() % std::size(specials)]
                                         : std::bit_cast<float>(static_cast<uint32_t>(random()));
                    std::memcpy(source.data() + offset + 4 * size_t{i}, &v, 4);
                }
                const size_t bytes = size_t{count} * size;
                const uint8_t* from = source.data() + offset;
                GuardedBuffer widest(bytes + offset), four(bytes + offset), scalar(bytes + offset);
                findConverter(XBGRFFFF, format)->convert(from, widest.data() + offset, count);
                convertFloatsWith(ConversionLanes::Four, format, from, four.data() + offset, count);
                convertFloatsWith(ConversionLanes::Scalar, format, from, scalar.data() + offset,
                                  count);
                ASSERT_TRUE(widest.guardsIntact(bytes + offset)) << format << " count " << count;
                ASSERT_TRUE(four.guardsIntact(bytes + offset)) << format << " count " << count;
                ASSERT_EQ(widest.storage, scalar.storage)
                    << "format " << format << " count " << count << " offset " << offset;
                ASSERT_EQ(four.storage, scalar.storage)
                    << "format " << format << " count " << count << " offset " << offset;
            }
        }
    }
}

TEST(Converters, PackedSourceMatchesReference) {
    std::mt19937 random(7);
    for (const Layout& layout : kLayouts) {
        Converter* converter = findConverter(XRGB8888, layout.format);
        for (uint32_t count : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 1000u}) {
            std::vector<PackedPixel> source(count);
            for (PackedPixel& p : source) p = static_cast<uint32_t>(random());
            const size_t bytes = size_t{count} * layout.size;
            GuardedBuffer out(bytes);
            converter->convert(source.data(), out.data(), count);
            ASSERT_TRUE(out.guardsIntact(bytes)) << layout.format << " count " << count;
            for (uint32_t i = 0; i < count; ++i) {
                // Narrowing to n bits is floor(c * 2^n / 256); the copy keeps the top byte.
                const uint32_t p = source[i];
                const uint32_t c[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
                uint8_t expected[4];
                if (layout.format == XRGB8888) {
                    std::memcpy(expected, &p, 4);
                } else {
                    writeReference(layout, c[0] * (1u << layout.redBits) / 256,
                                   c[1] * (1u << layout.greenBits) / 256,
                                   c[2] * (1u << layout.blueBits) / 256, expected);
                }
                ASSERT_EQ(std::memcmp(out.data() + i * layout.size, expected, layout.size), 0)
                    << "format " << layout.format << " pixel " << std::hex << p;
            }
        }
    }
}

TEST(Converters, CopiesAndWideningKeepEverything) {
    std::mt19937 random(99);
    for (uint32_t count : {0u, 1u, 5u, 9u, 640u}) {
        std::vector<uint32_t> floatBits(size_t{count} * 4);
        for (uint32_t& bits : floatBits) bits = static_cast<uint32_t>(random());
        GuardedBuffer floats(floatBits.size() * 4);
        findConverter(XBGRFFFF, XBGRFFFF)->convert(floatBits.data(), floats.data(), count);
        EXPECT_TRUE(floats.guardsIntact(floatBits.size() * 4));
        EXPECT_TRUE(count == 0 || std::memcmp(floats.data(), floatBits.data(), count * 16) == 0);

        std::vector<PackedPixel> words(count);
        for (PackedPixel& p : words) p = static_cast<uint32_t>(random());
        GuardedBuffer packed(size_t{count} * 4);
        findConverter(XRGB8888, XRGB8888)->convert(words.data(), packed.data(), count);
        EXPECT_TRUE(packed.guardsIntact(size_t{count} * 4));
        EXPECT_TRUE(count == 0 || std::memcmp(packed.data(), words.data(), count * 4) == 0);

        // Widening writes r, g, b = k / 256 and never the fourth float.
        std::vector<FloatPixel> wide(count + 1, FloatPixel{-5.0f, -5.0f, -5.0f, -7.0f});
        findConverter(XRGB8888, XBGRFFFF)->convert(words.data(), wide.data(), count);
        for (uint32_t i = 0; i < count; ++i) {
            EXPECT_EQ(wide[i].r, static_cast<float>((words[i] >> 16) & 0xFF) / 256.0f);
            EXPECT_EQ(wide[i].g, static_cast<float>((words[i] >> 8) & 0xFF) / 256.0f);
            EXPECT_EQ(wide[i].b, static_cast<float>(words[i] & 0xFF) / 256.0f);
            EXPECT_EQ(wide[i].x, -7.0f);
        }
        EXPECT_EQ(wide[count].r, -5.0f);  // nothing past the run
    }
}

TEST(Converters, WideningAndBackIsLossless) {
    // Every 24-bit colour, with an arbitrary top byte that the round trip clears.
    constexpr uint32_t kChunk = 1 << 16;
    std::vector<PackedPixel> words(kChunk), back(kChunk);
    std::vector<FloatPixel> floats(kChunk);
    Converter* widen = findConverter(XRGB8888, XBGRFFFF);
    Converter* narrow = findConverter(XBGRFFFF, XRGB8888);
    for (uint32_t base = 0; base < (1u << 24); base += kChunk) {
        for (uint32_t i = 0; i < kChunk; ++i) words[i] = (base + i) | ((i * 37u) << 24);
        widen->convert(words.data(), floats.data(), kChunk);
        narrow->convert(floats.data(), back.data(), kChunk);
        for (uint32_t i = 0; i < kChunk; ++i) {
            if (back[i] != (words[i] & 0xFFFFFFu)) {
                FAIL() << std::hex << words[i] << " came back as " << back[i];
            }
        }
    }
}

}  // namespace
