#include "image_output.h"

#include <png.h>

#include <cstdio>

#include "display/converters.h"

void convertFrame(const float* framebuffer, const ScreenSize& screen,
                  std::vector<uint32_t>& words) {
    using namespace PixelDisplay;
    words.resize(static_cast<size_t>(screen.pixels()));
    Converter* converter = findConverter(XBGRFFFF, XRGB8888);
    converter->prepare();
    converter->convert(framebuffer, words.data(), static_cast<uint32_t>(screen.pixels()));
    converter->finish();
}

RgbImage wordsToImage(const std::vector<uint32_t>& words, int width, int height) {
    RgbImage image;
    wordsToImage(words, width, height, image);
    return image;
}

void wordsToImage(const std::vector<uint32_t>& words, int width, int height, RgbImage& image) {
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        image.rgb[i * 3 + 0] = static_cast<uint8_t>(words[i] >> 16);
        image.rgb[i * 3 + 1] = static_cast<uint8_t>(words[i] >> 8);
        image.rgb[i * 3 + 2] = static_cast<uint8_t>(words[i]);
    }
}

bool writePng(const std::string& path, const RgbImage& image, std::string& error,
              PngEffort effort) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        error = "cannot encode " + path;
        return false;
    }
    png_init_io(png, file);
    if (effort == PngEffort::kFast) {
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    }
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.rgb.data() + static_cast<size_t>(y) * image.width * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
