#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "assets/texture.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::string kSuiteDir = DEMO_PNGSUITE_DIR;

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::string> suiteFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kSuiteDir)) {
        if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Decodes from an exact-size heap copy, so that AddressSanitizer sees any read past the end.
int decodeCopy(const Bytes& bytes, size_t length, DecodedImage& out, std::string* reason) {
    Bytes copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(length));
    return decodePng(copy.data(), copy.size(), out, reason);
}

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

void put32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

// ---- A PNG writer of our own: every row with filter 0, one IDAT, extra chunks after IHDR.

struct Chunk {
    std::string type;
    Bytes data;
};

Bytes chunkBytes(const Chunk& chunk) {
    Bytes out;
    put32(out, uint32_t(chunk.data.size()));
    Bytes body(chunk.type.begin(), chunk.type.end());
    body.insert(body.end(), chunk.data.begin(), chunk.data.end());
    out.insert(out.end(), body.begin(), body.end());
    put32(out, uint32_t(crc32(0, body.data(), uInt(body.size()))));
    return out;
}

int channelsOf(int colourType) {
    switch (colourType) {
        case 0:
            return 1;
        case 2:
            return 3;
        case 3:
            return 1;
        case 4:
            return 2;
        default:
            return 4;
    }
}

Bytes ihdr(uint32_t width, uint32_t height, int depth, int colourType, int interlace = 0) {
    Bytes data;
    put32(data, width);
    put32(data, height);
    data.insert(data.end(), {uint8_t(depth), uint8_t(colourType), 0, 0, uint8_t(interlace)});
    return data;
}

Bytes zlibCompress(const Bytes& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

// `samples` holds width * height * channels values of `depth` bits, row by row.
Bytes encodePng(int width, int height, int depth, int colourType,
                const std::vector<uint16_t>& samples, const std::vector<Chunk>& extra = {}) {
    const int channels = channelsOf(colourType);
    const size_t stride = (size_t(width) * channels * depth + 7) / 8;
    Bytes raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        Bytes row(stride, 0);
        for (int i = 0; i < width * channels; ++i) {
            const uint16_t s = samples[size_t(y) * width * channels + i];
            if (depth == 16) {
                row[2 * i] = uint8_t(s >> 8);
                row[2 * i + 1] = uint8_t(s);
            } else if (depth == 8) {
                row[i] = uint8_t(s);
            } else {
                const int bit = i * depth;
                row[bit / 8] |= uint8_t(s << (8 - depth - bit % 8));
            }
        }
        raw.insert(raw.end(), row.begin(), row.end());
    }
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<Chunk> chunks = {{"IHDR", ihdr(width, height, depth, colourType)}};
    chunks.insert(chunks.end(), extra.begin(), extra.end());
    chunks.push_back({"IDAT", zlibCompress(raw)});
    chunks.push_back({"IEND", {}});
    for (const Chunk& c : chunks) {
        Bytes b = chunkBytes(c);
        png.insert(png.end(), b.begin(), b.end());
    }
    return png;
}

// ---- A reference decoder of our own for non-interlaced files: chunks, inflate, unfilter,
// and the expansion rules to 8-bit RGBA written out directly.

struct ParsedPng {
    uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    Bytes plte, trns, idat;
};

ParsedPng parseChunks(const Bytes& png) {
    ParsedPng p;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = be32(&png[at]);
        const std::string type(png.begin() + std::ptrdiff_t(at) + 4,
                               png.begin() + std::ptrdiff_t(at) + 8);
        const uint8_t* data = &png[at + 8];
        if (type == "IHDR") {
            p.width = be32(data);
            p.height = be32(data + 4);
            p.depth = data[8];
            p.colourType = data[9];
            p.interlace = data[12];
        } else if (type == "PLTE") {
            p.plte.assign(data, data + length);
        } else if (type == "tRNS") {
            p.trns.assign(data, data + length);
        } else if (type == "IDAT") {
            p.idat.insert(p.idat.end(), data, data + length);
        }
        at += 12 + length;
    }
    return p;
}

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return uint8_t(a);
    return uint8_t(pb <= pc ? b : c);
}

