#include "display/converters.h"

#include <bit>
#include <cstring>

namespace PixelDisplay {

// Words are stored with plain memcpy, which is the little-endian layout only on such hosts.
static_assert(std::endian::native == std::endian::little);

// The vector lanes' 256-bit values never cross a call (everything they pass through is
// inlined, and takes them by reference), so GCC's warning on their calling convention
// without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

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

// Destination formats: component widths and the pixel as a little-endian word of kSize
// bytes. `word` is written once for plain integers and vector lanes alike.
struct XRGB8888Format {
    static constexpr int kSize = 4, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    template <class T>
    [[gnu::always_inline]] static T word(const T& r, const T& g, const T& b) {
        return (r << 16) | (g << 8) | b;
    }
};
struct XBGR8888Format {
    static constexpr int kSize = 4, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    template <class T>
    [[gnu::always_inline]] static T word(const T& r, const T& g, const T& b) {
        return (b << 16) | (g << 8) | r;
    }
};
struct RGB888Format {  // bytes R, G, B
    static constexpr int kSize = 3, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    template <class T>
    [[gnu::always_inline]] static T word(const T& r, const T& g, const T& b) {
        return (b << 16) | (g << 8) | r;
    }
};
struct BGR888Format {  // bytes B, G, R
    static constexpr int kSize = 3, kRedBits = 8, kGreenBits = 8, kBlueBits = 8;
    template <class T>
    [[gnu::always_inline]] static T word(const T& r, const T& g, const T& b) {
        return (r << 16) | (g << 8) | b;
    }
};
struct RGB565Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 6, kBlueBits = 5;
    template <class T>
    [[gnu::always_inline]] static T word(const T& r, const T& g, const T& b) {
        return (r << 11) | (g << 5) | b;
    }
};
struct BGR565Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 6, kBlueBits = 5;
    template <class T>
    [[gnu::always_inline]] static T word(const T& r, const T& g, const T& b) {
        return (b << 11) | (g << 5) | r;
    }
};
struct XRGB1555Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 5, kBlueBits = 5;
    template <class T>
    [[gnu::always_inline]] static T word(const T& r, const T& g, const T& b) {
        return (r << 10) | (g << 5) | b;
    }
};
struct XBGR1555Format {
    static constexpr int kSize = 2, kRedBits = 5, kGreenBits = 5, kBlueBits = 5;
    template <class T>
    [[gnu::always_inline]] static T word(const T& r, const T& g, const T& b) {
        return (b << 10) | (g << 5) | r;
    }
};

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
    storeLow<Format::kSize>(d, Format::template word<uint32_t>(r, g, b));
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

#if defined(__SSE2__) || defined(__wasm_simd128__)
#define DEMO_CONVERTER_LANES 1
// 256-bit lanes where the processor has AVX2, chosen at run time. Not on Windows: GCC there
// cannot align the stack to 32 bytes, and a spilled 256-bit register would fault.
#if defined(__x86_64__) && !defined(_WIN32)
#define DEMO_CONVERTER_AVX2 1
#endif

// N 32-bit lanes in GCC/Clang vector notation: SSE2 (4) or AVX2 (8) on x86-64, simd128 (4) in
// the browser.
template <int N>
struct Lanes;
template <>
struct Lanes<4> {
    typedef int32_t Int __attribute__((vector_size(16)));
    typedef uint32_t Word __attribute__((vector_size(16)));
    typedef float Float __attribute__((vector_size(16)));
    typedef uint16_t Half __attribute__((vector_size(8)));
};
template <>
struct Lanes<8> {
    typedef int32_t Int __attribute__((vector_size(32)));
    typedef uint32_t Word __attribute__((vector_size(32)));
    typedef float Float __attribute__((vector_size(32)));
    typedef uint16_t Half __attribute__((vector_size(16)));
};
typedef Lanes<4>::Int Int4;

// Everything below is inlined into the loop it serves, so that the AVX2 loop compiles it
// with AVX2 and nothing 256 bits wide crosses a call.
#define LANES_INLINE [[gnu::always_inline]] inline

// quantize in every lane: the same clamp of the pattern and the same single float addition
// (IEEE in every lane, denormals included), so every lane gets the scalar bits.
template <int kBits, int N>
LANES_INLINE typename Lanes<N>::Word quantizeLanes(const typename Lanes<N>::Int& pattern) {
    using L = Lanes<N>;
    typename L::Int bits = pattern;
    bits &= ~(bits < 0);
    const typename L::Int high = bits > 0x3F7FFFFE;
    bits = (bits & ~high) | (high & 0x3F7FFFFE);
    const typename L::Float sum = 1.0f + std::bit_cast<typename L::Float>(bits);
    return (std::bit_cast<typename L::Word>(sum) >> (23 - kBits)) & ((1u << kBits) - 1u);
}

template <int kSize, int N>
LANES_INLINE void storeLanes(uint8_t* d, const typename Lanes<N>::Word& words) {
    if constexpr (kSize == 4) {
        memcpy(d, &words, sizeof words);
    } else if constexpr (kSize == 2) {
        const typename Lanes<N>::Half halves =
            __builtin_convertvector(words, typename Lanes<N>::Half);
        memcpy(d, &halves, sizeof halves);
    } else {
        // Each word's fourth byte is overwritten by the next pixel; the last stops at three.
        for (int p = 0; p < N - 1; ++p) storeWord(d + 3 * p, words[p]);
        storeLow<3>(d + 3 * (N - 1), words[N - 1]);
    }
}

