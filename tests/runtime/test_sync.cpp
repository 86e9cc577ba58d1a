#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "runtime/sync.h"

namespace {

namespace fs = std::filesystem;

struct FileKey {
    int32_t row;
    float value;
    uint8_t type;  // the raw byte
};

void putInt32(std::string& out, int32_t v) {
    const uint32_t u = std::bit_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(char((u >> (8 * i)) & 0xFF));
}

std::string encode(const std::vector<FileKey>& keys, int32_t count) {
    std::string bytes;
    putInt32(bytes, count);
    for (const FileKey& k : keys) {
        putInt32(bytes, k.row);
        putInt32(bytes, std::bit_cast<int32_t>(k.value));
        bytes.push_back(char(k.type));
    }
    return bytes;
}
std::string encode(const std::vector<FileKey>& keys) {
    return encode(keys, int32_t(keys.size()));
}

// A private directory with a device whose prefix is "<dir>/sync".
class SyncFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("core_sync_" + std::to_string(getpid()) + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        base_ = (dir_ / "sync").string();
        device_ = createSyncDevice(base_.c_str());
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override {
        setSyncRealloc(nullptr);
        destroySyncDevice(device_);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return base_ + "_" + name + ".track"; }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    // getTrack and loadTrackFile never print: the first forms expect no message, the
    // Reported forms one line that names the file.
    SyncTrack* get(const std::string& name) {
        std::string message;
        ::testing::internal::CaptureStdout();
        SyncTrack* track = getTrack(device_, name.c_str(), &message);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << name;
        EXPECT_EQ(message, "") << name;
        return track;
    }
    SyncTrack* getReported(const std::string& name) {
        std::string message;
        ::testing::internal::CaptureStdout();
        SyncTrack* track = getTrack(device_, name.c_str(), &message);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << name;
        expectOneLineNaming(message, name);
        return track;
    }
    int load(SyncTrack* track) {
        std::string message;
        const int result = loadTrackFile(device_, track, &message);
        EXPECT_EQ(message, "") << track->name;
        return result;
    }
    int loadReported(SyncTrack* track) {
        std::string message;
        ::testing::internal::CaptureStdout();
        const int result = loadTrackFile(device_, track, &message);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << track->name;
        expectOneLineNaming(message, track->name);
        return result;
    }
    void expectOneLineNaming(const std::string& message, const std::string& name) {
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        EXPECT_NE(message.find(path(name)), std::string::npos) << message;
    }

    fs::path dir_;
    std::string base_;
    SyncDevice* device_ = nullptr;
};

bool sameBits(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

// Independent evaluator: a linear scan for the last key at or before floor(row), then the
// segment formulas of each key type, all in double.
double referenceValue(const std::vector<FileKey>& keys, double row) {
    if (keys.empty()) return 0.0;
    const double whole = std::floor(row);
    int at = -1;
    for (int i = 0; i < int(keys.size()); ++i) {
        if (keys[i].row <= whole) at = i;
    }
    if (at < 0) return keys.front().value;
    if (at == int(keys.size()) - 1) return keys.back().value;
    const double y0 = keys[at].value, y1 = keys[at + 1].value;
    const double t = (row - keys[at].row) / (double(keys[at + 1].row) - keys[at].row);
    switch (int8_t(keys[at].type)) {
        case 0:
            return y0;
        case 1:
            return y0 + (y1 - y0) * t;
        case 2:
            return y0 + (y1 - y0) * t * t * (3 - 2 * t);
        case 3:
            return y0 + (y1 - y0) * t * t;
        default:
            return 0.0;
    }
}

TEST_F(SyncFiles, TrackWithoutKeysOrWithOneKey) {
    SyncTrack* none = get("none");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->keyCount, 0);
    EXPECT_EQ(findKey(none, 0), -1);
    for (double row : {-100.0, -0.5, 0.0, 3.7, 1480.0}) EXPECT_EQ(trackValue(none, row), 0.0);
    EXPECT_EQ(load(none), -1);

    write("one", encode({{50, 2.5f, 1}}));
    SyncTrack* one = get("one");
    ASSERT_EQ(one->keyCount, 1);
    for (double row : {-100.0, -0.5, 0.0, 50.0, 50.5, 1e6}) EXPECT_EQ(trackValue(one, row), 2.5);
    EXPECT_EQ(load(one), 0);
    EXPECT_EQ(one->keyCount, 1);
}

TEST_F(SyncFiles, RowsOutsideTheKeysHoldTheEndValues) {
    // Keys at 8 (Step, 3) and 16 (Linear, 7): before 8 the first value, from 16 on the last,
    // although the last key is Linear.
    write("ends", encode({{8, 3.0f, 0}, {16, 7.0f, 1}}));
    const SyncTrack* track = get("ends");
    EXPECT_EQ(trackValue(track, 3.9), 3.0);
    EXPECT_EQ(trackValue(track, -1e12), 3.0);
    EXPECT_EQ(trackValue(track, 12.0), 3.0);
    EXPECT_EQ(trackValue(track, 16.0), 7.0);
    EXPECT_EQ(trackValue(track, 500.0), 7.0);
    EXPECT_EQ(trackValue(track, 1e12), 7.0);
    EXPECT_EQ(trackValue(track, std::nan("")), 3.0);
}

TEST_F(SyncFiles, EachKeyTypeShapesItsSegment) {
    // Row 10 holds 1.0 with the type under test, row 20 holds 2.0: t = (row - 10) / 10.
    write("linear", encode({{10, 1.0f, 1}, {20, 2.0f, 0}}));
    write("smooth", encode({{10, 1.0f, 2}, {20, 2.0f, 0}}));
    write("quadratic", encode({{10, 1.0f, 3}, {20, 2.0f, 0}}));
    write("step", encode({{10, 1.0f, 0}, {20, 2.0f, 1}}));
    write("unknown", encode({{10, 1.0f, 0xFF}, {20, 2.0f, 1}}));
    const SyncTrack* linear = get("linear");
    EXPECT_DOUBLE_EQ(trackValue(linear, 10.75), 1.075);  // t = 0.075: the full row, not floor
    EXPECT_EQ(trackValue(linear, 10.0), 1.0);
    EXPECT_DOUBLE_EQ(trackValue(linear, 19.99), 1.999);
    EXPECT_DOUBLE_EQ(trackValue(linear, 15.0), 1.5);

    // Smooth at t = 0.5: (3 - 1) * 0.25 = 0.5; at t = 0.25: 2.5 * 0.0625 = 0.15625.
    const SyncTrack* smooth = get("smooth");
    EXPECT_DOUBLE_EQ(trackValue(smooth, 15.0), 1.5);
    EXPECT_DOUBLE_EQ(trackValue(smooth, 12.5), 1.15625);
    // Quadratic at t = 0.5: 0.25; at t = 0.9: 0.81.
    const SyncTrack* quadratic = get("quadratic");
    EXPECT_DOUBLE_EQ(trackValue(quadratic, 15.0), 1.25);
    EXPECT_DOUBLE_EQ(trackValue(quadratic, 19.0), 1.81);

    // Step holds the first value up to the next key; the later key's Linear type does not
    // matter for this segment.
    const SyncTrack* step = get("step");
    for (double row : {10.0, 15.0, 19.99}) EXPECT_EQ(trackValue(step, row), 1.0);
    EXPECT_EQ(trackValue(step, 20.0), 2.0);

    // The byte 0xFF reads as -1, an unknown type: its segment yields 0.
    const SyncTrack* unknown = get("unknown");
    EXPECT_EQ(unknown->keys[0].type, -1);
    EXPECT_EQ(trackValue(unknown, 15.0), 0.0);
    EXPECT_EQ(trackValue(unknown, 10.0), 0.0);
    EXPECT_EQ(trackValue(unknown, 20.0), 2.0);
}

TEST_F(SyncFiles, NegativeRowsLookUpTheFloor) {
    // Row -0.25 is looked up as -1, not truncated to 0: with keys at -1 (Step, 5) and 0 (7) it
    // gives 5; with keys at -1 (Linear, 0) and 0 (4) it gives 0 + 4 * 0.75 = 3.
    write("step", encode({{-1, 5.0f, 0}, {0, 7.0f, 0}}));
    write("linear", encode({{-1, 0.0f, 1}, {0, 4.0f, 0}}));
    EXPECT_EQ(trackValue(get("step"), -0.25), 5.0);
    EXPECT_EQ(trackValue(get("linear"), -0.25), 3.0);
    EXPECT_EQ(trackValue(get("step"), -1.0), 5.0);
}

TEST_F(SyncFiles, FindKeyGivesTheIndexOrTheComplementOfTheNextOne) {
    write("keys", encode({{0, 1.0f, 0}, {4, 2.0f, 0}, {8, 3.0f, 0}}));
    const SyncTrack* track = get("keys");
    EXPECT_EQ(findKey(track, 0), 0);
    EXPECT_EQ(findKey(track, 4), 1);
    EXPECT_EQ(findKey(track, 8), 2);
    EXPECT_EQ(findKey(track, 5), -3);
    EXPECT_EQ(findKey(track, -1), -1);
    EXPECT_EQ(findKey(track, 9), -4);
    EXPECT_EQ(findKey(track, INT32_MIN), -1);
    EXPECT_EQ(findKey(track, INT32_MAX), -4);
}

TEST_F(SyncFiles, GetTrackReadsEachNameOnce) {
    write("scene", encode({{0, 1.0f, 0}}));
    SyncTrack* first = get("scene");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->name, "scene");
    // Changing the file afterwards changes nothing: the track is not read again.
    write("scene", encode({{0, 9.0f, 0}, {5, 9.0f, 0}}));
    EXPECT_EQ(get("scene"), first);
    EXPECT_EQ(first->keyCount, 1);
    EXPECT_EQ(trackValue(first, 0.0), 1.0);
    EXPECT_EQ(device_->trackCount, 1);

