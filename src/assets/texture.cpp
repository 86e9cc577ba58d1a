#include "assets/texture.h"

#include <png.h>

#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "assets/file_bytes.h"
#include "render/aligned_block.h"


namespace {

constexpr size_t kPngSignatureBytes = 8;

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

// Everything the decoder changes after setjmp lives here rather than in locals of the frame
// that called setjmp: such locals would be indeterminate after libpng longjmps back.
struct DecodeState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    MemoryReader reader{};
    std::vector<png_bytep> rows;
    char message[160] = "";
};

void readFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->offset) png_error(png, "file ends too early");
    std::memcpy(out, reader->data + reader->offset, length);
    reader->offset += length;
}

[[noreturn]] void onPngError(png_structp png, png_const_charp text) {
    auto* state = static_cast<DecodeState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", text);
    png_longjmp(png, 1);
}

// Warnings (odd colour profiles, chunks past the cache limit) do not change the pixels we
// produce; staying quiet keeps start-up output to the one error line.
void onPngWarning(png_structp, png_const_charp) {}

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// libpng allocates the whole announced length of some ancillary chunks (pCAL, sPLT, the text
// chunks) before it reads a byte of them, and png_set_chunk_malloc_max does not cover those:
// a 60-byte file announcing a 2 GB chunk would reserve 2 GB. So every chunk up to IEND must
// lie inside the file before libpng sees it; what follows IEND is never read. Returns false
// with the reason in `why` for a chunk that runs past the end.
bool chunksInsideFile(const uint8_t* data, size_t size, char (&why)[96]) {
    size_t at = kPngSignatureBytes;
    // A header cut short is left to libpng, which reads the 8 bytes before allocating.
    while (size - at >= 8) {
        const uint32_t length = bigEndian32(data + at);
        const uint8_t* type = data + at + 4;
        if (size - at < 12 || length > size - at - 12) {
            char name[5];
            for (int i = 0; i < 4; ++i) {
                name[i] = type[i] >= 0x20 && type[i] < 0x7f ? char(type[i]) : '?';
            }
            name[4] = '\0';
            std::snprintf(why, sizeof why, "chunk %s of %u bytes runs past the end of the file",
                          name, unsigned(length));
            return false;
        }
        if (std::memcmp(type, "IEND", 4) == 0) break;
        at += 12 + size_t(length);
    }
    return true;
}

bool tooLarge(uint64_t width, uint64_t height) {
    return width > uint64_t(kMaxTextureSide) || height > uint64_t(kMaxTextureSide) ||
           width * height > uint64_t(kMaxTextureTexels);
}

int runDecoder(DecodeState& state, DecodedImage& out) {
    png_structp png = state.png;
    png_infop info = state.info;
    if (setjmp(png_jmpbuf(png))) return kPngCorrupt;

    png_set_read_fn(png, &state.reader, readFromMemory);
    // Defence in depth: libpng refuses these itself as well as our own IHDR check.
    png_set_user_limits(png, kMaxTextureSide, kMaxTextureSide);
    png_set_chunk_malloc_max(png, kMaxPngChunkBytes);
    png_set_chunk_cache_max(png, 128);
    // libpng drops an ancillary chunk whose checksum fails; a dropped tRNS would turn
    // transparent pixels opaque without a word. A damaged chunk is a damaged file.
    png_set_crc_action(png, PNG_CRC_DEFAULT, PNG_CRC_ERROR_QUIT);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    if (tooLarge(width, height)) {
        std::snprintf(state.message, sizeof state.message, "picture of %ux%u is too large",
                      unsigned(width), unsigned(height));
        return kPngTooLarge;
    }

    // Expansion (palette, tRNS) runs on the original samples, before strip_16, so a 16-bit
    // colour key is matched on all 16 bits. No png_set_gamma / png_set_alpha_mode: libpng
    // then applies no gamma or colour-space conversion whatever the file carries.
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (hasTrns) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_strip_16(png);
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    if ((colourType & PNG_COLOR_MASK_ALPHA) == 0 && !hasTrns) {
        png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const size_t rowBytes = size_t(width) * 4;
    if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 4 ||
        png_get_rowbytes(png, info) != rowBytes) {
        std::snprintf(state.message, sizeof state.message, "unsupported pixel layout");
        return kPngCorrupt;
    }

    out.rgba.resize(rowBytes * height);
    state.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) state.rows[y] = out.rgba.data() + rowBytes * y;
    png_read_image(png, state.rows.data());
    // Reads up to IEND, so a file cut anywhere after the pixels is refused too.
    png_read_end(png, nullptr);
    out.width = int(width);
    out.height = int(height);
    return kPngOk;
}