Bytes referenceDecode(const Bytes& png) {
    const ParsedPng p = parseChunks(png);
    const int channels = channelsOf(p.colourType);
    const size_t stride = (size_t(p.width) * channels * p.depth + 7) / 8;
    const size_t bpp = std::max<size_t>(1, size_t(channels) * p.depth / 8);
    uLongf rawSize = uLongf((stride + 1) * p.height);
    Bytes raw(rawSize);
    EXPECT_EQ(uncompress(raw.data(), &rawSize, p.idat.data(), uLong(p.idat.size())), Z_OK);

    std::vector<Bytes> rows(p.height, Bytes(stride));
    for (uint32_t y = 0; y < p.height; ++y) {
        const uint8_t filter = raw[y * (stride + 1)];
        const uint8_t* in = &raw[y * (stride + 1) + 1];
        Bytes& row = rows[y];
        for (size_t i = 0; i < stride; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0;
            const int b = y > 0 ? rows[y - 1][i] : 0;
            const int c = (y > 0 && i >= bpp) ? rows[y - 1][i - bpp] : 0;
            int predictor = 0;
            if (filter == 1) predictor = a;
            if (filter == 2) predictor = b;
            if (filter == 3) predictor = (a + b) / 2;
            if (filter == 4) predictor = paeth(a, b, c);
            row[i] = uint8_t(in[i] + predictor);
        }
    }

    auto sample = [&](const Bytes& row, size_t index) -> uint32_t {
        if (p.depth == 16) return uint32_t(row[2 * index]) << 8 | row[2 * index + 1];
        if (p.depth == 8) return row[index];
        const size_t bit = index * p.depth;
        return (row[bit / 8] >> (8 - p.depth - bit % 8)) & ((1u << p.depth) - 1);
    };
    auto to8 = [&](uint32_t s) -> uint8_t {
        if (p.depth == 16) return uint8_t(s >> 8);
        return uint8_t(s * 255 / ((1u << p.depth) - 1));
    };
    auto key = [&](int i) -> uint32_t { return uint32_t(p.trns[2 * i]) << 8 | p.trns[2 * i + 1]; };

    Bytes rgba;
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            uint32_t s[4] = {};
            for (int c = 0; c < channels; ++c) s[c] = sample(rows[y], size_t(x) * channels + c);
            uint8_t out[4] = {0, 0, 0, 255};
            switch (p.colourType) {
                case 0:
                    out[0] = out[1] = out[2] = to8(s[0]);
                    if (!p.trns.empty() && s[0] == key(0)) out[3] = 0;
                    break;
                case 2:
                    for (int c = 0; c < 3; ++c) out[c] = to8(s[c]);
                    if (!p.trns.empty() && s[0] == key(0) && s[1] == key(1) && s[2] == key(2)) {
                        out[3] = 0;
                    }
                    break;
                case 3:
                    for (int c = 0; c < 3; ++c) out[c] = p.plte[3 * s[0] + c];
                    if (s[0] < p.trns.size()) out[3] = p.trns[s[0]];
                    break;
                case 4:
                    out[0] = out[1] = out[2] = to8(s[0]);
                    out[3] = to8(s[1]);
                    break;
                default:
                    for (int c = 0; c < 4; ++c) out[c] = to8(s[c]);
            }
            rgba.insert(rgba.end(), out, out + 4);
        }
    }
    return rgba;
}

DecodedImage decodeOk(const Bytes& png) {
    DecodedImage image;
    std::string reason;
    EXPECT_EQ(decodePng(png.data(), png.size(), image, &reason), kPngOk) << reason;
    return image;
}