    // Names compare byte for byte; every new name adds one track, in order.
    SyncTrack* upper = get("Scene");
    SyncTrack* longer = get("scene2");
    EXPECT_NE(upper, first);
    EXPECT_NE(longer, first);
    ASSERT_EQ(device_->trackCount, 3);
    EXPECT_EQ(device_->tracks[0], first);
    EXPECT_EQ(device_->tracks[1], upper);
    EXPECT_EQ(device_->tracks[2], longer);
    EXPECT_EQ(get("Scene"), upper);
    EXPECT_EQ(device_->trackCount, 3);

    EXPECT_EQ(getTrack(nullptr, "scene"), nullptr);
    EXPECT_EQ(getTrack(device_, nullptr), nullptr);
    destroySyncDevice(nullptr);
}

TEST_F(SyncFiles, PathIsLimitedTo259Characters) {
    // "<base>_<name>.track" of exactly 259 characters is read; one more is refused, with a
    // message and without touching the file system.
    const std::size_t fixed = base_.size() + 1 + 6;
    ASSERT_LT(fixed, 200u);
    const std::string fits(259 - fixed, 'n');
    const std::string tooLong(260 - fixed, 'n');
    ASSERT_EQ(path(fits).size(), 259u);
    write(fits, encode({{0, 4.0f, 0}}));
    EXPECT_EQ(get(fits)->keyCount, 1);

    SyncTrack* refused = getReported(tooLong);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->keyCount, 0);

    const std::string hugeName(5000, 'x');
    EXPECT_EQ(getReported(hugeName)->keyCount, 0);
}

