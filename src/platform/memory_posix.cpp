#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "platform/memory.h"

namespace velm {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMapThreshold = size_t{1} << 20;  // smaller blocks come from malloc

// The mapped blocks alive now (the run has at most two), so block_free can unmap them.
struct Mapping {
    void* block = nullptr;
    void* base = nullptr;
    size_t length = 0;
};
Mapping mappings[4];

}  // namespace

void* block_alloc(size_t n) {
    if (n < kMapThreshold) return std::malloc(n);
    Mapping* slot = nullptr;
    for (Mapping& m : mappings) {
        if (m.block == nullptr) {
            slot = &m;
            break;
        }
    }
    if (slot == nullptr || n > SIZE_MAX - 2 * kHugePage) return std::malloc(n);
    // Over-allocate by one huge page so the block can start on a huge-page boundary.
    size_t length = (n + kHugePage - 1) / kHugePage * kHugePage + kHugePage;
    void* base =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(base) + kHugePage - 1) & ~(kHugePage - 1);
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(block, length - (aligned - reinterpret_cast<uintptr_t>(base)), MADV_HUGEPAGE);
#endif
    *slot = Mapping{block, base, length};
    return block;
}

void block_free(void* p) {
    if (p == nullptr) return;
    for (Mapping& m : mappings) {
        if (m.block == p) {
            ::munmap(m.base, m.length);
            m = Mapping{};
            return;
        }
    }
    std::free(p);
}

}  // namespace velm
