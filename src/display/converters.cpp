#include "display/converters.h"

#include <bit>
#include <cstring>

#include "lanes/lanes.h"

namespace PixelDisplay {

// Words are stored with plain memcpy, which is the little-endian layout only on such hosts.
static_assert(std::endian::native == std::endian::little);

namespace {

uint32_t loadWord(const uint8_t* p) {
    uint32_t word;
    memcpy(&word, p, sizeof word);
    return word;
}

void storeWord(uint8_t* p, uint32_t word) {
    memcpy(p, &word, sizeof word);
}

void storeHalf(uint8_t* p, uint32_t half) {
    const uint16_t value = static_cast<uint16_t>(half);
    memcpy(p, &value, sizeof value);
}

// A float (given as its bit pattern) to a kBits-bit integer, without any float-to-integer
// instruction. Clamping the pattern as a signed integer to [0, 0x3F7FFFFE] sends every
// negative value, -0.0 and negative NaN to +0.0 (sum 1.0, mantissa 0) and everything from
// 0x3F7FFFFF up, +inf and positive NaN to 1 - 2^-23 (sum 2 - 2^-23, mantissa all ones).
// Inside that range 1.0 + v lies in [1, 2), so its mantissa is v * 2^23 rounded to nearest
// even, and its top kBits bits are floor(v * 2^kBits) of the rounded sum.
template <int kBits>
uint32_t quantize(uint32_t bits) {
    static_assert(kBits >= 1 && kBits <= 23);
    int32_t clamped = static_cast<int32_t>(bits);
    clamped = clamped < 0 ? 0 : clamped;
    clamped = clamped > 0x3F7FFFFE ? 0x3F7FFFFE : clamped;
    const float sum = 1.0f + std::bit_cast<float>(static_cast<uint32_t>(clamped));
    return (std::bit_cast<uint32_t>(sum) >> (23 - kBits)) & ((1u << kBits) - 1u);
}

// k / 256 exactly: 0x47000000 + k is 32768 + k/256, whose unit in the last place is 1/256.
float byteToFloat(uint32_t k) {
    return std::bit_cast<float>(0x47000000u + k) - 32768.0f;
}

// Destination formats: component widths and places in the pixel, a little-endian word of
// kSize bytes.
struct XRGB8888Format {
    static constexpr int kSize = 4, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    static constexpr int kRedShift = 16, kGreenShift = 8, kBlueShift = 0;
};
struct XBGR8888Format {
    static constexpr int kSize = 4, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    static constexpr int kRedShift = 0, kGreenShift = 8, kBlueShift = 16;
};
struct RGB888Format {  // bytes R, G, B
    static constexpr int kSize = 3, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    static constexpr int kRedShift = 0, kGreenShift = 8, kBlueShift = 16;
};
struct BGR888Format {  // bytes B, G, R
    static constexpr int kSize = 3, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    static constexpr int kRedShift = 16, kGreenShift = 8, kBlueShift = 0;
};
struct RGB565Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 6, kBlueBits = 5;
    static constexpr int kRedShift = 11, kGreenShift = 5, kBlueShift = 0;
};
struct BGR565Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 6, kBlueBits = 5;
    static constexpr int kRedShift = 0, kGreenShift = 5, kBlueShift = 11;
};
struct XRGB1555Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 5, kBlueBits = 5;
    static constexpr int kRedShift = 10, kGreenShift = 5, kBlueShift = 0;
};
struct XBGR1555Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 5, kBlueBits = 5;
    static constexpr int kRedShift = 0, kGreenShift = 5, kBlueShift = 10;
};

// The pixel's word from its components, for plain integers and vector lanes alike. The word
// comes back through a reference: this template is compiled for the build's target, where a
// 256-bit value must not be passed by value (lanes/lanes.h).
template <class Format, class T>
[[gnu::always_inline]] inline void packWord(T& word, const T& r, const T& g, const T& b) {
    word = (r << Format::kRedShift) | (g << Format::kGreenShift) | (b << Format::kBlueShift);
}

// The low kSize bytes of the word.
template <int kSize>
void storeLow(uint8_t* d, uint32_t word) {
    if constexpr (kSize == 4) {
        storeWord(d, word);
    } else if constexpr (kSize == 2) {
        storeHalf(d, word);
    } else {
        d[0] = static_cast<uint8_t>(word);
        d[1] = static_cast<uint8_t>(word >> 8);
        d[2] = static_cast<uint8_t>(word >> 16);
    }
}

template <class Format>
void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
    uint32_t word;
    packWord<Format>(word, r, g, b);
    storeLow<Format::kSize>(d, word);
}

constexpr size_t kFloatPixelSize = 16;

template <class Format>
void convertFloatPixel(const uint8_t* source, uint8_t* destination) {
    store<Format>(destination, quantize<Format::kRedBits>(loadWord(source)),
                  quantize<Format::kGreenBits>(loadWord(source + 4)),
                  quantize<Format::kBlueBits>(loadWord(source + 8)));
}

