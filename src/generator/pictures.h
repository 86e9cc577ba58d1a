// The show's pictures: greeting banners, title, credits, the twister texture and the lettering
// textures, drawn in float RGBA and written as 8-bit PNG.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "generator/common.h"
#include "generator/font.h"
#include "scenes/data_files.h"

namespace assetgen {

struct Image {
    int width = 0, height = 0;
    std::vector<float> rgba;  // 4 floats a pixel, 0..1, rows top to bottom
    Image(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0.0f) {}
    float* at(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    // Source-over blend of a colour with coverage `alpha`.
    void blend(int x, int y, const float colour[3], float alpha);
};

// The 8-bit samples a PNG of the image holds: RGBA, or RGB when `withAlpha` is false.
std::vector<uint8_t> pixelBytes(const Image& image, bool withAlpha);

// 8-bit RGBA (or RGB when `withAlpha` is false) PNG, no time or text chunks.
bool encodePng(const Image& image, bool withAlpha, Bytes& out, std::string& message);

// The human-editable texts (assets/texts.txt): "key = value" lines, a key may repeat.
using Texts = std::multimap<std::string, std::string>;
bool parseTexts(const std::string& text, const std::string& fileName, Texts& texts,
                std::string& message);

struct Picture {
    std::string file;
    Image image;
    bool withAlpha;
};

// Every picture of the data file table, by file name, in the table's order. Fails when a text
// is missing.
bool makePictures(const Font& font, const Texts& texts, std::vector<Picture>& pictures,
                  std::string& message);

// The text of a mesh file made from the texts.
struct MeshText {
    const DataFile* file;
    std::string text;
};
// The lettering meshes of the data file table, each from its text, in the table's order.
bool makeLetteringMeshes(const Font& font, const Texts& texts, std::vector<MeshText>& meshes,
                         std::string& message);

}  // namespace assetgen
