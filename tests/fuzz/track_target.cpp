#include <cmath>
#include <cstdlib>
#include <limits>

#include "fuzz_targets.h"
#include "runtime/sync.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) fuzzInvariantBroken("track", what);
}

// A key's own row gives its value (t = 0), except that a segment of unknown type gives 0.0;
// the last key gives its value whatever its type.
double valueAtKey(const SyncTrack& track, int32_t k) {
    const SyncKey& key = track.keys[k];
    const bool known = key.type >= Step && key.type <= Quadratic;
    return k == track.keyCount - 1 || known ? double(key.value) : 0.0;
}

}  // namespace

int fuzzTrackFile(const uint8_t* data, size_t size) {
    SyncTrack track{const_cast<char*>("fuzz"), nullptr, 0};
    const int result = parseTrack(data, size, kFuzzTrackPath, &track);
    check(result == 0 || result == -1, "result is 0 or -1");

    const size_t whole = size >= 4 ? (size - 4) / 9 : 0;
    check(track.keyCount >= 0 && track.keyCount <= kMaxTrackKeys, "key count within limits");
    check(size_t(track.keyCount) <= whole, "no more keys than the bytes hold");
    check((track.keys == nullptr) == (track.keyCount == 0), "keys present exactly when counted");
    if (result == 0) {
        int32_t announced = 0;
        for (int i = 3; i >= 0; --i) announced = int32_t(uint32_t(announced) << 8 | data[i]);
        check(announced == track.keyCount, "a clean read keeps every announced key");
    }
    for (int32_t k = 0; k < track.keyCount; ++k) {
        const SyncKey& key = track.keys[k];
        check(std::isfinite(key.value), "values are finite");
        check(key.type >= -128 && key.type <= 127, "type is a sign-extended byte");
        if (k > 0) check(track.keys[k - 1].row < key.row, "rows strictly ascend");
    }

    // The lookups over what was kept: every key is found on its row, and every row gives a
    // finite value.
    for (int32_t k = 0; k < track.keyCount; ++k) {
        check(findKey(&track, track.keys[k].row) == k, "findKey finds each key on its row");
        check(trackValue(&track, track.keys[k].row) == valueAtKey(track, k),
              "a key's row gives its value");
        if (k + 1 < track.keyCount) {
            const double middle = (double(track.keys[k].row) + track.keys[k + 1].row) / 2;
            check(std::isfinite(trackValue(&track, middle)), "values between keys are finite");
        }
    }
    const double probes[] = {-1e300,
                             -2147483649.0,
                             -2147483648.0,
                             -0.25,
                             0.0,
                             2147483647.5,
                             2147483648.0,
                             1e300,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity()};
    for (double row : probes) {
        const double value = trackValue(&track, row);
        check(std::isfinite(value), "any row gives a finite value");
        if (track.keyCount == 0) check(value == 0.0, "a track without keys gives 0.0");
    }
    if (track.keyCount > 0) {
        check(findKey(&track, INT32_MIN) <= 0, "findKey at the lowest row");
        check(findKey(&track, INT32_MAX) >= -track.keyCount - 1, "findKey at the highest row");
    }
    std::free(track.keys);
    return 0;
}