// A pixel of an 8-bit RGBA image.
std::vector<int> pixel(const DecodedImage& image, int x, int y) {
    const uint8_t* p = &image.rgba[(size_t(y) * image.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

// Recomputes every chunk CRC, so that mutated data reaches the decoder's deeper stages.
void fixCrcs(Bytes& png) {
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = be32(&png[at]);
        if (at + 12 + length > png.size()) break;
        const uint32_t crc = uint32_t(crc32(0, &png[at + 4], uInt(length + 4)));
        for (int k = 0; k < 4; ++k) png[at + 8 + length + k] = uint8_t(crc >> (24 - 8 * k));
        at += 12 + length;
    }
}

// The offset of the first chunk of `type`, or 0.
size_t findChunk(const Bytes& png, const char* type) {
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + be32(&png[at])) {
        if (std::memcmp(&png[at + 4], type, 4) == 0) return at;
    }
    return 0;
}

class TempDir {
public:
    TempDir() {
        path_ = fs::path(testing::TempDir()) / ("texture_test_" + std::to_string(getpid()));
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path file(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

}  // namespace

TEST(PngSuite, EveryValidFileDecodesAndEveryCorruptOneIsRefused) {
    const auto names = suiteFiles();
    ASSERT_GE(names.size(), 50u) << "the suite is missing from " << kSuiteDir;
    for (const std::string& name : names) {
        const Bytes png = readBytes(fs::path(kSuiteDir) / name);
        DecodedImage image;
        std::string reason;
        const int code = decodePng(png.data(), png.size(), image, &reason);
        if (name[0] == 'x') {
            EXPECT_NE(code, kPngOk) << name;
            EXPECT_FALSE(reason.empty()) << name;
            EXPECT_TRUE(image.rgba.empty()) << name;
        } else {
            ASSERT_EQ(code, kPngOk) << name << ": " << reason;
            // Every picture of the suite is 32 x 32.
            EXPECT_EQ(image.width, 32) << name;
            EXPECT_EQ(image.height, 32) << name;
            EXPECT_EQ(image.rgba.size(), 32u * 32 * 4) << name;
        }
    }
}

TEST(PngSuite, NonInterlacedFilesMatchAnIndependentDecoderExactly) {
    int compared = 0;
    for (const std::string& name : suiteFiles()) {
        const Bytes png = readBytes(fs::path(kSuiteDir) / name);
        if (name[0] == 'x' || parseChunks(png).interlace != 0) continue;
        const DecodedImage image = decodeOk(png);
        EXPECT_EQ(image.rgba, referenceDecode(png)) << name;
        ++compared;
    }
    EXPECT_GE(compared, 30);
}

TEST(PngSuite, InterlacedFilesDecodeLikeTheirNonInterlacedTwins) {
    int compared = 0;
    for (const std::string& name : suiteFiles()) {
        if (name[0] != 'i' || !fs::exists(fs::path(kSuiteDir) / name.substr(1))) continue;
        const Bytes interlaced = readBytes(fs::path(kSuiteDir) / name);
        const Bytes plain = readBytes(fs::path(kSuiteDir) / name.substr(1));
        EXPECT_EQ(decodeOk(interlaced).rgba, decodeOk(plain).rgba) << name;
        compared += parseChunks(interlaced).interlace == 1;
    }
    EXPECT_GE(compared, 15);
}

TEST(PngSuite, ColourTypeRulesHold) {
    for (const std::string& name : suiteFiles()) {
        const Bytes png = readBytes(fs::path(kSuiteDir) / name);
        if (name[0] == 'x') continue;
        const ParsedPng p = parseChunks(png);
        const DecodedImage image = decodeOk(png);
        const bool grey = (p.colourType & 2) == 0;
        const bool transparent = (p.colourType & 4) != 0 || !p.trns.empty();
        int alphaZero = 0;
        for (size_t i = 0; i < image.rgba.size(); i += 4) {
            if (grey) {
                ASSERT_EQ(image.rgba[i], image.rgba[i + 1]) << name;
                ASSERT_EQ(image.rgba[i], image.rgba[i + 2]) << name;
            }
            if (!transparent) {
                ASSERT_EQ(image.rgba[i + 3], 255) << name;
            }
            alphaZero += image.rgba[i + 3] == 0;
        }
        // The "ft" files with a tRNS chunk are pictures with a fully transparent background.
        if (name.rfind("ftb", 0) == 0) {
            EXPECT_GT(alphaZero, 0) << name;
        }
    }
}

TEST(PngDecoding, SixteenBitSamplesKeepTheirMostSignificantByte) {
    std::mt19937 random(7);
    for (int colourType : {0, 2, 4, 6}) {
        const int count = 5 * 3 * channelsOf(colourType);
        std::vector<uint16_t> high(count), wide(count);
        for (int i = 0; i < count; ++i) {
            high[i] = uint16_t(random() & 0xff);
            wide[i] = uint16_t(high[i] << 8 | (random() & 0xff));
        }
        const DecodedImage eight = decodeOk(encodePng(5, 3, 8, colourType, high));
        const DecodedImage sixteen = decodeOk(encodePng(5, 3, 16, colourType, wide));
        EXPECT_EQ(eight.rgba, sixteen.rgba) << "colour type " << colourType;
    }
    // 0x80ff keeps 0x80, never rounds up to 0x81.
    EXPECT_EQ(pixel(decodeOk(encodePng(1, 1, 16, 0, {0x80ff})), 0, 0),
              (std::vector<int>{0x80, 0x80, 0x80, 255}));
}

TEST(PngDecoding, LowBitDepthGreyIsScaledToFullRange) {
    // 1 bit: 0, 255; 2 bits: steps of 85; 4 bits: steps of 17.
    const struct {
        int depth;
        int step;
    } cases[] = {{1, 255}, {2, 85}, {4, 17}};
    for (const auto& c : cases) {
        const int levels = 1 << c.depth;
        std::vector<uint16_t> samples(levels);
        for (int v = 0; v < levels; ++v) samples[v] = uint16_t(v);
        const DecodedImage image = decodeOk(encodePng(levels, 1, c.depth, 0, samples));
        for (int v = 0; v < levels; ++v) {
            const int g = v * c.step;
            EXPECT_EQ(pixel(image, v, 0), (std::vector<int>{g, g, g, 255})) << c.depth;
        }
    }
}

TEST(PngDecoding, TransparencyFollowsTheTrnsChunk) {
    // Palette of four colours, tRNS for the first two only: 10, 200, then 255 by default.
    const Bytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    DecodedImage image =
        decodeOk(encodePng(4, 1, 2, 3, {0, 1, 2, 3}, {{"PLTE", palette}, {"tRNS", {10, 200}}}));
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{255, 0, 0, 10}));
    EXPECT_EQ(pixel(image, 1, 0), (std::vector<int>{0, 255, 0, 200}));
    EXPECT_EQ(pixel(image, 2, 0), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(pixel(image, 3, 0), (std::vector<int>{9, 9, 9, 255}));

    // Palette without tRNS: opaque.
    image = decodeOk(encodePng(2, 1, 8, 3, {3, 0}, {{"PLTE", palette}}));
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{9, 9, 9, 255}));

    // RGB colour key (10, 20, 30): exactly that colour is transparent, a neighbour is not.
    image = decodeOk(encodePng(3, 1, 8, 2, {10, 20, 30, 10, 20, 31, 30, 20, 10},
                               {{"tRNS", {0, 10, 0, 20, 0, 30}}}));
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{10, 20, 30, 0}));
    EXPECT_EQ(pixel(image, 1, 0), (std::vector<int>{10, 20, 31, 255}));
    EXPECT_EQ(pixel(image, 2, 0), (std::vector<int>{30, 20, 10, 255}));

    // 16-bit key 0x1234: 0x1235 has the same top byte but is another colour, so opaque.
    image = decodeOk(encodePng(2, 1, 16, 0, {0x1234, 0x1235}, {{"tRNS", {0x12, 0x34}}}));
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{0x12, 0x12, 0x12, 0}));
    EXPECT_EQ(pixel(image, 1, 0), (std::vector<int>{0x12, 0x12, 0x12, 255}));

    // 2-bit grey key 2: only the value 2 (scaled to 170) is transparent.
    image = decodeOk(encodePng(4, 1, 2, 0, {0, 1, 2, 3}, {{"tRNS", {0, 2}}}));
    EXPECT_EQ(pixel(image, 1, 0), (std::vector<int>{85, 85, 85, 255}));
    EXPECT_EQ(pixel(image, 2, 0), (std::vector<int>{170, 170, 170, 0}));
    EXPECT_EQ(pixel(image, 3, 0), (std::vector<int>{255, 255, 255, 255}));

    // Alpha channels are taken as stored: grey+alpha and RGBA.
    image = decodeOk(encodePng(1, 1, 8, 4, {77, 33}));
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{77, 77, 77, 33}));
    image = decodeOk(encodePng(1, 1, 8, 6, {1, 2, 3, 4}));
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{1, 2, 3, 4}));
}

