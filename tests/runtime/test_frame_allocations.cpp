// A frame allocates nothing: every scene, every overlay, over the whole show.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <set>

#include "runtime/clock.h"
#include "runtime/frame.h"
#include "runtime/startup.h"
#include "show_fixture.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

// Counting replacements of the global allocation functions, every plain form of them, so that
// each block is given back by the function matching the one that made it (the shows of this
// program free what they made).
namespace {
void* counted(std::size_t size) {
    if (counting) ++allocations;
    return std::malloc(size ? size : 1);
}
}  // namespace
void* operator new(std::size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size);
}
// The compiler cannot see that these deletes only ever receive the malloc'd blocks above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

TEST(Frame, RendersTheWholeShowWithoutAllocating) {
    TestShow show;

    std::set<int> scenes;
    const Matrix4 camera = identityMatrix();
    for (double row = 0; row < kLastRow; row += 4) {
        const double seconds = row / ROWS_PER_SECOND;
        counting = true;
        const int scene = renderFrame({row, seconds, seconds, camera}, show);
        counting = false;
        scenes.insert(scene);
    }
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(scenes, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 10}));
}

}  // namespace