// r, g and b of N pixels, one vector each (depth dropped): a 4x4 transpose of the floats'
// bit patterns, done in each 128-bit half on their own. The eight-lane load puts pixels p
// and p + 4 in the halves of one vector, so the halves' transposes give the pixels in order.
LANES_INLINE Int4 loadPixel(const uint8_t* s) {
    Int4 p;
    memcpy(&p, s, sizeof p);
    return p;
}

struct Components4 {
    Int4 r, g, b;
};
LANES_INLINE Components4 loadComponents(const uint8_t* s, Lanes<4>) {
    const Int4 p0 = loadPixel(s), p1 = loadPixel(s + 16), p2 = loadPixel(s + 32),
               p3 = loadPixel(s + 48);
    const Int4 rg01 = __builtin_shufflevector(p0, p1, 0, 4, 1, 5);
    const Int4 rg23 = __builtin_shufflevector(p2, p3, 0, 4, 1, 5);
    const Int4 b01 = __builtin_shufflevector(p0, p1, 2, 6, 3, 7);
    const Int4 b23 = __builtin_shufflevector(p2, p3, 2, 6, 3, 7);
    return {__builtin_shufflevector(rg01, rg23, 0, 1, 4, 5),
            __builtin_shufflevector(rg01, rg23, 2, 3, 6, 7),
            __builtin_shufflevector(b01, b23, 0, 1, 4, 5)};
}

#ifdef DEMO_CONVERTER_AVX2
typedef Lanes<8>::Int Int8;
struct Components8 {
    Int8 r, g, b;
};
// Pixels i and i + 4 in the two halves.
LANES_INLINE Int8 loadPixelPair(const uint8_t* s) {
    return __builtin_shufflevector(loadPixel(s), loadPixel(s + 64), 0, 1, 2, 3, 4, 5, 6, 7);
}
LANES_INLINE Components8 loadComponents(const uint8_t* s, Lanes<8>) {
    const Int8 p0 = loadPixelPair(s), p1 = loadPixelPair(s + 16), p2 = loadPixelPair(s + 32),
               p3 = loadPixelPair(s + 48);
    const Int8 rg01 = __builtin_shufflevector(p0, p1, 0, 8, 1, 9, 4, 12, 5, 13);
    const Int8 rg23 = __builtin_shufflevector(p2, p3, 0, 8, 1, 9, 4, 12, 5, 13);
    const Int8 b01 = __builtin_shufflevector(p0, p1, 2, 10, 3, 11, 6, 14, 7, 15);
    const Int8 b23 = __builtin_shufflevector(p2, p3, 2, 10, 3, 11, 6, 14, 7, 15);
    return {__builtin_shufflevector(rg01, rg23, 0, 1, 8, 9, 4, 5, 12, 13),
            __builtin_shufflevector(rg01, rg23, 2, 3, 10, 11, 6, 7, 14, 15),
            __builtin_shufflevector(b01, b23, 0, 1, 8, 9, 4, 5, 12, 13)};
}
#endif

template <class Format, int N>
LANES_INLINE void convertPixelsInLanes(const uint8_t* s, uint8_t* d) {
    const auto c = loadComponents(s, Lanes<N>{});
    const typename Lanes<N>::Word r = quantizeLanes<Format::kRedBits, N>(c.r);
    const typename Lanes<N>::Word g = quantizeLanes<Format::kGreenBits, N>(c.g);
    const typename Lanes<N>::Word b = quantizeLanes<Format::kBlueBits, N>(c.b);
    storeLanes<Format::kSize, N>(d, Format::template word<typename Lanes<N>::Word>(r, g, b));
}

// Blocks of N pixels, the rest one by one with the scalar code (the same bits either way).
template <class Format, int N>
LANES_INLINE void convertRunInLanes(const void* source, void* destination, uint32_t count) {
    const uint8_t* s = static_cast<const uint8_t*>(source);
    uint8_t* d = static_cast<uint8_t*>(destination);
    for (uint32_t block = count / N; block != 0; --block) {
        convertPixelsInLanes<Format, N>(s, d);
        s += N * kFloatPixelSize;
        d += N * Format::kSize;
    }
    for (uint32_t rest = count % N; rest != 0; --rest) {
        convertFloatPixel<Format>(s, d);
        s += kFloatPixelSize;
        d += Format::kSize;
    }
}

template <class Format>
void convertFromFloatsInLanes(const void* source, void* destination, uint32_t count) {
    convertRunInLanes<Format, 4>(source, destination, count);
}

#ifdef DEMO_CONVERTER_AVX2
template <class Format>
[[gnu::target("avx2")]] void convertFromFloatsInAvx2(const void* source, void* destination,
                                                     uint32_t count) {
    convertRunInLanes<Format, 8>(source, destination, count);
}
#endif
#endif

// What the converters run (Widest): AVX2 where the build and the processor have it, else
// four lanes where the build has them, else the scalar code.
template <class Format>
void convertFloats(const void* source, void* destination, uint32_t count,
                   ConversionLanes lanes = ConversionLanes::Widest) {
    if (lanes == ConversionLanes::Scalar)
        return convertFromFloats<Format>(source, destination, count);
#if defined(DEMO_CONVERTER_AVX2)
    if (lanes == ConversionLanes::Widest && __builtin_cpu_supports("avx2")) {
        return convertFromFloatsInAvx2<Format>(source, destination, count);
    }
#endif
#if defined(DEMO_CONVERTER_LANES)
    convertFromFloatsInLanes<Format>(source, destination, count);
#else
    convertFromFloats<Format>(source, destination, count);
#endif
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