TEST(PngDecoding, GammaAndColourSpaceChunksChangeNoValue) {
    // A grey ramp and a colour ramp, written plainly and with each colour chunk in turn.
    std::vector<uint16_t> grey(256), colour(64 * 3);
    for (int i = 0; i < 256; ++i) grey[i] = uint16_t(i);
    for (int i = 0; i < 64 * 3; ++i) colour[i] = uint16_t((i * 37) & 0xff);
    Bytes gamma45 = {0, 0, 0xb1, 0x8f};  // 45455 = 1 / 2.2
    Bytes gamma1 = {0, 1, 0x86, 0xa0};   // 100000 = 1.0
    Bytes gamma4 = {0, 0, 0x61, 0xa8};   // 25000 = 1 / 4
    Bytes chrm;
    for (uint32_t v : {31270u, 32900u, 64000u, 33000u, 30000u, 60000u, 15000u, 6000u}) {
        put32(chrm, v);
    }
    Bytes iccp = {'p', 0, 0};  // name "p", compression 0, then a (meaningless) profile
    const Bytes profile = zlibCompress(Bytes(200, 7));
    iccp.insert(iccp.end(), profile.begin(), profile.end());

    const std::vector<std::vector<Chunk>> variants = {
        {{"gAMA", gamma45}},
        {{"gAMA", gamma1}},
        {{"gAMA", gamma4}},
        {{"sRGB", {0}}},
        {{"cHRM", chrm}},
        {{"iCCP", iccp}},
        {{"gAMA", gamma4}, {"cHRM", chrm}, {"sRGB", {3}}},
    };
    for (int depth : {8, 16}) {
        std::vector<uint16_t> g = grey, c = colour;
        if (depth == 16) {
            for (auto& s : g) s = uint16_t(s << 8 | 0x5a);
            for (auto& s : c) s = uint16_t(s << 8 | 0xa5);
        }
        const Bytes plainGrey = decodeOk(encodePng(256, 1, depth, 0, g)).rgba;
        const Bytes plainColour = decodeOk(encodePng(64, 1, depth, 2, c)).rgba;
        for (int v = 0; v < 256; ++v) ASSERT_EQ(plainGrey[4 * v], v);
        for (size_t k = 0; k < variants.size(); ++k) {
            EXPECT_EQ(decodeOk(encodePng(256, 1, depth, 0, g, variants[k])).rgba, plainGrey)
                << "variant " << k << ", depth " << depth;
            EXPECT_EQ(decodeOk(encodePng(64, 1, depth, 2, c, variants[k])).rgba, plainColour)
                << "variant " << k << ", depth " << depth;
        }
    }
}