// Four pixels per iteration: the twelve quantisations are independent, which lets the
// compiler interleave (or vectorise) them; the tail goes through the one-pixel path, and both
// use the same quantize, so results never depend on a pixel's position in the run.
template <class Format>
void convertFromFloats(const void* source, void* destination, uint32_t count) {
    const uint8_t* s = static_cast<const uint8_t*>(source);
    uint8_t* d = static_cast<uint8_t*>(destination);
    for (uint32_t block = count / 4; block != 0; --block) {
        uint32_t bits[16];
        memcpy(bits, s, sizeof bits);
        uint32_t r[4], g[4], b[4];
        for (int p = 0; p < 4; ++p) {
            r[p] = quantize<Format::kRedBits>(bits[4 * p]);
            g[p] = quantize<Format::kGreenBits>(bits[4 * p + 1]);
            b[p] = quantize<Format::kBlueBits>(bits[4 * p + 2]);
        }
        for (int p = 0; p < 4; ++p) store<Format>(d + p * Format::kSize, r[p], g[p], b[p]);
        s += 4 * kFloatPixelSize;
        d += 4 * Format::kSize;
    }
    for (uint32_t rest = count % 4; rest != 0; --rest) {
        convertFloatPixel<Format>(s, d);
        s += kFloatPixelSize;
        d += Format::kSize;
    }
}

#define LANES_KERNEL "display/convert_lanes.inc"
#include "lanes/each_width.inc"

// What the converters run (Widest): the widest lanes this build and processor have.
template <class Format>
void convertFloats(const void* source, void* destination, uint32_t count,
                   ConversionLanes lanes = ConversionLanes::Widest) {
    const LaneWidth width = lanes == ConversionLanes::Widest ? widestLanes()
                            : lanes == ConversionLanes::Four ? LaneWidth::kFour
                                                             : LaneWidth::kScalar;
    switch (width) {
        case LaneWidth::kEight:
            return lanes8::convertRun<Format>(source, destination, count);
        case LaneWidth::kFour:
            return lanes4::convertRun<Format>(source, destination, count);
        case LaneWidth::kScalar:
            return convertFromFloats<Format>(source, destination, count);
    }
}

// Narrowing keeps the top bits of each byte, without rounding.
template <class Format>
void convertFromPacked(const void* source, void* destination, uint32_t count) {
    const uint8_t* s = static_cast<const uint8_t*>(source);
    uint8_t* d = static_cast<uint8_t*>(destination);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t word = loadWord(s);
        store<Format>(d, ((word >> 16) & 0xFFu) >> (8 - Format::kRedBits),
                      ((word >> 8) & 0xFFu) >> (8 - Format::kGreenBits),
                      (word & 0xFFu) >> (8 - Format::kBlueBits));
        s += 4;
        d += Format::kSize;
    }
}

// One block copy; a zero count touches nothing (memcpy must not see a null pointer).
void copyBytes(const void* source, void* destination, size_t bytes) {
    if (bytes != 0) memcpy(destination, source, bytes);
}

}  // namespace

void Converter_XBGRFFFF_to_XBGRFFFF::convert(const void* source, void* destination,
                                             uint32_t count) {
    copyBytes(source, destination, size_t{count} * kFloatPixelSize);
}

void Converter_XBGRFFFF_to_XRGB8888::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFloats<XRGB8888Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_XBGR8888::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFloats<XBGR8888Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_RGB888::convert(const void* source, void* destination, uint32_t count) {
    convertFloats<RGB888Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_BGR888::convert(const void* source, void* destination, uint32_t count) {
    convertFloats<BGR888Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_RGB565::convert(const void* source, void* destination, uint32_t count) {
    convertFloats<RGB565Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_BGR565::convert(const void* source, void* destination, uint32_t count) {
    convertFloats<BGR565Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_XRGB1555::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFloats<XRGB1555Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_XBGR1555::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFloats<XBGR1555Format>(source, destination, count);
}

// Writes r, g and b only: the destination's fourth float (depth, elsewhere) stays.
void Converter_XRGB8888_to_XBGRFFFF::convert(const void* source, void* destination,
                                             uint32_t count) {
    const uint8_t* s = static_cast<const uint8_t*>(source);
    uint8_t* d = static_cast<uint8_t*>(destination);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t word = loadWord(s);
        const float rgb[3] = {byteToFloat((word >> 16) & 0xFFu), byteToFloat((word >> 8) & 0xFFu),
                              byteToFloat(word & 0xFFu)};
        memcpy(d, rgb, sizeof rgb);
        s += 4;
        d += kFloatPixelSize;
    }
}

void Converter_XRGB8888_to_XRGB8888::convert(const void* source, void* destination,
                                             uint32_t count) {
    copyBytes(source, destination, size_t{count} * 4);
}

void Converter_XRGB8888_to_XBGR8888::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFromPacked<XBGR8888Format>(source, destination, count);
}

void Converter_XRGB8888_to_RGB888::convert(const void* source, void* destination, uint32_t count) {
    convertFromPacked<RGB888Format>(source, destination, count);
}

void Converter_XRGB8888_to_BGR888::convert(const void* source, void* destination, uint32_t count) {
    convertFromPacked<BGR888Format>(source, destination, count);
}

void Converter_XRGB8888_to_RGB565::convert(const void* source, void* destination, uint32_t count) {
    convertFromPacked<RGB565Format>(source, destination, count);
}

void Converter_XRGB8888_to_BGR565::convert(const void* source, void* destination, uint32_t count) {
    convertFromPacked<BGR565Format>(source, destination, count);
}

void Converter_XRGB8888_to_XRGB1555::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFromPacked<XRGB1555Format>(source, destination, count);
}