TEST_F(SyncFiles, EveryTruncationKeepsTheWholeKeysBeforeTheCut) {
    const std::vector<FileKey> keys = {{0, 1.0f, 1},  {10, 2.0f, 2},    {25, -3.0f, 3},
                                       {40, 0.5f, 0}, {41, 8.0f, 0xFF}, {90, 6.0f, 1}};
    const std::string whole = encode(keys);
    ASSERT_EQ(whole.size(), 4u + 9u * 6u);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        write("cut", whole.substr(0, length));
        SyncTrack track{const_cast<char*>("cut"), nullptr, 0};
        EXPECT_EQ(loadReported(&track), -1) << length;
        const int32_t expectKept = length < 4 ? 0 : int32_t((length - 4) / 9);
        ASSERT_EQ(track.keyCount, expectKept) << length;
        for (int32_t i = 0; i < expectKept; ++i) {
            EXPECT_EQ(track.keys[i].row, keys[i].row);
            EXPECT_EQ(track.keys[i].value, keys[i].value);
            EXPECT_EQ(track.keys[i].type, int8_t(keys[i].type));
        }
        if (expectKept == 0) {
            EXPECT_EQ(track.keys, nullptr);
        }
        EXPECT_EQ(trackValue(&track, 30.0),
                  referenceValue({keys.begin(), keys.begin() + expectKept}, 30.0));
        std::free(track.keys);
    }
    write("cut", whole);
    SyncTrack track{const_cast<char*>("cut"), nullptr, 0};
    EXPECT_EQ(load(&track), 0);
    EXPECT_EQ(track.keyCount, 6);
    std::free(track.keys);
}

