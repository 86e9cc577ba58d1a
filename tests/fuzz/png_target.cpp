#include <zlib.h>

#include <string>
#include <vector>

#include "assets/texture.h"
#include "fuzz_targets.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) fuzzInvariantBroken("png", what);
}

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Rewrites the CRC of every whole chunk after the signature. A fuzzer cannot compute CRCs, so
// without this nearly every mutation would stop at the first checksum.
bool mendCrcs(std::vector<uint8_t>& png) {
    bool changed = false;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length = bigEndian32(&png[at]);
        if (length > png.size() - at - 12) break;
        const uint32_t crc = uint32_t(crc32(0, &png[at + 4], uInt(length + 4)));
        uint8_t* stored = &png[at + 8 + length];
        if (bigEndian32(stored) != crc) {
            for (int i = 0; i < 4; ++i) stored[i] = uint8_t(crc >> (24 - 8 * i));
            changed = true;
        }
        at += 12 + size_t(length);
    }
    return changed;
}

void decodeAndCheck(const uint8_t* data, size_t size) {
    DecodedImage image;
    std::string reason;
    const int code = decodePng(data, size, image, &reason);
    if (code == kPngOk) {
        check(reason.empty(), "success leaves no reason");
        check(image.width >= 1 && image.width <= kMaxTextureSide, "width within limits");
        check(image.height >= 1 && image.height <= kMaxTextureSide, "height within limits");
        check((long long)image.width * image.height <= kMaxTextureTexels, "texels within limits");
        check(image.rgba.size() == size_t(image.width) * size_t(image.height) * 4,
              "four bytes for every pixel");
        return;
    }
    check(code >= kPngUnreadable && code <= kPngOutOfMemory, "a known error code");
    check(!reason.empty() && reason.find('\n') == std::string::npos, "a one-line reason");
    check(image.rgba.empty() && image.width == 0 && image.height == 0, "nothing on failure");
}

}  // namespace

int fuzzPngBytes(const uint8_t* data, size_t size) {
    decodeAndCheck(data, size);
    // The decoder reads straight from the caller's bytes; an exact-size copy lets
    // AddressSanitizer see any read past the end of the mended variant too.
    std::vector<uint8_t> mended(data, data + size);
    if (mendCrcs(mended)) decodeAndCheck(mended.data(), mended.size());
    return 0;
}
