// Writing what the display would show: the frame converted to XRGB8888, saved as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/screen.h"

// An 8-bit RGB picture, rows top to bottom.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// The framebuffer (screen.width x screen.height r, g, b, depth floats) through the display's
// float-to-XRGB8888 converter, as 32-bit words 0x00RRGGBB.
void convertFrame(const float* framebuffer, const ScreenSize& screen, std::vector<uint32_t>& words);
RgbImage wordsToImage(const std::vector<uint32_t>& words, int width, int height);
// The same into `image`, reusing its storage.
void wordsToImage(const std::vector<uint32_t>& words, int width, int height, RgbImage& image);

// kSmall: zlib's default effort and libpng's filter choice, for pictures kept as they are.
// kFast: the fastest zlib level and the "up" filter, about three times quicker and a third
// larger, for frames on their way to an editor or a video encoder.
enum class PngEffort { kSmall, kFast };

// False with a one-line reason on failure.
bool writePng(const std::string& path, const RgbImage& image, std::string& error,
              PngEffort effort = PngEffort::kSmall);
