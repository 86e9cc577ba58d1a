#include "audio/music_decoder.h"

#include <mpg123.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "audio/music_player.h"

namespace {

// Owns an mpg123 handle for one decode.
struct DecoderHandle {
    mpg123_handle* handle = nullptr;
    ~DecoderHandle() {
        if (handle) {
            mpg123_close(handle);
            mpg123_delete(handle);
        }
    }
};

// mpg123 would report a missing file and an unreadable one (a directory) only as a generic
// error; looking first tells them apart from a file that is there but does not decode.
bool fileReadable(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    unsigned char byte;
    const bool readable = std::fread(&byte, 1, 1, file) == 1 || !std::ferror(file);
    std::fclose(file);
    return readable;
}

int decodeAll(mpg123_handle* mh, int rate, std::vector<int16_t>& pcm) {
    // The pre-scan walks every frame once so that the length is exact (and the gapless end
    // known) before decoding; it also rejects a file without a single MPEG frame early.
    if (mpg123_scan(mh) != MPG123_OK) return kMusicFormat;
    const off_t expectedFrames = mpg123_length(mh);
    if (expectedFrames > 0) pcm.reserve(static_cast<size_t>(expectedFrames) * kPcmChannels);

    int16_t chunk[16384];
    for (;;) {
        size_t done = 0;
        const int result = mpg123_read(mh, chunk, sizeof chunk, &done);
        pcm.insert(pcm.end(), chunk, chunk + done / sizeof(int16_t));
        if (result == MPG123_DONE) break;
        if (result == MPG123_NEW_FORMAT) {
            long gotRate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(mh, &gotRate, &channels, &encoding);
            // Only one format is allowed, so anything else means the build cannot give it.
            if (gotRate != rate || channels != kPcmChannels || encoding != MPG123_ENC_SIGNED_16)
                return kMusicFormat;
            continue;
        }
        if (result != MPG123_OK) return kMusicFormat;
    }
    if (pcm.empty()) return kMusicFormat;
    // Keep whole sample frames only.
    pcm.resize(pcm.size() - pcm.size() % kPcmChannels);
    return kMusicOk;
}

// The decoder reads a file held in memory through these, as it would read a descriptor.
struct MemoryFile {
    const std::vector<uint8_t>* bytes;
    size_t at;
};

mpg123_ssize_t readMemory(void* handle, void* buffer, size_t count) {
    MemoryFile& file = *static_cast<MemoryFile*>(handle);
    const size_t left = file.bytes->size() - file.at;
    const size_t taken = count < left ? count : left;
    if (taken > 0) std::memcpy(buffer, file.bytes->data() + file.at, taken);
    file.at += taken;
    return static_cast<mpg123_ssize_t>(taken);
}

off_t seekMemory(void* handle, off_t offset, int whence) {
    MemoryFile& file = *static_cast<MemoryFile*>(handle);
    const long long size = static_cast<long long>(file.bytes->size());
    long long base = 0;
    if (whence == SEEK_CUR) base = static_cast<long long>(file.at);
    if (whence == SEEK_END) base = size;
    const long long to = base + static_cast<long long>(offset);
    if (to < 0 || to > size) return -1;
    file.at = static_cast<size_t>(to);
    return static_cast<off_t>(to);
}

// A decoder set up for the one output format; false with the error code when it cannot be.
bool makeDecoder(DecoderHandle& decoder, int rate, int& result) {
    mpg123_init();  // a no-op in current libmpg123, required by older ones
    int error = MPG123_OK;
    decoder.handle = mpg123_new(nullptr, &error);
    if (!decoder.handle) {
        result = kMusicMemory;
        return false;
    }
    mpg123_handle* mh = decoder.handle;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    if (mpg123_format(mh, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK) {
        result = kMusicFormat;
        return false;
    }
    return true;
}

int decodeOpened(mpg123_handle* mh, int rate, std::vector<int16_t>& pcm) {
    int result = kMusicOk;
    try {
        result = decodeAll(mh, rate, pcm);
    } catch (const std::bad_alloc&) {
        result = kMusicMemory;
    }
    if (result != kMusicOk) std::vector<int16_t>().swap(pcm);
    return result;
}

}  // namespace

int decodeMusicBytes(const std::vector<uint8_t>& file, int rate, std::vector<int16_t>& pcm) {
    pcm.clear();
    DecoderHandle decoder;
    int result = kMusicOk;
    if (!makeDecoder(decoder, rate, result)) return result;
    MemoryFile memory{&file, 0};
    if (mpg123_replace_reader_handle(decoder.handle, readMemory, seekMemory, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(decoder.handle, &memory) != MPG123_OK)
        return kMusicFormat;
    return decodeOpened(decoder.handle, rate, pcm);
}

int decodeMusicFile(const char* path, int rate, std::vector<int16_t>& pcm) {
    pcm.clear();
    if (!path || !fileReadable(path)) return kMusicFileOpen;

    DecoderHandle decoder;
    int result = kMusicOk;
    if (!makeDecoder(decoder, rate, result)) return result;
    mpg123_handle* mh = decoder.handle;
    if (mpg123_open(mh, path) != MPG123_OK) return kMusicFileOpen;
    return decodeOpened(mh, rate, pcm);
}
