#include "label_font.h"

#include <cstdint>

namespace {

struct Glyph {
    char c;
    uint8_t rows[7];  // five bits a row, the leftmost pixel in bit 4
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},
    {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}},
    {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}},
    {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

const Glyph* findGlyph(char c) {
    for (const Glyph& glyph : kGlyphs) {
        if (glyph.c == c) return &glyph;
    }
    return nullptr;
}

void setPixel(RgbImage& image, int x, int y, uint8_t value) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
    uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
    p[0] = p[1] = p[2] = value;
}

}  // namespace

void drawLabel(RgbImage& image, int x, int y, const std::string& text, int scale) {
    const int advance = 6 * scale;
    const int boxWidth = static_cast<int>(text.size()) * advance + scale;
    const int boxHeight = 9 * scale;
    for (int by = 0; by < boxHeight; ++by) {
        for (int bx = 0; bx < boxWidth; ++bx) setPixel(image, x + bx, y + by, 0);
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = findGlyph(text[i]);
        if (!glyph) continue;
        const int left = x + scale + static_cast<int>(i) * advance;
        for (int row = 0; row < 7; ++row) {
            for (int column = 0; column < 5; ++column) {
                if (!(glyph->rows[row] & (0x10 >> column))) continue;
                for (int sy = 0; sy < scale; ++sy) {
                    for (int sx = 0; sx < scale; ++sx) {
                        setPixel(image, left + column * scale + sx, y + scale + row * scale + sy,
                                 255);
                    }
                }
            }
        }
    }
}
