// The whole show is the same picture however it is drawn: vector lanes on or off.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/rasterizer.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "runtime/startup.h"

namespace {

uint64_t hashFrame(const float* framebuffer) {
    // FNV-1a over the bytes: any changed bit changes it.
    uint64_t hash = 14695981039346656037ull;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(framebuffer);
    for (size_t i = 0; i < kFrameFloats * sizeof(float); ++i) {
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    }
    return hash;
}

// Every fourth row of the show, in order (the falling discs carry state), from a fresh start.
std::vector<uint64_t> showHashes(bool simd) {
    Show show;
    EXPECT_TRUE(startShow(show, DEMO_TEST_DATA_DIR, nullptr));
    setRasterizerSimd(simd);
    std::vector<uint64_t> hashes;
    const Matrix4 camera = identityMatrix();
    for (double row = 0; row < kLastRow; row += 4) {
        const double seconds = row / ROWS_PER_SECOND;
        renderFrame({row, seconds, seconds, camera}, show);
        hashes.push_back(hashFrame(show.framebuffer));
    }
    setRasterizerSimd(true);
    endShow(show);
    return hashes;
}

TEST(Frame, WholeShowIsBitIdenticalWithAndWithoutVectorLanes) {
    const std::vector<uint64_t> reference = showHashes(false);
    const std::vector<uint64_t> vector = showHashes(true);
    ASSERT_EQ(vector.size(), reference.size());
    for (size_t i = 0; i < reference.size(); ++i) {
        ASSERT_EQ(vector[i], reference[i]) << "row " << 4 * i;
    }
}

}  // namespace
