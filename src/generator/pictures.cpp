#include "generator/pictures.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "generator/meshgen.h"
#include "render/screen.h"
#include "scenes/data_files.h"

namespace assetgen {

namespace {

using Fill = std::function<void(int x, int y, float colour[3])>;

float clamp01(float v) {
    return std::min(1.0f, std::max(0.0f, v));
}

void mix(float out[3], const float a[3], const float b[3], float t) {
    for (int i = 0; i < 3; ++i) out[i] = a[i] + (b[i] - a[i]) * t;
}

// Coverage grown by `radius` pixels (max over a disc), for outlines and shadows.
Coverage dilate(const Coverage& in, int radius) {
    Coverage out;
    out.width = in.width + 2 * radius;
    out.height = in.height + 2 * radius;
    out.alpha.assign(static_cast<size_t>(out.width) * out.height, 0);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            uint8_t best = 0;
            for (int dy = -radius; dy <= radius; ++dy) {
                for (int dx = -radius; dx <= radius; ++dx) {
                    if (dx * dx + dy * dy > radius * radius) continue;
                    best = std::max(best, in.at(x - radius + dx, y - radius + dy));
                }
            }
            out.alpha[static_cast<size_t>(y) * out.width + x] = best;
        }
    }
    return out;
}

// Draws coverage with its top-left at (left, top), the colour per pixel from `fill`.
void paint(Image& image, const Coverage& mask, int left, int top, const Fill& fill,
           float opacity = 1.0f) {
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            const int px = left + x, py = top + y;
            if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
            const float alpha = mask.at(x, y) * (1.0f / 255.0f) * opacity;
            if (alpha <= 0.0f) continue;
            float colour[3];
            fill(px, py, colour);
            image.blend(px, py, colour, alpha);
        }
    }
}

Fill solid(float r, float g, float b) {
    return [=](int, int, float c[3]) { c[0] = r, c[1] = g, c[2] = b; };
}

// Text with a dark outline and a soft drop shadow, centred on `centreX`, top at `top`.
void outlinedText(Image& image, const Coverage& text, int centreX, int top, const Fill& fill,
                  int outline = 2) {
    const int left = centreX - text.width / 2;
    const Coverage shadow = dilate(text, outline + 1);
    paint(image, shadow, left - outline - 1 + 3, top - outline - 1 + 3, solid(0, 0, 0), 0.45f);
    const Coverage rim = dilate(text, outline);
    paint(image, rim, left - outline, top - outline, solid(0.03f, 0.02f, 0.08f));
    paint(image, text, left, top, fill);
}

// The text at `size` pixels, or smaller until it fits `maxWidth`.
Coverage fitted(const Font& font, const std::string& text, int size, int maxWidth) {
    Coverage coverage = font.render(text, size);
    while (coverage.width > maxWidth && size > 10) coverage = font.render(text, --size);
    return coverage;
}

const std::string* lookup(const Texts& texts, const std::string& key, std::string& message) {
    const auto found = texts.find(key);
    if (found == texts.end()) {
        message = "texts: missing '" + key + "'";
        return nullptr;
    }
    return &found->second;
}

// Greeting banner: a chrome-edged bar in its own colour, the line of text in the middle.
Image banner(const Font& font, const std::string& line, float hue) {
    Image image(kScreenWidth, 73);
    const float base[3] = {0.5f + 0.5f * std::cos(hue), 0.5f + 0.5f * std::cos(hue - 2.1f),
                           0.5f + 0.5f * std::cos(hue + 2.1f)};
    for (int y = 0; y < image.height; ++y) {
        const float t = y / 72.0f;
        // Bright rims top and bottom, a dark glassy middle with faint scan lines.
        const float rim = std::exp(-y * 0.6f) + std::exp(-(72 - y) * 0.6f);
        const float body = 0.12f + 0.22f * std::sin(t * 3.14159265f) * (y % 3 == 0 ? 0.8f : 1.0f);
        for (int x = 0; x < image.width; ++x) {
            float* p = image.at(x, y);
            const float glow = 0.08f * std::cos((x - image.width / 2) * 0.006f);
            for (int i = 0; i < 3; ++i) p[i] = clamp01(base[i] * (body + glow) + rim * 0.9f);
            p[3] = 1.0f;
        }
    }
    const Coverage text = fitted(font, line, 34, 600);
    const float top[3] = {1.0f, 1.0f, 1.0f};
    const float bottom[3] = {0.75f + 0.25f * base[0], 0.75f + 0.25f * base[1],
                             0.75f + 0.25f * base[2]};
    const int y0 = (73 - text.height) / 2;
    outlinedText(image, text, image.width / 2, y0, [&](int, int y, float c[3]) {
        mix(c, top, bottom, clamp01((y - y0) / static_cast<float>(text.height)));
    });
    return image;
}

