// Text rendered with FreeType into 8-bit coverage masks, for the pictures and the lettering.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

// A rendered line of text: coverage 0..255, rows top to bottom, tight around the ink.
struct Coverage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> alpha;
    uint8_t at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0;
        return alpha[static_cast<size_t>(y) * width + x];
    }
};

class Font {
public:
    Font() = default;
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool open(const std::string& path, std::string& message);
    // Renders one line (ASCII) at `pixelHeight` pixels per em. Empty coverage for empty text.
    Coverage render(const std::string& text, int pixelHeight) const;

private:
    void* library_ = nullptr;  // FT_Library
    void* face_ = nullptr;     // FT_Face
};

}  // namespace assetgen