std::vector<std::size_t> gAllocations;
void* recordingRealloc(void* block, std::size_t size) {
    gAllocations.push_back(size);
    return std::realloc(block, size);
}

TEST_F(SyncFiles, ImpossibleKeyCountsAreRefusedBeforeAllocating) {
    const std::vector<FileKey> two = {{0, 1.0f, 1}, {10, 2.0f, 0}};
    write("negative", encode(two, -1));
    write("minimum", encode(two, INT32_MIN));
    write("overLimit", encode(two, kMaxTrackKeys + 1));
    write("maximum", encode(two, INT32_MAX));
    write("short", encode(two, kMaxTrackKeys));  // allowed count, but the file holds 2 keys
    setSyncRealloc(recordingRealloc);
    for (const char* name : {"negative", "minimum", "overLimit", "maximum"}) {
        gAllocations.clear();
        SyncTrack* track = getReported(name);
        ASSERT_NE(track, nullptr);
        EXPECT_EQ(track->keyCount, 0) << name;
        EXPECT_EQ(trackValue(track, 5.0), 0.0);
        // The track record, its name and the track array: no key storage.
        EXPECT_EQ(gAllocations.size(), 3u) << name;
    }
    gAllocations.clear();
    SyncTrack* track = getReported("short");
    setSyncRealloc(nullptr);
    ASSERT_EQ(gAllocations.size(), 4u);
    EXPECT_EQ(gAllocations[3], 2 * sizeof(SyncKey));  // what the file holds, not 2^20 keys
    EXPECT_EQ(track->keyCount, 2);
    EXPECT_EQ(trackValue(track, 5.0), 1.5);
}

TEST_F(SyncFiles, KeysMustAscendStrictly) {
    // Out of order, two keys on one row, a value that is no number: the keys before the
    // offending one are kept, so the rows stay strictly ascending and no segment is empty.
    write("order", encode({{0, 1.0f, 1}, {10, 2.0f, 1}, {5, 3.0f, 1}, {20, 4.0f, 1}}));
    write("twice", encode({{0, 1.0f, 1}, {10, 2.0f, 1}, {10, 3.0f, 1}}));
    write("first", encode({{7, 1.0f, 1}, {7, 2.0f, 1}}));
    write("nan", encode({{0, 1.0f, 1}, {10, std::nanf(""), 1}, {20, 3.0f, 1}}));
    write("inf", encode({{0, INFINITY, 1}}));
    const struct {
        const char* name;
        int32_t kept;
    } cases[] = {{"order", 2}, {"twice", 2}, {"first", 1}, {"nan", 1}, {"inf", 0}};
    for (const auto& c : cases) {
        SyncTrack track{const_cast<char*>(c.name), nullptr, 0};
        EXPECT_EQ(loadReported(&track), -1) << c.name;
        EXPECT_EQ(track.keyCount, c.kept) << c.name;
        for (int32_t i = 1; i < track.keyCount; ++i)
            EXPECT_LT(track.keys[i - 1].row, track.keys[i].row);
        std::free(track.keys);
    }
    EXPECT_EQ(trackValue(getReported("order"), 15.0), 2.0);  // held after the last kept key
    EXPECT_EQ(trackValue(getReported("twice"), 5.0), 1.5);

    // A track filled by hand with two keys on one row does not divide by zero: the segment
    // from row 3 to row 3 holds the earlier key's value.
    SyncKey keys[] = {{1, 0.0f, Linear}, {3, 1.0f, Linear}, {3, 2.0f, Linear}};
    const SyncTrack handMade{const_cast<char*>("hand"), keys, 3};
    EXPECT_EQ(trackValue(&handMade, 3.5), 1.0);
    for (double row = -1; row < 10; row += 0.25) {
        EXPECT_TRUE(std::isfinite(trackValue(&handMade, row))) << row;
    }
}

