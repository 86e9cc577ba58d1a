#include "display/converters.h"

#include <bit>
#include <cstring>

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

// Destination formats: component widths and how one pixel is written.
struct XRGB8888Format {
    static constexpr int kSize = 4, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    static void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
        storeWord(d, (r << 16) | (g << 8) | b);
    }
};
struct XBGR8888Format {
    static constexpr int kSize = 4, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    static void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
        storeWord(d, (b << 16) | (g << 8) | r);
    }
};
struct RGB888Format {
    static constexpr int kSize = 3, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    static void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
        d[0] = static_cast<uint8_t>(r);
        d[1] = static_cast<uint8_t>(g);
        d[2] = static_cast<uint8_t>(b);
    }
};
struct BGR888Format {
    static constexpr int kSize = 3, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    static void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
        d[0] = static_cast<uint8_t>(b);
        d[1] = static_cast<uint8_t>(g);
        d[2] = static_cast<uint8_t>(r);
    }
};
struct RGB565Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 6, kBlueBits = 5;
    static void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
        storeHalf(d, (r << 11) | (g << 5) | b);
    }
};
struct BGR565Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 6, kBlueBits = 5;
    static void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
        storeHalf(d, (b << 11) | (g << 5) | r);
    }
};
struct XRGB1555Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 5, kBlueBits = 5;
    static void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
        storeHalf(d, (r << 10) | (g << 5) | b);
    }
};
struct XBGR1555Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 5, kBlueBits = 5;
    static void store(uint8_t* d, uint32_t r, uint32_t g, uint32_t b) {
        storeHalf(d, (b << 10) | (g << 5) | r);
    }
};

constexpr size_t kFloatPixelSize = 16;

template <class Format>
void convertFloatPixel(const uint8_t* source, uint8_t* destination) {
    Format::store(destination, quantize<Format::kRedBits>(loadWord(source)),
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
        for (int p = 0; p < 4; ++p) Format::store(d + p * Format::kSize, r[p], g[p], b[p]);
        s += 4 * kFloatPixelSize;
        d += 4 * Format::kSize;
    }
    for (uint32_t rest = count % 4; rest != 0; --rest) {
        convertFloatPixel<Format>(s, d);
        s += kFloatPixelSize;
        d += Format::kSize;
    }
}

// Narrowing keeps the top bits of each byte, without rounding.
template <class Format>
void convertFromPacked(const void* source, void* destination, uint32_t count) {
    const uint8_t* s = static_cast<const uint8_t*>(source);
    uint8_t* d = static_cast<uint8_t*>(destination);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t word = loadWord(s);
        Format::store(d, ((word >> 16) & 0xFFu) >> (8 - Format::kRedBits),
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
    convertFromFloats<XRGB8888Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_XBGR8888::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFromFloats<XBGR8888Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_RGB888::convert(const void* source, void* destination, uint32_t count) {
    convertFromFloats<RGB888Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_BGR888::convert(const void* source, void* destination, uint32_t count) {
    convertFromFloats<BGR888Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_RGB565::convert(const void* source, void* destination, uint32_t count) {
    convertFromFloats<RGB565Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_BGR565::convert(const void* source, void* destination, uint32_t count) {
    convertFromFloats<BGR565Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_XRGB1555::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFromFloats<XRGB1555Format>(source, destination, count);
}

void Converter_XBGRFFFF_to_XBGR1555::convert(const void* source, void* destination,
                                             uint32_t count) {
    convertFromFloats<XBGR1555Format>(source, destination, count);
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
