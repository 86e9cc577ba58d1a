#include "render/aligned_block.h"

#include <new>

// The aligned forms of operator new and delete exist on every C++17 runtime, unlike
// std::aligned_alloc (missing from the Windows C runtime), and pair with each other.
void* allocateAligned(size_t bytes) {
    return ::operator new (bytes, std::align_val_t{kBlockAlignment}, std::nothrow);
}

void freeAligned(void* block) {
    ::operator delete (block, std::align_val_t{kBlockAlignment});
}
