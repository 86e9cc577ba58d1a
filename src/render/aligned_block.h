// Memory blocks aligned to 64 bytes, a cache line: the framebuffer, texel blocks and the
// render context's arrays. One pair of functions on every platform, so that no caller needs
// to know how its C runtime spells aligned allocation.
#pragma once

#include <cstddef>

constexpr size_t kBlockAlignment = 64;

// An uninitialised block of `bytes` bytes starting on a kBlockAlignment boundary; null when
// the memory cannot be had. Give it back through freeAligned only.
void* allocateAligned(size_t bytes);

// Frees a block of allocateAligned; null is ignored.
void freeAligned(void* block);