Image title(const Font& font, const std::string& name, const std::string& subtitle) {
    Image image(kScreenWidth, 124);
    const Coverage big = fitted(font, name, 76, 600);
    const Coverage small = fitted(font, subtitle, 20, 600);
    const int top = 8;
    const float gold[3] = {1.0f, 0.93f, 0.55f}, ember[3] = {0.95f, 0.38f, 0.12f};
    outlinedText(
        image, big, image.width / 2, top,
        [&](int, int y, float c[3]) {
            const float t = clamp01((y - top) / static_cast<float>(big.height));
            mix(c, gold, ember, t);
            // A thin highlight band across the letters.
            if (std::abs(t - 0.35f) < 0.04f) c[0] = c[1] = c[2] = 1.0f;
        },
        3);
    outlinedText(image, small, image.width / 2, top + big.height + 14, solid(0.85f, 0.95f, 1.0f));
    return image;
}

// Credits: for each "role | name", the role small in cyan and the name large below it.
Image credits(const Font& font, const std::vector<std::string>& lines) {
    Image image(kScreenWidth, 180);
    int y = 6;
    for (const auto& line : lines) {
        const size_t bar = line.find('|');
        auto trim = [](std::string s) {
            const size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
            return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
        };
        const std::string role = trim(line.substr(0, bar));
        const std::string name = bar == std::string::npos ? "" : trim(line.substr(bar + 1));
        const Coverage roleText = fitted(font, role, 22, 600);
        const Coverage nameText = fitted(font, name, 46, 600);
        outlinedText(image, roleText, image.width / 2, y, solid(0.45f, 0.9f, 1.0f));
        y += roleText.height + 8;
        const int nameTop = y;
        const float white[3] = {1, 1, 1}, rose[3] = {1.0f, 0.62f, 0.8f};
        outlinedText(
            image, nameText, image.width / 2, y,
            [&](int, int py, float c[3]) {
                mix(c, white, rose, clamp01((py - nameTop) / static_cast<float>(nameText.height)));
            },
            3);
        y += nameText.height + 22;
    }
    return image;
}

// Implicit heart, |x|, y in about -1.2..1.2 (y up): inside when the value is <= 0.
float heart(float x, float y) {
    const float a = x * x + y * y - 1.0f;
    return a * a * a - x * x * y * y * y;
}

// The twister's texture: four strips of 128 columns, one per side of the bar, each with its
// own colours, shaded darker towards its edges so that the sides read as faces.
Image hearts() {
    Image image(512, 512);
    struct Scheme {
        float background[3], heart[3];
    };
    const Scheme schemes[4] = {{{0.98f, 0.72f, 0.80f}, {0.85f, 0.08f, 0.22f}},
                               {{0.80f, 0.10f, 0.20f}, {1.0f, 0.93f, 0.95f}},
                               {{0.40f, 0.16f, 0.55f}, {1.0f, 0.55f, 0.80f}},
                               {{0.30f, 0.05f, 0.10f}, {1.0f, 0.80f, 0.30f}}};
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const int strip = x / 128;
            const int local = x % 128;
            const Scheme& s = schemes[strip];
            // Hearts on a 64 x 64 lattice, every other row shifted by half a cell.
            const int row = y / 64;
            const float cellX = std::fmod(local + (row & 1) * 32.0f + 64.0f, 64.0f);
            const float cellY = static_cast<float>(y % 64);
            int inside = 0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const float hx = (cellX + (sx + 0.5f) * 0.25f - 32.0f) / 20.0f;
                    const float hy = -(cellY + (sy + 0.5f) * 0.25f - 34.0f) / 20.0f;
                    if (heart(hx, hy) <= 0.0f) ++inside;
                }
            }
            float c[3];
            mix(c, s.background, s.heart, inside / 16.0f);
            const float edge = std::min(local, 127 - local) / 64.0f;  // 0 at the edges
            const float shade = 0.55f + 0.45f * std::sqrt(std::min(1.0f, edge * 2.5f));
            float* p = image.at(x, y);
            for (int i = 0; i < 3; ++i) p[i] = clamp01(c[i] * shade);
            p[3] = 1.0f;
        }
    }
    return image;
}

// Lettering texture: a bright gradient with bands, sampled across the letters' fronts.
Image letteringTexture(const float top[3], const float middle[3], const float bottom[3]) {
    Image image(256, 64);
    for (int y = 0; y < image.height; ++y) {
        const float t = y / 63.0f;
        float c[3];
        if (t < 0.5f) {
            mix(c, top, middle, t * 2.0f);
        } else {
            mix(c, middle, bottom, (t - 0.5f) * 2.0f);
        }
        for (int x = 0; x < image.width; ++x) {
            // Diagonal glints moving across the face.
            const float glint = std::pow(0.5f + 0.5f * std::sin((x + y * 1.5f) * 0.09f), 12.0f);
            float* p = image.at(x, y);
            const float band = (y % 8 == 0) ? 0.85f : 1.0f;
            for (int i = 0; i < 3; ++i) p[i] = clamp01(c[i] * band + 0.5f * glint);
            p[3] = 1.0f;
        }
    }
    return image;
}

void flushRows(png_structp) {}

void appendRows(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

}  // namespace

