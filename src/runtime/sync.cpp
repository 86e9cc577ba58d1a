#include "runtime/sync.h"

#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "assets/file_bytes.h"

namespace {

SyncReallocFn gRealloc = nullptr;

void* reallocate(void* block, std::size_t size) {
    return gRealloc ? gRealloc(block, size) : std::realloc(block, size);
}

char* copyString(const char* s) {
    const std::size_t bytes = std::strlen(s) + 1;
    char* copy = static_cast<char*>(reallocate(nullptr, bytes));
    if (copy) std::memcpy(copy, s, bytes);
    return copy;
}

// 259 characters and the terminator, the longest path the demo has ever been given.
constexpr int kPathCapacity = 260;
constexpr std::size_t kCountBytes = 4;
constexpr std::size_t kKeyBytes = 9;

// False, leaving the path unusable, when the whole path would not fit: a cut-off path could
// name some other file.
bool buildTrackPath(char (&path)[kPathCapacity], const char* basePath, const char* name) {
    const int length = std::snprintf(path, kPathCapacity, "%s_%s.track", basePath, name);
    return length >= 0 && length < kPathCapacity;
}

int32_t readInt32(const unsigned char* b) {
    const uint32_t u =
        uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return std::bit_cast<int32_t>(u);
}

// One line into `message` (when given); the readers never print.
[[gnu::format(printf, 2, 3)]] void report(std::string* message, const char* format, ...) {
    if (!message) return;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    message->assign(length > 0 ? std::size_t(length) : 0, '\0');
    if (length > 0) std::vsnprintf(message->data(), std::size_t(length) + 1, format, again);
    va_end(again);
}

void freeTrack(SyncTrack* track) {
    std::free(track->name);
    std::free(track->keys);
    std::free(track);
}

}  // namespace

void setSyncRealloc(SyncReallocFn fn) {
    gRealloc = fn;
}

int parseTrack(const unsigned char* bytes, std::size_t size, const char* path, SyncTrack* track,
               std::string* message) {
    if (message) message->clear();
    if (!track || (!bytes && size > 0)) return -1;
    std::free(track->keys);
    track->keys = nullptr;
    track->keyCount = 0;
    if (!path) path = "(memory)";

    if (size < kCountBytes) {
        report(message, "sync track file %s is too short to hold its key count", path);
        return -1;
    }
    if (size > std::size_t(kMaxTrackFileBytes)) {
        report(message, "sync track file %s is longer than %ld bytes (%d keys); no keys kept", path,
               kMaxTrackFileBytes, kMaxTrackKeys);
        return -1;
    }
    const int32_t count = readInt32(bytes);
    if (count < 0 || count > kMaxTrackKeys) {
        report(message, "sync track file %s announces %d keys (allowed 0 to %d); no keys kept",
               path, count, kMaxTrackKeys);
        return -1;
    }
    // Never allocate for more keys than the file holds.
    const std::size_t whole = (size - kCountBytes) / kKeyBytes;
    const int32_t available = whole < std::size_t(count) ? int32_t(whole) : count;

    SyncKey* keys = nullptr;
    if (available > 0) {
        keys = static_cast<SyncKey*>(reallocate(nullptr, sizeof(SyncKey) * available));
        if (!keys) {
            report(message, "sync track file %s: out of memory for %d keys", path, available);
            return -1;
        }
    }
    int32_t kept = 0;
    for (; kept < available; ++kept) {
        const unsigned char* at = bytes + kCountBytes + kKeyBytes * std::size_t(kept);
        SyncKey key;
        key.row = readInt32(at);
        key.value = std::bit_cast<float>(readInt32(at + 4));
        key.type = static_cast<int8_t>(at[8]);
        if (kept > 0 && key.row <= keys[kept - 1].row) {
            // The lookup is a binary search and the segment divides by the row difference:
            // both need strictly ascending rows.
            report(message,
                   "sync track file %s: key %d (row %d) is not after row %d; keeping the %d keys "
                   "before it",
                   path, kept, key.row, keys[kept - 1].row, kept);
            break;
        }
        if (!std::isfinite(key.value)) {
            report(
                message,
                "sync track file %s: key %d has a value that is not a finite number; keeping the "
                "%d keys before it",
                path, kept, kept);
            break;
        }
        keys[kept] = key;
    }
    if (kept == 0) {
        std::free(keys);
        keys = nullptr;
    }
    track->keys = keys;
    track->keyCount = kept;

    if (kept < available) return -1;  // already reported above
    if (kept < count) {
        report(message, "sync track file %s ends after %d of its %d keys; keeping those", path,
               kept, count);
        return -1;
    }
    const std::size_t expected = kCountBytes + kKeyBytes * std::size_t(count);
    if (size > expected) {
        // %llu: MinGW's printf checks reject %zu.
        report(message, "sync track file %s: %llu bytes after the last key ignored", path,
               static_cast<unsigned long long>(size - expected));
    }
    return 0;
}

