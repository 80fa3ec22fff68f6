#include <windows.h>

#include <cstdlib>

#include "platform/memory.h"

namespace velm {

namespace {

// Blocks this large are committed straight from the system; smaller ones come from malloc.
constexpr size_t kMapThreshold = size_t{1} << 20;

// The committed blocks alive now (the run has at most two), so block_free can tell them
// from malloc's.
void* mappings[4];

}  // namespace

void* block_alloc(size_t n) {
    if (n < kMapThreshold) return std::malloc(n);
    for (void*& slot : mappings) {
        if (slot == nullptr) {
            slot = ::VirtualAlloc(nullptr, n, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
            return slot;
        }
    }
    return std::malloc(n);
}

void block_free(void* p) {
    if (p == nullptr) return;
    for (void*& slot : mappings) {
        if (slot == p) {
            ::VirtualFree(p, 0, MEM_RELEASE);
            slot = nullptr;
            return;
        }
    }
    std::free(p);
}

}  // namespace velm