int fail(int code, const char* why, DecodedImage& out, std::string* reason) {
    out = DecodedImage();
    if (reason) *reason = why;
    return code;
}

const float* byteToFloat() {
    // The constant is 1/255 as a double; the product is rounded to float once.
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int b = 0; b < 256; ++b) t[b] = float(b * 0.00392156862745098);
        return t;
    }();
    return table.data();
}

}  // namespace

int decodePng(const uint8_t* data, size_t size, DecodedImage& out, std::string* reason) {
    if (!data || size == 0) return fail(kPngEmpty, "empty file", out, reason);
    if (size < kPngSignatureBytes || png_sig_cmp(data, 0, kPngSignatureBytes) != 0) {
        return fail(kPngNotPng, "not a PNG file", out, reason);
    }
    // IHDR must come first; its size fields are refused here, before libpng allocates a thing.
    if (size >= kPngSignatureBytes + 16 && std::memcmp(data + 12, "IHDR", 4) == 0 &&
        tooLarge(bigEndian32(data + 16), bigEndian32(data + 20))) {
        return fail(kPngTooLarge, "picture dimensions too large", out, reason);
    }

    char why[96];
    if (!chunksInsideFile(data, size, why)) return fail(kPngCorrupt, why, out, reason);

    DecodeState state;
    state.reader = {data, size, 0};
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onPngError, onPngWarning);
    if (state.png) state.info = png_create_info_struct(state.png);
    if (!state.png || !state.info) {
        png_destroy_read_struct(&state.png, &state.info, nullptr);
        return fail(kPngOutOfMemory, "out of memory", out, reason);
    }

    int code;
    try {
        code = runDecoder(state, out);
    } catch (const std::bad_alloc&) {
        std::snprintf(state.message, sizeof state.message, "out of memory");
        code = kPngOutOfMemory;
    }
    png_destroy_read_struct(&state.png, &state.info, nullptr);
    if (code != kPngOk) return fail(code, state.message, out, reason);
    if (reason) reason->clear();
    return kPngOk;
}

Texture* readTexture(const char* path, const char* name, int& errorCode, std::string& message) {
    std::vector<uint8_t> bytes;
    std::string why;
    if (!readWholeFile(path, kMaxPngFileBytes, bytes, why)) {
        errorCode = kPngUnreadable;
        message = std::string("cannot read ") + path + ": " + why;
        return nullptr;
    }
    return decodeTexture(bytes.data(), bytes.size(), path, name, errorCode, message);
}

Texture* decodeTexture(const uint8_t* data, size_t size, const char* path, const char* name,
                       int& errorCode, std::string& message) {
    DecodedImage image;
    std::string why;
    errorCode = decodePng(data, size, image, &why);
    if (errorCode != kPngOk) {
        message = std::string(path) + ": " + why;
        return nullptr;
    }
    return makeTexture(image, path, name, errorCode, message);
}

Texture* makeTexture(const DecodedImage& image, const char* path, const char* name,
                     int& errorCode, std::string& message) {
    errorCode = kPngOk;
    const size_t floats = image.rgba.size();
    auto* texture = new (std::nothrow) Texture{};
    auto* texels = static_cast<float*>(allocateAligned(floats * sizeof(float)));
    if (!texture || !texels) {
        delete texture;
        freeAligned(texels);
        errorCode = kPngOutOfMemory;
        message = std::string(path) + ": out of memory for the texels";
        return nullptr;
    }
    const float* table = byteToFloat();
    for (size_t k = 0; k < floats; ++k) texels[k] = table[image.rgba[k]];

    texture->texels = texels;
    const char* label = name ? name : "";
    const size_t length = strnlen(label, sizeof texture->name - 1);
    std::memcpy(texture->name, label, length);
    texture->name[length] = '\0';
    texture->width = image.width;
    texture->height = image.height;
    message.clear();
    return texture;
}

void freeTexture(Texture* texture) {
    if (!texture) return;
    freeAligned(texture->texels);
    delete texture;
}