SyncDevice* createSyncDevice(const char* basePath) {
    if (!basePath) return nullptr;
    auto* device = static_cast<SyncDevice*>(reallocate(nullptr, sizeof(SyncDevice)));
    if (!device) return nullptr;
    char* path = copyString(basePath);
    if (!path) {
        std::free(device);
        return nullptr;
    }
    *device = SyncDevice{path, nullptr, 0};
    return device;
}

SyncTrack* getTrack(SyncDevice* device, const char* name, std::string* message) {
    if (message) message->clear();
    if (!device || !name) return nullptr;
    for (int32_t i = 0; i < device->trackCount; ++i) {
        if (std::strcmp(device->tracks[i]->name, name) == 0) return device->tracks[i];
    }
    if (device->trackCount == INT32_MAX) return nullptr;

    // Everything is obtained before the device changes, so a failure leaves it as it was.
    auto* track = static_cast<SyncTrack*>(reallocate(nullptr, sizeof(SyncTrack)));
    char* nameCopy = track ? copyString(name) : nullptr;
    SyncTrack** tracks = nullptr;
    if (nameCopy) {
        const std::size_t slots = std::size_t(device->trackCount) + 1;
        tracks = static_cast<SyncTrack**>(reallocate(device->tracks, slots * sizeof(SyncTrack*)));
    }
    if (!tracks) {
        std::free(nameCopy);
        std::free(track);
        return nullptr;
    }
    *track = SyncTrack{nameCopy, nullptr, 0};
    device->tracks = tracks;
    device->tracks[device->trackCount++] = track;
    // A track whose file is missing or damaged is still a track; it holds what could be read.
    loadTrackFile(device, track, message);
    return track;
}

int loadTrackFile(SyncDevice* device, SyncTrack* track, std::string* message) {
    if (message) message->clear();
    if (!device || !track || !track->name) return -1;
    std::free(track->keys);
    track->keys = nullptr;
    track->keyCount = 0;

    char path[kPathCapacity];
    if (!buildTrackPath(path, device->basePath, track->name)) {
        report(message, "sync track file %s_%s.track: path longer than %d characters",
               device->basePath, track->name, kPathCapacity - 1);
        return -1;
    }
    std::vector<unsigned char> bytes;
    std::string why;
    bool openFailed = false;
    try {
        if (!readWholeFile(path, std::size_t(kMaxTrackFileBytes), bytes, why, &openFailed)) {
            if (openFailed) return -1;  // no file: a track without keys, not an error
            if (why == kFileTooLarge) {
                report(message,
                       "sync track file %s is longer than %ld bytes (%d keys); no keys kept", path,
                       kMaxTrackFileBytes, kMaxTrackKeys);
            } else {
                report(message, "sync track file %s cannot be read", path);
            }
            return -1;
        }
    } catch (const std::bad_alloc&) {
        report(message, "sync track file %s: out of memory for its bytes", path);
        return -1;
    }
    return parseTrack(bytes.data(), bytes.size(), path, track, message);
}

int findKey(const SyncTrack* track, int row) {
    int lo = 0;
    int hi = track->keyCount;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;  // (lo + hi) / 2 without the overflow
        if (track->keys[mid].row < row) {
            lo = mid + 1;
        } else if (track->keys[mid].row > row) {
            hi = mid;
        } else {
            return mid;
        }
    }
    return -lo - 1;
}

double trackValue(const SyncTrack* track, double row) {
    if (!track || !track->keys || track->keyCount <= 0) return 0.0;
    const SyncKey* keys = track->keys;
    const int32_t last = track->keyCount - 1;

    // floor(row) must fit an int before it is converted; any row outside that range lies
    // before the first key or after the last one. NaN counts as before the first.
    if (!(row >= -2147483648.0)) return keys[0].value;
    if (row >= 2147483648.0) return keys[last].value;

    int idx = findKey(track, static_cast<int>(std::floor(row)));
    if (idx < 0) idx = ~idx - 1;  // the last key at or before the row
    if (idx < 0) return keys[0].value;
    if (idx >= last) return keys[last].value;

    const SyncKey& k0 = keys[idx];
    const SyncKey& k1 = keys[idx + 1];
    // Loaded tracks have strictly ascending rows; a track filled by hand without them is held
    // at the earlier key instead of dividing by zero.
    if (k1.row <= k0.row) return k0.value;
    // In double: the row difference of two int32 rows may not fit an int32.
    const double t = (row - k0.row) / (double(k1.row) - double(k0.row));
    const double y0 = k0.value;
    const double dy = double(k1.value) - y0;
    switch (k0.type) {
        case Step:
            return y0;
        case Linear:
            return y0 + dy * t;
        case Smooth:
            return y0 + dy * (3.0 - 2.0 * t) * (t * t);
        case Quadratic:
            return y0 + dy * std::pow(t, 2.0);
        default:
            return 0.0;
    }
}

void destroySyncDevice(SyncDevice* device) {
    if (!device) return;
    std::free(device->basePath);
    for (int32_t i = 0; i < device->trackCount; ++i) freeTrack(device->tracks[i]);
    std::free(device->tracks);
    std::free(device);
}
