#include "generator/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>

namespace assetgen {

Font::~Font() {
    if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

bool Font::open(const std::string& path, std::string& message) {
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) {
        message = "FreeType cannot be initialised";
        return false;
    }
    library_ = library;
    FT_Face face;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
        message = path + ": cannot load the font (package fonts-dejavu-core)";
        return false;
    }
    face_ = face;
    return true;
}

Coverage Font::render(const std::string& text, int pixelHeight) const {
    FT_Face face = static_cast<FT_Face>(face_);
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight));
    // Two passes: the first finds the ink box on a baseline at y = 0, the second draws.
    struct Placed {
        int x, y;  // top-left of the glyph bitmap relative to the pen origin
        std::vector<uint8_t> pixels;
        int width, height;
    };
    std::vector<Placed> glyphs;
    long pen = 0;  // 26.6
    FT_UInt previous = 0;
    int minX = INT_MAX, minY = INT_MAX, maxX = INT_MIN, maxY = INT_MIN;
    for (unsigned char c : text) {
        const FT_UInt index = FT_Get_Char_Index(face, c);
        if (previous && index && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &kern);
            pen += kern.x;
        }
        previous = index;
        if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        Placed placed;
        placed.x = static_cast<int>((pen + 32) >> 6) + slot->bitmap_left;
        placed.y = -slot->bitmap_top;
        placed.width = static_cast<int>(bitmap.width);
        placed.height = static_cast<int>(bitmap.rows);
        placed.pixels.resize(static_cast<size_t>(placed.width) * placed.height);
        for (int y = 0; y < placed.height; ++y) {
            for (int x = 0; x < placed.width; ++x) {
                placed.pixels[static_cast<size_t>(y) * placed.width + x] =
                    bitmap.buffer[y * bitmap.pitch + x];
            }
        }
        if (placed.width > 0 && placed.height > 0) {
            minX = std::min(minX, placed.x);
            minY = std::min(minY, placed.y);
            maxX = std::max(maxX, placed.x + placed.width);
            maxY = std::max(maxY, placed.y + placed.height);
        }
        pen += slot->advance.x;
        glyphs.push_back(std::move(placed));
    }
    Coverage out;
    if (minX > maxX) return out;
    out.width = maxX - minX;
    out.height = maxY - minY;
    out.alpha.assign(static_cast<size_t>(out.width) * out.height, 0);
    for (const auto& glyph : glyphs) {
        for (int y = 0; y < glyph.height; ++y) {
            for (int x = 0; x < glyph.width; ++x) {
                uint8_t& dst = out.alpha[static_cast<size_t>(glyph.y - minY + y) * out.width +
                                         glyph.x - minX + x];
                dst = std::max(dst, glyph.pixels[static_cast<size_t>(y) * glyph.width + x]);
            }
        }
    }
    return out;
}

}  // namespace assetgen