TEST_F(SyncFiles, ADirectoryInPlaceOfTheFileIsReported) {
    fs::create_directory(path("folder"));
#ifdef _WIN32
    // Windows cannot open a directory as a file at all: it is a missing track file there.
    SyncTrack* track = get("folder");
#else
    SyncTrack* track = getReported("folder");
#endif
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->keyCount, 0);
    EXPECT_EQ(trackValue(track, 3.0), 0.0);
}

TEST_F(SyncFiles, BytesAfterTheLastKeyAreIgnoredWithANote) {
    write("extra", encode({{0, 1.0f, 1}, {10, 2.0f, 0}}) + "xyz");
    SyncTrack* track = getReported("extra");
    EXPECT_EQ(track->keyCount, 2);
    EXPECT_EQ(loadReported(track), 0);
    EXPECT_EQ(track->keyCount, 2);
}

int gFailAt = -1;
int gCalls = 0;
void* failingRealloc(void* block, std::size_t size) {
    return gCalls++ == gFailAt ? nullptr : std::realloc(block, size);
}

TEST_F(SyncFiles, RunningOutOfMemoryLeavesTheDeviceUsable) {
    write("a", encode({{0, 1.0f, 1}, {10, 2.0f, 0}}));
    write("b", encode({{0, 5.0f, 0}}));
    setSyncRealloc(failingRealloc);
    // createSyncDevice allocates the device, then its path copy.
    for (int fail = 0; fail < 2; ++fail) {
        gCalls = 0, gFailAt = fail;
        EXPECT_EQ(createSyncDevice(base_.c_str()), nullptr) << fail;
    }
    SyncTrack* a = get("a");
    // A new track needs its record, its name and one more slot; any of them failing gives
    // null and leaves the device as it was.
    for (int fail = 0; fail < 3; ++fail) {
        gCalls = 0, gFailAt = fail;
        EXPECT_EQ(get("b"), nullptr) << fail;
        ASSERT_EQ(device_->trackCount, 1);
        EXPECT_EQ(device_->tracks[0], a);
        EXPECT_EQ(get("a"), a);
    }
    // The fourth allocation is the keys: the track exists, without keys, and the failure is
    // reported.
    gCalls = 0, gFailAt = 3;
    SyncTrack* b = getReported("b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->keyCount, 0);
    EXPECT_EQ(trackValue(b, 1.0), 0.0);
    gFailAt = -1;
    setSyncRealloc(nullptr);
    EXPECT_EQ(load(b), 0);
    EXPECT_EQ(trackValue(b, 1.0), 5.0);
    EXPECT_EQ(trackValue(a, 5.0), 1.5);
}

TEST_F(SyncFiles, FilesLongerThanTheLargestTrackAreRefusedWhole) {
    // kMaxTrackKeys ascending keys fill exactly kMaxTrackFileBytes = 4 + 9 * 2^20 = 9437188
    // bytes and load; one byte more is refused with no keys, even though the keys are sound.
    ASSERT_EQ(kMaxTrackFileBytes, 9437188);
    std::vector<FileKey> keys(kMaxTrackKeys);
    for (int32_t k = 0; k < kMaxTrackKeys; ++k) keys[k] = {k * 2, float(k), 1};
    const std::string full = encode(keys);
    ASSERT_EQ(full.size(), std::size_t(kMaxTrackFileBytes));
    write("full", full);
    const SyncTrack* track = get("full");
    ASSERT_EQ(track->keyCount, kMaxTrackKeys);
    EXPECT_EQ(trackValue(track, 3.0), 1.5);  // halfway from (2, 1.0) to (4, 2.0)

    write("over", full + "x");
    EXPECT_EQ(getReported("over")->keyCount, 0);
    const std::string over = full + "x";
    SyncTrack inMemory{const_cast<char*>("over"), nullptr, 0};
    std::string message;
    EXPECT_EQ(parseTrack(reinterpret_cast<const unsigned char*>(over.data()), over.size(),
                         path("over").c_str(), &inMemory, &message),
              -1);
    expectOneLineNaming(message, "over");
    EXPECT_EQ(inMemory.keyCount, 0);
    // Two sound keys followed by 9 MB of rubbish: still longer than any track file.
    write("padded", encode({{0, 1.0f, 1}, {10, 2.0f, 0}}) + std::string(kMaxTrackFileBytes, 'z'));
    EXPECT_EQ(getReported("padded")->keyCount, 0);
}

TEST_F(SyncFiles, ParsingBytesInMemoryMatchesReadingTheFile) {
    // The same keys, result and message for every cut and every single damaged byte of a
    // file, whether loadTrackFile reads it or parseTrack is handed its bytes.
    const std::string whole =
        encode({{0, 1.0f, 1}, {10, 2.0f, 2}, {25, -3.0f, 3}, {40, 0.5f, 0}}) + "tail";
    std::vector<std::string> variants;
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        variants.push_back(whole.substr(0, length));
    }
    for (std::size_t at = 0; at < whole.size(); ++at) {
        for (unsigned char value : {0x00, 0x7F, 0x80, 0xFF}) {
            std::string damaged = whole;
            damaged[at] = char(value);
            variants.push_back(damaged);
        }
    }
    for (const std::string& bytes : variants) {
        write("same", bytes);
        SyncTrack fromFile{const_cast<char*>("same"), nullptr, 0};
        std::string fileSaid;
        const int fileResult = loadTrackFile(device_, &fromFile, &fileSaid);

        SyncTrack fromBytes{const_cast<char*>("same"), nullptr, 0};
        const std::string name = path("same");
        std::string bytesSaid;
        const int bytesResult = parseTrack(reinterpret_cast<const unsigned char*>(bytes.data()),
                                           bytes.size(), name.c_str(), &fromBytes, &bytesSaid);

        EXPECT_EQ(bytesResult, fileResult);
        EXPECT_EQ(bytesSaid, fileSaid);
        ASSERT_EQ(fromBytes.keyCount, fromFile.keyCount);
        for (int32_t k = 0; k < fromFile.keyCount; ++k) {
            EXPECT_EQ(fromBytes.keys[k].row, fromFile.keys[k].row);
            EXPECT_TRUE(sameBits(fromBytes.keys[k].value, fromFile.keys[k].value));
            EXPECT_EQ(fromBytes.keys[k].type, fromFile.keys[k].type);
        }
        std::free(fromFile.keys);
        std::free(fromBytes.keys);
    }
    // Parsing replaces the keys a track held.
    SyncTrack track{const_cast<char*>("again"), nullptr, 0};
    const std::string one = encode({{3, 7.0f, 0}});
    const auto* bytes = reinterpret_cast<const unsigned char*>(one.data());
    ASSERT_EQ(parseTrack(bytes, one.size(), "again", &track), 0);
    ASSERT_EQ(parseTrack(bytes, one.size(), "again", &track), 0);
    EXPECT_EQ(track.keyCount, 1);
    std::free(track.keys);
    EXPECT_EQ(parseTrack(nullptr, 4, "none", &track), -1);
}

