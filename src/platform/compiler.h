// Compiler-specific spellings, so that the sources also build with a compiler that does
// not know GCC's attributes (MSVC).
#ifndef C6X_VELM_PLATFORM_COMPILER_H
#define C6X_VELM_PLATFORM_COMPILER_H

#include <cstddef>
#include <cstdint>
#if defined(_MSC_VER) && !defined(__GNUC__)
#include <intrin.h>
#endif

#if defined(__GNUC__)
// Keeps a slow path out of line, so that its caller's common case stays a short leaf.
#define VELM_NOINLINE [[gnu::noinline]]
// Inlines every call in a function where the callee's body is visible (across files when
// the tool is built with link-time optimisation), except those kept out of line: for a
// loop that runs once per record, whose callees' sizes would otherwise decide, from one
// build to the next, which of them cost a call per record.
#define VELM_FLATTEN [[gnu::flatten]]
// Lets the compiler check the arguments of a printf-style function against its format.
#define VELM_PRINTF_LIKE(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))
#elif defined(_MSC_VER)
#define VELM_NOINLINE __declspec(noinline)
#define VELM_FLATTEN
#define VELM_PRINTF_LIKE(format_index, first_arg)
#else
#define VELM_NOINLINE
#define VELM_FLATTEN
#define VELM_PRINTF_LIKE(format_index, first_arg)
#endif

namespace velm {

// The index of the lowest set bit of a word that is not zero.
inline int lowest_set_bit(uint64_t w) {
#if defined(__GNUC__)
    return __builtin_ctzll(w);
#elif defined(_MSC_VER)
    unsigned long i;
    _BitScanForward64(&i, w);
    return static_cast<int>(i);
#else
    int i = 0;
    while ((w & 1) == 0) {
        w >>= 1;
        ++i;
    }
    return i;
#endif
}

// Starts bringing the cache line `ahead` bytes past `p` in, for a walk over a table of
// megabytes that arrives from memory: the processor's own prefetching stops at each 4 KiB
// page. An address past the table is harmless, as a prefetch never faults; it is made
// as a number so that no pointer points past the table.
inline void prefetch_ahead(const void* p, size_t ahead) {
#if defined(__GNUC__)
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(p) + ahead));
#else
    (void)p;
    (void)ahead;
#endif
}

}  // namespace velm

#endif