void Converter_XRGB8888_to_XBGR1555::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFromPacked<XBGR1555Format>(source, destination, count);
}

namespace {

// The single shared instance of each converter, constant-initialised (no start-up order).
constinit Converter_XBGRFFFF_to_XRGB8888 floatToXRGB8888;
constinit Converter_XBGRFFFF_to_XBGR8888 floatToXBGR8888;
constinit Converter_XBGRFFFF_to_RGB888 floatToRGB888;
constinit Converter_XBGRFFFF_to_BGR888 floatToBGR888;
constinit Converter_XBGRFFFF_to_RGB565 floatToRGB565;
constinit Converter_XBGRFFFF_to_BGR565 floatToBGR565;
constinit Converter_XBGRFFFF_to_XRGB1555 floatToXRGB1555;
constinit Converter_XBGRFFFF_to_XBGR1555 floatToXBGR1555;
constinit Converter_XBGRFFFF_to_XBGRFFFF floatToXBGRFFFF;
constinit Converter_XRGB8888_to_XRGB8888 packedToXRGB8888;
constinit Converter_XRGB8888_to_XBGR8888 packedToXBGR8888;
constinit Converter_XRGB8888_to_RGB888 packedToRGB888;
constinit Converter_XRGB8888_to_BGR888 packedToBGR888;
constinit Converter_XRGB8888_to_RGB565 packedToRGB565;
constinit Converter_XRGB8888_to_BGR565 packedToBGR565;
constinit Converter_XRGB8888_to_XRGB1555 packedToXRGB1555;
constinit Converter_XRGB8888_to_XBGR1555 packedToXBGR1555;
constinit Converter_XRGB8888_to_XBGRFFFF packedToXBGRFFFF;

// Indexed by destination format 1..9.
Converter* const fromFloats[9] = {&floatToXRGB8888, &floatToXBGR8888, &floatToRGB888,
                                  &floatToBGR888,   &floatToRGB565,   &floatToBGR565,
                                  &floatToXRGB1555, &floatToXBGR1555, &floatToXBGRFFFF};
Converter* const fromPacked[9] = {&packedToXRGB8888, &packedToXBGR8888, &packedToRGB888,
                                  &packedToBGR888,   &packedToRGB565,   &packedToBGR565,
                                  &packedToXRGB1555, &packedToXBGR1555, &packedToXBGRFFFF};

}  // namespace

Converter* findConverter(PixelFormat source, PixelFormat destination) {
    if (destination < XRGB8888 || destination > XBGRFFFF) return nullptr;
    const int index = destination - XRGB8888;
    if (source == XBGRFFFF) return fromFloats[index];
    if (source == XRGB8888) return fromPacked[index];
    return nullptr;
}

void convertFloatsWith(ConversionLanes lanes, PixelFormat destination, const void* source,
                       void* output, uint32_t count) {
    switch (destination) {
        case XRGB8888:
            return convertFloats<XRGB8888Format>(source, output, count, lanes);
        case XBGR8888:
            return convertFloats<XBGR8888Format>(source, output, count, lanes);
        case RGB888:
            return convertFloats<RGB888Format>(source, output, count, lanes);
        case BGR888:
            return convertFloats<BGR888Format>(source, output, count, lanes);
        case RGB565:
            return convertFloats<RGB565Format>(source, output, count, lanes);
        case BGR565:
            return convertFloats<BGR565Format>(source, output, count, lanes);
        case XRGB1555:
            return convertFloats<XRGB1555Format>(source, output, count, lanes);
        case XBGR1555:
            return convertFloats<XBGR1555Format>(source, output, count, lanes);
        case XBGRFFFF:
            return copyBytes(source, output, size_t{count} * kFloatPixelSize);
        default:
            return;
    }
}

int pixelSize(PixelFormat format) {
    switch (format) {
        case XRGB8888:
        case XBGR8888:
            return 4;
        case RGB888:
        case BGR888:
            return 3;
        case RGB565:
        case BGR565:
        case XRGB1555:
        case XBGR1555:
            return 2;
        case XBGRFFFF:
            return 16;
        default:
            return 0;
    }
}

}  // namespace PixelDisplay