TEST_F(SyncFiles, ValuesAgreeWithAnIndependentEvaluator) {
    std::mt19937 rng(1480);
    std::uniform_int_distribution<int> keyCount(0, 12), gap(1, 40), typeByte(0, 4);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    std::uniform_real_distribution<double> offset(-60.0, 60.0);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<FileKey> keys;
        int32_t row = std::uniform_int_distribution<int>(-50, 50)(rng);
        for (int k = keyCount(rng); k > 0; --k) {
            const int type = typeByte(rng);  // 4 stands for an unknown type
            keys.push_back({row, value(rng), uint8_t(type == 4 ? 0x80 : type)});
            row += gap(rng);
        }
        const std::string name = "random" + std::to_string(trial);
        write(name, encode(keys));
        const SyncTrack* track = get(name);
        ASSERT_EQ(track->keyCount, int32_t(keys.size()));
        const double first = keys.empty() ? 0 : keys.front().row;
        const double last = keys.empty() ? 0 : keys.back().row;
        for (int i = 0; i < 100; ++i) {
            // Random fractional rows over the keys and beyond, plus every key row and the rows
            // just before it.
            double r = std::uniform_real_distribution<double>(first - 10, last + 10)(rng);
            if (i < int(keys.size())) r = keys[i].row - (i % 2 ? 0.0 : 1e-9);
            if (i == 99) r = offset(rng);
            ASSERT_NEAR(trackValue(track, r), referenceValue(keys, r), 1e-9)
                << "trial " << trial << " row " << r;
        }
    }
}

}  // namespace
