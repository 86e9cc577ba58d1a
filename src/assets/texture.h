// PNG pictures decoded into float textures.
//
// A texel is four floats r, g, b, a in 0..1, the same layout as a framebuffer pixel, so the
// rasterizers and the 2D effects use texels without conversion. Rows run top to bottom of
// the picture; texel (x, y) is at index y * width + x. The texel block is 64-byte aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Texture {
    float* texels;  // width * height * 4 floats
    char name[256];
    int width;
    int height;
};

// Pictures larger than this in either direction, or in texel count, are refused before any
// allocation: a hostile header must not make us reserve gigabytes.
constexpr int kMaxTextureSide = 16384;
constexpr long long kMaxTextureTexels = 16LL * 1024 * 1024;

struct DecodedImage {
    std::vector<uint8_t> rgba;  // 8-bit RGBA, rows top to bottom, no padding
    int width = 0;
    int height = 0;
};

// Decodes a whole PNG file held in memory into 8-bit RGBA. Returns 0 on success, otherwise a
// non-zero error code with a one-line reason in `reason` (when given).
int decodePng(const uint8_t* data, size_t size, DecodedImage& out, std::string* reason = nullptr);

// Reads and decodes the file at `path` into a new texture named `name`. Returns null with a
// non-zero `errorCode` and a one-line `message` naming the file when it cannot be read or
// decoded. Never exits.
Texture* readTexture(const char* path, const char* name, int& errorCode, std::string& message);

// Start-up policy around readTexture: on failure prints "error(%d) decoding png from %s\n",
// waits for one key press when a console is attached and ends the process with status 1.
Texture* loadTexture(const char* path, const char* name);

void freeTexture(Texture* texture);