TEST(PngDecoding, CorruptFilesAreRefusedWithAReason) {
    const Bytes good = readBytes(fs::path(kSuiteDir) / "basn0g08.png");
    const Bytes palette = readBytes(fs::path(kSuiteDir) / "basn3p08.png");
    ASSERT_EQ(decodeOk(good).width, 32);
    const size_t ihdrAt = findChunk(good, "IHDR"), idatAt = findChunk(good, "IDAT");
    ASSERT_GT(idatAt, 0u);

    std::vector<std::pair<std::string, Bytes>> cases;
    auto add = [&](const std::string& what, Bytes png) { cases.push_back({what, png}); };
    for (size_t at : {0, 1, 2, 4, 7}) {
        Bytes b = good;
        b[at] ^= 0x20;
        add("signature byte " + std::to_string(at), b);
    }
    {
        Bytes b = good;  // "\r\n" of the signature turned into "\n", as a text transfer does
        b.erase(b.begin() + 4);
        add("signature lost its CR", b);
    }
    {
        Bytes b = good;
        b[ihdrAt + 8 + 13] ^= 1;
        add("IHDR CRC", b);
    }
    for (uint8_t colourType : {1, 5, 9}) {
        Bytes b = good;
        b[ihdrAt + 8 + 9] = colourType;
        fixCrcs(b);
        add("colour type " + std::to_string(colourType), b);
    }
    for (uint8_t depth : {0, 3, 99}) {
        Bytes b = good;
        b[ihdrAt + 8 + 8] = depth;
        fixCrcs(b);
        add("bit depth " + std::to_string(depth), b);
    }
    for (int field : {0, 4}) {
        Bytes b = good;
        std::memset(&b[ihdrAt + 8 + field], 0, 4);
        fixCrcs(b);
        add(field ? "height 0" : "width 0", b);
    }
    {
        Bytes b = good;
        b[idatAt + 8 + 5] ^= 0xff;
        add("IDAT CRC", b);
    }
    {
        Bytes b = good;
        b.erase(b.begin() + std::ptrdiff_t(idatAt),
                b.begin() + std::ptrdiff_t(idatAt + 12 + be32(&b[idatAt])));
        add("no IDAT", b);
    }
    {
        Bytes b = good;
        for (uint32_t k = 2; k < be32(&b[idatAt]); ++k) b[idatAt + 8 + k] = uint8_t(k * 77);
        fixCrcs(b);
        add("IDAT not a zlib stream", b);
    }
    {
        Bytes b = palette;
        const size_t plte = findChunk(b, "PLTE");
        b.erase(b.begin() + std::ptrdiff_t(plte),
                b.begin() + std::ptrdiff_t(plte + 12 + be32(&b[plte])));
        add("palette without PLTE", b);
    }
    {
        // A row with filter type 9.
        Bytes raw = {9, 1, 2, 3, 4};
        Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        for (const Chunk& c : std::vector<Chunk>{
                 {"IHDR", ihdr(4, 1, 8, 0)}, {"IDAT", zlibCompress(raw)}, {"IEND", {}}}) {
            const Bytes chunk = chunkBytes(c);
            b.insert(b.end(), chunk.begin(), chunk.end());
        }
        add("unknown filter type", b);
    }
    {
        Bytes b = good;  // "\n" bytes expanded to "\r\n", as a text transfer does
        Bytes out;
        for (uint8_t byte : b) {
            if (byte == '\n') out.push_back('\r');
            out.push_back(byte);
        }
        add("CR before every LF", out);
    }
    add("text file", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    add("signature only", Bytes(good.begin(), good.begin() + 8));

    for (const auto& [what, png] : cases) {
        DecodedImage image;
        std::string reason;
        EXPECT_NE(decodeCopy(png, png.size(), image, &reason), kPngOk) << what;
        EXPECT_FALSE(reason.empty()) << what;
        EXPECT_TRUE(image.rgba.empty()) << what;
        EXPECT_EQ(image.width, 0) << what;
    }
    DecodedImage image;
    EXPECT_EQ(decodePng(nullptr, 0, image), kPngEmpty);
    EXPECT_EQ(decodeCopy(good, 0, image, nullptr), kPngEmpty);
    EXPECT_EQ(decodeCopy(good, 7, image, nullptr), kPngNotPng);
    EXPECT_EQ(decodeCopy(cases[0].second, good.size(), image, nullptr), kPngNotPng);
}

TEST(PngDecoding, EveryTruncationIsRefused) {
    for (const char* name : {"basn0g01.png", "basn2c16.png", "basn3p08.png", "basn6a08.png",
                             "ibasn4a16.png", "ftbbn3p08.png", "iftbwn0g16.png"}) {
        const Bytes png = readBytes(fs::path(kSuiteDir) / name);
        for (size_t length = 0; length < png.size(); ++length) {
            DecodedImage image;
            std::string reason;
            ASSERT_NE(decodeCopy(png, length, image, &reason), kPngOk) << name << " " << length;
            ASSERT_FALSE(reason.empty()) << name << " " << length;
            ASSERT_TRUE(image.rgba.empty());
        }
    }
}

TEST(PngDecoding, RandomCorruptionNeverCrashes) {
    std::mt19937 random(1234);
    const char* names[] = {"basn0g04.png",  "basn2c08.png",  "basn3p02.png",
                           "ibasn6a16.png", "ftbrn2c08.png", "iftbbn3p08.png"};
    for (const char* name : names) {
        const Bytes original = readBytes(fs::path(kSuiteDir) / name);
        for (int round = 0; round < 1000; ++round) {
            Bytes png = original;
            const int flips = 1 + int(random() % 4);
            for (int k = 0; k < flips; ++k) {
                png[8 + random() % (png.size() - 8)] ^= uint8_t(1 << (random() % 8));
            }
            if (round % 2 == 0) fixCrcs(png);
            DecodedImage image;
            std::string reason;
            if (decodeCopy(png, png.size(), image, &reason) == kPngOk) {
                ASSERT_GT(image.width, 0);
                ASSERT_EQ(image.rgba.size(), size_t(image.width) * image.height * 4);
            } else {
                ASSERT_FALSE(reason.empty());
            }
        }
    }
}

TEST(PngDecoding, OversizedPicturesAreRefusedBeforeAllocation) {
    // IHDR and nothing else: a decoder that allocated first would try 40 GB here.
    const struct {
        uint32_t width, height;
    } sizes[] = {{100000, 100000}, {16385, 1},   {1, 16385},
                 {16384, 16384},   {4097, 4096}, {0x7fffffff, 0x7fffffff}};
    for (const auto& s : sizes) {
        Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        const Bytes header = chunkBytes({"IHDR", ihdr(s.width, s.height, 8, 6)});
        png.insert(png.end(), header.begin(), header.end());
        DecodedImage image;
        std::string reason;
        EXPECT_EQ(decodeCopy(png, png.size(), image, &reason), kPngTooLarge)
            << s.width << "x" << s.height;
        EXPECT_FALSE(reason.empty());
    }
    // 4096 x 4096 is exactly kMaxTextureTexels: its header passes the size check, and the
    // missing pixel data is what stops it.
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const Bytes header = chunkBytes({"IHDR", ihdr(4096, 4096, 8, 6)});
    png.insert(png.end(), header.begin(), header.end());
    DecodedImage image;
    EXPECT_EQ(decodeCopy(png, png.size(), image, nullptr), kPngCorrupt);
}

TEST(PngDecoding, HugeAncillaryChunksAreSkipped) {
    // A zTXt that would expand to 64 MB and a 3 MB tEXt: both over kMaxPngChunkBytes.
    Bytes ztxt = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    const Bytes bomb = zlibCompress(Bytes(64u << 20, 'a'));
    ztxt.insert(ztxt.end(), bomb.begin(), bomb.end());
    Bytes text = {'N', 'o', 't', 'e', 0};
    text.resize(3u << 20, 'b');
    const DecodedImage image =
        decodeOk(encodePng(2, 1, 8, 0, {0, 255}, {{"zTXt", ztxt}, {"tEXt", text}, {"tEXt", text}}));
    EXPECT_EQ(pixel(image, 1, 0), (std::vector<int>{255, 255, 255, 255}));
}

TEST(PngDecoding, ChunksRunningPastTheEndAreRefusedBeforeLibpngSeesThem) {
    // libpng reserves an ancillary chunk's announced length before reading it: a 60-byte
    // file announcing 1.7 GB of pCAL made it allocate 1.7 GB. Such a chunk is refused first,
    // with a reason naming it.
    const Bytes good = encodePng(2, 1, 8, 0, {0, 255});
    const size_t idatAt = findChunk(good, "IDAT");
    for (const char* type : {"pCAL", "sPLT", "tEXt", "zTXt", "iTXt", "iCCP", "prVt", "IDAT"}) {
        for (uint32_t length : {0x68495354u, 0x7fffffffu, 0xffffffffu, 100u}) {
            Bytes png(good.begin(), good.begin() + std::ptrdiff_t(idatAt));
            put32(png, length);
            png.insert(png.end(), type, type + 4);
            png.insert(png.end(), 40, 'x');  // fewer than announced, whatever the length
            DecodedImage image;
            std::string reason;
            EXPECT_EQ(decodeCopy(png, png.size(), image, &reason), kPngCorrupt) << type;
            EXPECT_NE(reason.find(std::string("chunk ") + type), std::string::npos) << reason;
            EXPECT_NE(reason.find("runs past the end"), std::string::npos) << reason;
        }
    }
    // Past IEND nothing is read, so rubbish there, even an endless chunk, changes nothing.
    Bytes tail = good;
    put32(tail, 0x7fffffffu);
    tail.insert(tail.end(), {'p', 'C', 'A', 'L', 1, 2, 3});
    EXPECT_EQ(decodeOk(tail).rgba, decodeOk(good).rgba);
    // A chunk that ends exactly at the end of the file is whole.
    Bytes noEnd(good.begin(), good.end() - 12);
    DecodedImage image;
    std::string reason;
    EXPECT_EQ(decodeCopy(noEnd, noEnd.size(), image, &reason), kPngCorrupt);
    EXPECT_EQ(reason.find("runs past the end"), std::string::npos) << reason;
}

TEST(PngDecoding, DamagedAncillaryChunksAreRefusedNotDropped) {
    // A tRNS whose checksum fails would be dropped silently by libpng's default, leaving an
    // opaque picture where the file says transparent: every damaged chunk is refused.
    const std::vector<Chunk> palette = {{"PLTE", {255, 0, 0, 0, 0, 255}}, {"tRNS", {0}}};
    const Bytes png = encodePng(2, 1, 8, 3, {0, 1}, palette);
    EXPECT_EQ(pixel(decodeOk(png), 0, 0), (std::vector<int>{255, 0, 0, 0}));
    for (const char* type : {"tRNS", "PLTE"}) {
        Bytes damaged = png;
        damaged[findChunk(damaged, type) + 8] ^= 0x01;  // its data, under the old checksum
        DecodedImage image;
        std::string reason;
        EXPECT_EQ(decodeCopy(damaged, damaged.size(), image, &reason), kPngCorrupt) << type;
        EXPECT_FALSE(reason.empty());
    }
    Bytes text = encodePng(2, 1, 8, 0, {0, 255}, {{"tEXt", {'a', 0, 'b'}}});
    text[findChunk(text, "tEXt") + 10] ^= 0x01;
    DecodedImage image;
    EXPECT_EQ(decodeCopy(text, text.size(), image, nullptr), kPngCorrupt);
}

TEST(PngDecoding, ManySmallAncillaryChunksDecode) {
    // Ten thousand comments: more than the decoder keeps, none of them allowed to cost more
    // than its own bytes.
    std::vector<Chunk> comments;
    for (int k = 0; k < 10000; ++k) comments.push_back({"tEXt", {'k', 0, uint8_t('0' + k % 10)}});
    EXPECT_EQ(pixel(decodeOk(encodePng(2, 1, 8, 0, {0, 255}, comments)), 1, 0),
              (std::vector<int>{255, 255, 255, 255}));
}

TEST(PngDecoding, DimensionsAreCheckedWhereverTheHeaderIs) {
    // Dimensions beyond 2^31 are not PNG at all; an IHDR that is not the first chunk is
    // refused by the decoder before it takes its size.
    for (uint32_t side : {0x80000000u, 0xffffffffu}) {
        Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        const Bytes header = chunkBytes({"IHDR", ihdr(side, 1, 8, 0)});
        png.insert(png.end(), header.begin(), header.end());
        DecodedImage image;
        EXPECT_EQ(decodeCopy(png, png.size(), image, nullptr), kPngTooLarge) << side;
    }
    Bytes late = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    for (const Chunk& c : std::vector<Chunk>{{"tEXt", {'a', 0, 'b'}},
                                             {"IHDR", ihdr(100000, 100000, 8, 6)},
                                             {"IDAT", zlibCompress(Bytes(16, 0))},
                                             {"IEND", {}}}) {
        const Bytes chunk = chunkBytes(c);
        late.insert(late.end(), chunk.begin(), chunk.end());
    }
    DecodedImage image;
    std::string reason;
    EXPECT_NE(decodeCopy(late, late.size(), image, &reason), kPngOk);
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(image.rgba.empty());
}

TEST(Texture, FilesPastTheSizeLimitAreRefusedUnread) {
    // A sparse file one byte over 256 MiB: refused by its size, without being read.
    TempDir dir;
    const fs::path huge = dir.file("huge.png");
    writeBytes(huge, {});
    fs::resize_file(huge, kMaxPngFileBytes + 1);
    int code = 0;
    std::string message;
    EXPECT_EQ(readTexture(huge.string().c_str(), "huge", code, message), nullptr);
    EXPECT_EQ(code, kPngUnreadable);
    EXPECT_NE(message.find(huge.string()), std::string::npos) << message;
    EXPECT_NE(message.find("too large"), std::string::npos) << message;
    // A folder claims an endless size; it is unreadable, not too large.
    const std::string folder = dir.file("").string();
    EXPECT_EQ(readTexture(folder.c_str(), "folder", code, message), nullptr);
    EXPECT_EQ(code, kPngUnreadable);
    EXPECT_EQ(message.find("too large"), std::string::npos) << message;
}

TEST(Texture, TexelsAreBytesOver255InTheFramebufferLayout) {
    TempDir dir;
    int code = -1;
    std::string message;

    writeBytes(dir.file("white.png"), encodePng(1, 1, 8, 2, {255, 255, 255}));
    Texture* white = readTexture(dir.file("white.png").string().c_str(), "white", code, message);
    ASSERT_NE(white, nullptr) << message;
    EXPECT_EQ(code, kPngOk);
    EXPECT_EQ(white->width, 1);
    EXPECT_EQ(white->height, 1);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(white->texels[c], 1.0f);
    EXPECT_STREQ(white->name, "white");
    freeTexture(white);

    // A ramp of every byte value: b * 0.00392156862745098 in double, rounded to float once.
    std::vector<uint16_t> ramp(256);
    for (int i = 0; i < 256; ++i) ramp[i] = uint16_t(i);
    writeBytes(dir.file("ramp.png"), encodePng(256, 1, 8, 0, ramp));
    Texture* t = readTexture(dir.file("ramp.png").string().c_str(), "ramp", code, message);
    ASSERT_NE(t, nullptr) << message;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(t->texels) % 64, 0u);
    EXPECT_EQ(t->texels[0], 0.0f);
    EXPECT_EQ(t->texels[4 * 51], 0.2f);  // 51 / 255 = 0.19999999999999998 -> 0.2f
    EXPECT_EQ(t->texels[4 * 128], 0.501960814f);
    EXPECT_EQ(t->texels[4 * 255], 1.0f);
    for (int b = 0; b < 256; ++b) {
        ASSERT_EQ(t->texels[4 * b], float(b * 0.00392156862745098)) << b;
        ASSERT_EQ(t->texels[4 * b + 2], t->texels[4 * b]);
        ASSERT_EQ(t->texels[4 * b + 3], 1.0f);
    }
    freeTexture(t);

    // Texel (x, y) sits at y * width + x, rows top to bottom.
    writeBytes(dir.file("grid.png"), encodePng(3, 2, 8, 0, {0, 51, 102, 153, 204, 255}));
    t = readTexture(dir.file("grid.png").string().c_str(), "grid", code, message);
    ASSERT_NE(t, nullptr) << message;
    EXPECT_EQ(t->width, 3);
    EXPECT_EQ(t->height, 2);
    EXPECT_EQ(t->texels[4 * (1 * 3 + 0)], 0.6f);  // (0, 1) holds 153
    EXPECT_EQ(t->texels[4 * (0 * 3 + 1)], 0.2f);  // (1, 0) holds 51
    freeTexture(t);

    // Names are cut to 255 characters.
    const std::string longName(300, 'n');
    t = readTexture(dir.file("white.png").string().c_str(), longName.c_str(), code, message);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::string(t->name), std::string(255, 'n'));
    freeTexture(t);
}

TEST(Texture, UnreadableFilesGiveACodeAndAMessageNamingTheFile) {
    TempDir dir;
    writeBytes(dir.file("empty.png"), {});
    writeBytes(dir.file("text.png"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'});
    Bytes cut = readBytes(fs::path(kSuiteDir) / "basn2c08.png");
    cut.resize(cut.size() / 2);
    writeBytes(dir.file("cut.png"), cut);
    const struct {
        const char* file;
        int code;
    } cases[] = {{"missing.png", kPngUnreadable},
                 {"empty.png", kPngEmpty},
                 {"text.png", kPngNotPng},
                 {"cut.png", kPngCorrupt},
                 {"", kPngUnreadable}};  // the directory itself
    for (const auto& c : cases) {
        const std::string path = dir.file(c.file).string();
        int code = 0;
        std::string message;
        EXPECT_EQ(readTexture(path.c_str(), "x", code, message), nullptr) << c.file;
        EXPECT_EQ(code, c.code) << c.file;
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}
