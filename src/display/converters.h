// Pixel format converters: two source formats, nine destination formats, bit-exact.
//
// Float components become n-bit integers on their bit pattern: negative (sign bit) gives 0,
// bits >= 0x3F7FFFFF give 2^n - 1, otherwise the top n mantissa bits of (1.0f + v). No
// float-to-integer instruction is involved. Multi-byte words are little-endian; X bits are 0.
#pragma once

#include <cstdint>

namespace PixelDisplay {

enum PixelFormat : int32_t {
    NoFormat = 0,
    XRGB8888 = 1,
    XBGR8888 = 2,
    RGB888 = 3,
    BGR888 = 4,
    RGB565 = 5,
    BGR565 = 6,
    XRGB1555 = 7,
    XBGR1555 = 8,
    XBGRFFFF = 9,
};

class Converter {
public:
    virtual ~Converter() = default;                                                   // 0
    virtual void prepare() = 0;                                                       // 1
    virtual void convert(const void* source, void* destination, uint32_t count) = 0;  // 2
    virtual void finish() = 0;                                                        // 3
};

class ConverterAdapter : public Converter {
public:
    void prepare() override {}
    void finish() override {}
};

// The 18 concrete converters; findConverter hands out their single shared instances.
class Converter_XBGRFFFF_to_XRGB8888 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XBGRFFFF_to_XBGR8888 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XBGRFFFF_to_RGB888 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XBGRFFFF_to_BGR888 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XBGRFFFF_to_RGB565 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XBGRFFFF_to_BGR565 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XBGRFFFF_to_XRGB1555 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XBGRFFFF_to_XBGR1555 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XBGRFFFF_to_XBGRFFFF : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_XRGB8888 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_XBGR8888 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_RGB888 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_BGR888 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_RGB565 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_BGR565 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_XRGB1555 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_XBGR1555 : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};
class Converter_XRGB8888_to_XBGRFFFF : public ConverterAdapter {
public:
    void convert(const void* source, void* destination, uint32_t count) override;
};

// The shared converter for (source, destination), or null. Sources: XBGRFFFF and XRGB8888;
// destinations 1..9.
Converter* findConverter(PixelFormat source, PixelFormat destination);

// findConverter(XBGRFFFF, destination)->convert runs Widest, widestLanes() of lanes/lanes.h:
// eight lanes (AVX2) where the build and the processor have them, four (SSE2, simd128) where
// the build has them, scalar code otherwise. The others are for tests and benchmarks: every
// choice gives the Scalar reference's bits.
enum class ConversionLanes { Widest, Four, Scalar };
void convertFloatsWith(ConversionLanes lanes, PixelFormat destination, const void* source,
                       void* output, uint32_t count);

// Bytes per pixel of a format (0 for NoFormat or unknown values).
int pixelSize(PixelFormat format);

}  // namespace PixelDisplay
