// The one range check: does a block of `size` bytes at `offset` end within `limit`?
//
// Offsets, sizes and limits come from damaged files as often as from sound ones, so the
// sum is never formed in 32 bits, where 0x200 + 0xFFFFFF00 wraps to 0x100 and passes.
#ifndef C6X_VELM_CORE_RANGE_H
#define C6X_VELM_CORE_RANGE_H

#include <cstdint>

namespace velm {

// offset + size <= limit, computed without wrapping.
constexpr bool ends_within(uint64_t offset, uint64_t size, uint64_t limit) {
    return offset <= limit && size <= limit - offset;
}

}  // namespace velm

#endif
