// Sync tracks: keyframed values that steer the show, one binary file per track.
//
// File "<basePath>_<name>.track" (at most 259 characters; a longer path is refused with a
// message), little-endian, no header:
//   int32 K, then K keys of 9 bytes each: int32 row, float32 value, int8 type.
// Keys are stored sorted by ascending row. Between two keys the earlier key's type decides
// how the value travels: Step, Linear, Smooth (3 - 2t) t^2 or Quadratic t^2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum SyncKeyType : int32_t { Step = 0, Linear = 1, Smooth = 2, Quadratic = 3 };

struct SyncKey {
    int32_t row;
    float value;
    int32_t type;  // sign-extended from the file's byte
};

struct SyncTrack {
    char* name;
    SyncKey* keys;
    int32_t keyCount;
};

struct SyncDevice {
    char* basePath;
    SyncTrack** tracks;
    int32_t trackCount;
};

// A track file may hold at most this many keys; a count beyond it is refused before anything
// is allocated (a whole show needs a few hundred).
constexpr int32_t kMaxTrackKeys = 1 << 20;

// The longest track file: the key count and kMaxTrackKeys keys. A longer file keeps no keys,
// and is never read much beyond this length.
constexpr long kMaxTrackFileBytes = 4 + 9 * long(kMaxTrackKeys);

// Null when the device or the copy of the path cannot be allocated.
SyncDevice* createSyncDevice(const char* basePath);
// The track of that name, read from its file the first time it is asked for. A missing file
// gives a track without keys. Null only when memory for the track itself runs out. What
// loadTrackFile reports lands in `message` (when given); an empty message means nothing to say.
SyncTrack* getTrack(SyncDevice* device, const char* name, std::string* message = nullptr);
// 0 when the whole file was read; -1 when it cannot be opened (silently: a missing file is an
// empty track), its keys cannot be allocated, or it is damaged. A damaged file (shorter than
// its key count, a count below 0 or above kMaxTrackKeys, a key not after the one before it, a
// value that is not a finite number) keeps the whole, ordered keys before the damage and
// puts one line naming it into `message`; a file longer than kMaxTrackFileBytes keeps no keys.
// Trailing bytes after the last key are noted in `message` with result 0. Rows of a loaded
// track are therefore strictly ascending. Nothing is printed.
int loadTrackFile(SyncDevice* device, SyncTrack* track, std::string* message = nullptr);
// The reading of loadTrackFile over the bytes of a whole file held in memory: the same keys,
// result and message, with `path` naming the file. Any keys `track` held are released first.
int parseTrack(const unsigned char* bytes, std::size_t size, const char* path, SyncTrack* track,
               std::string* message = nullptr);
// Index of the key on `row`, else the complement of the index of the first later key.
int findKey(const SyncTrack* track, int row);
double trackValue(const SyncTrack* track, double row);
void destroySyncDevice(SyncDevice* device);

// Every block the device owns is obtained through this realloc-like function and released
// with std::free; tests replace it to make a chosen allocation fail. nullptr restores
// std::realloc.
using SyncReallocFn = void* (*)(void* block, std::size_t size);
void setSyncRealloc(SyncReallocFn fn);