void Image::blend(int x, int y, const float colour[3], float alpha) {
    float* p = at(x, y);
    const float outAlpha = alpha + p[3] * (1.0f - alpha);
    if (outAlpha <= 0.0f) return;
    for (int i = 0; i < 3; ++i) {
        p[i] = (colour[i] * alpha + p[i] * p[3] * (1.0f - alpha)) / outAlpha;
    }
    p[3] = outAlpha;
}

std::vector<uint8_t> pixelBytes(const Image& image, bool withAlpha) {
    const int channels = withAlpha ? 4 : 3;
    std::vector<uint8_t> rows(static_cast<size_t>(image.width) * image.height * channels);
    for (size_t i = 0, n = static_cast<size_t>(image.width) * image.height; i < n; ++i) {
        for (int c = 0; c < channels; ++c) {
            rows[i * channels + c] =
                static_cast<uint8_t>(std::lround(clamp01(image.rgba[i * 4 + c]) * 255.0f));
        }
    }
    return rows;
}

bool encodePng(const Image& image, bool withAlpha, Bytes& out, std::string& message) {
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        message = "libpng: out of memory";
        return false;
    }
    const int channels = withAlpha ? 4 : 3;
    const std::vector<uint8_t> rows = pixelBytes(image, withAlpha);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        message = "libpng: encoding failed";
        return false;
    }
    png_set_write_fn(png, &out, appendRows, flushRows);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8,
                 withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, &rows[static_cast<size_t>(y) * image.width * channels]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool parseTexts(const std::string& text, const std::string& fileName, Texts& texts,
                std::string& message) {
    texts.clear();
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        const size_t equals = line.find(" = ");
        if (equals == std::string::npos) {
            message = fileName + ":" + std::to_string(number) + ": expected 'key = text'";
            return false;
        }
        std::string value = line.substr(equals + 3);
        if (!value.empty() && value.back() == '\r') value.pop_back();
        for (unsigned char c : value) {
            if (c < 32 || c > 126) {
                message = fileName + ":" + std::to_string(number) + ": only plain ASCII text";
                return false;
            }
        }
        texts.emplace(line.substr(0, line.find_last_not_of(' ', equals) + 1), value);
    }
    return true;
}

bool makePictures(const Font& font, const Texts& texts, std::vector<Picture>& pictures,
                  std::string& message) {
    pictures.clear();
    // The lettering textures' colours, in the order of their files: ice, sun.
    static const float kLettering[2][3][3] = {
        {{0.55f, 0.9f, 1.0f}, {1.0f, 1.0f, 1.0f}, {0.75f, 0.3f, 1.0f}},
        {{1.0f, 0.95f, 0.5f}, {1.0f, 0.55f, 0.15f}, {0.85f, 0.1f, 0.25f}}};
    int letteringTextures = 0;
    for (const DataFile& file : kDataFiles) {
        if (file.role == DataRole::kLetteringPicture) {
            if (letteringTextures >= 2) {
                message = std::string(file.name) + ": no colours for a third lettering texture";
                return false;
            }
            const float(*colours)[3] = kLettering[letteringTextures++];
            pictures.push_back(
                {file.name, letteringTexture(colours[0], colours[1], colours[2]), false});
            continue;
        }
        if (file.role != DataRole::kPicture) continue;
        if (file.slot >= kGreetPicture1 && file.slot <= kGreetPicture6) {
            const std::string* line = lookup(texts, file.text, message);
            if (!line) return false;
            const float hue = 0.9f + 1.05f * static_cast<float>(file.slot - kGreetPicture1);
            pictures.push_back({file.name, banner(font, *line, hue), false});
        } else if (file.slot == kTitlePicture) {
            const std::string* name = lookup(texts, file.text, message);
            const std::string* subtitle = name ? lookup(texts, "subtitle", message) : nullptr;
            if (!subtitle) return false;
            pictures.push_back({file.name, title(font, *name, *subtitle), true});
        } else if (file.slot == kCredit1Picture || file.slot == kCredit2Picture) {
            std::vector<std::string> lines;
            for (auto [it, end] = texts.equal_range(file.text); it != end; ++it)
                lines.push_back(it->second);
            if (lines.empty() || lines.size() > 2) {
                message = std::string("texts: '") + file.text + "' needs one or two lines";
                return false;
            }
            pictures.push_back({file.name, credits(font, lines), true});
        } else {
            pictures.push_back({file.name, hearts(), false});
        }
    }
    return true;
}

bool makeLetteringMeshes(const Font& font, const Texts& texts, std::vector<MeshText>& meshes,
                         std::string& message) {
    meshes.clear();
    for (const DataFile& file : kDataFiles) {
        if (file.role != DataRole::kLetteringMesh) continue;
        const auto found = texts.find(file.text);
        if (found == texts.end()) {
            message = std::string("'") + file.text + "' is needed for " + file.name;
            return false;
        }
        // The first text is placed 180 units left of the screen's centre line, the second
        // right; their own offset of 36 units, times the scale 5, brings them back to the
        // middle.
        const double centreX = file.slot == kText1Mesh ? 36.0 : -36.0;
        meshes.push_back({&file, makeLettering(font, found->second, centreX, file.texture)});
    }
    return true;
}

}  // namespace assetgen
