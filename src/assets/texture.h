// PNG pictures decoded into float textures (the Texture record and its texel layout:
// render/texture.h).
//
// Decoding: every PNG colour type, bit depth and interlacing becomes 8-bit RGBA. Grey becomes
// equal r, g, b; 16-bit samples keep their most significant byte; 1, 2 and 4-bit grey is
// scaled to 0..255; palette entries take the alpha of the tRNS chunk (255 beyond it); a colour
// key gives alpha 0 to exactly that colour, 255 elsewhere; no transparency gives alpha 255.
// No gamma or colour-space conversion is ever applied: gAMA, sRGB, iCCP and cHRM are ignored.
// A byte b becomes the float b * 0.00392156862745098 (a double product rounded to float), so
// 0 gives 0.0 and 255 gives exactly 1.0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/texture.h"

// Pictures larger than this in either direction, or in texel count, are refused before any
// allocation: a hostile header must not make us reserve gigabytes.
constexpr int kMaxTextureSide = 16384;
constexpr long long kMaxTextureTexels = 16LL * 1024 * 1024;
// Largest ancillary chunk (compressed or expanded text, profiles) the decoder will hold;
// bigger ones are skipped, the picture still decodes.
constexpr size_t kMaxPngChunkBytes = 2 * 1024 * 1024;
// A PNG cannot be much larger than its raw pixels, and those are bounded by kMaxTextureTexels:
// a longer file is refused before it is read.
constexpr size_t kMaxPngFileBytes = 256u * 1024 * 1024;

// Error codes of decodePng and readTexture; 0 is success.
enum PngError : int {
    kPngOk = 0,
    kPngUnreadable = 1,   // the file cannot be opened or read
    kPngEmpty = 2,        // no bytes at all
    kPngNotPng = 3,       // the signature is not the PNG signature
    kPngCorrupt = 4,      // the decoder refused the data (bad chunk, checksum, truncation...)
    kPngTooLarge = 5,     // dimensions beyond kMaxTextureSide / kMaxTextureTexels
    kPngOutOfMemory = 6,  // the pixel or texel block could not be allocated
};

struct DecodedImage {
    std::vector<uint8_t> rgba;  // 8-bit RGBA, rows top to bottom, no padding
    int width = 0;
    int height = 0;
};

// Decodes a whole PNG file held in memory into 8-bit RGBA. Returns 0 on success, otherwise a
// non-zero PngError with a one-line reason in `reason` (when given); `out` is then empty.
int decodePng(const uint8_t* data, size_t size, DecodedImage& out, std::string* reason = nullptr);

// Reads and decodes the file at `path` into a new texture named `name` (truncated to 255
// characters). Returns null with a non-zero `errorCode` and a one-line `message` naming the
// file when it cannot be read or decoded. Never exits.
Texture* readTexture(const char* path, const char* name, int& errorCode, std::string& message);

// What readTexture does with a whole PNG file held in memory; `path` only names it in the
// message.
Texture* decodeTexture(const uint8_t* data, size_t size, const char* path, const char* name,
                       int& errorCode, std::string& message);

// The texture of 8-bit RGBA already decoded, texels as the decoder makes them; fails only for
// want of memory (kPngOutOfMemory, `path` naming it).
Texture* makeTexture(const DecodedImage& image, const char* path, const char* name,
                     int& errorCode, std::string& message);

void freeTexture(Texture* texture);
