// Little-endian words: the byte order of every field of a C6000 executable and of every
// word of a VELM image.
//
// load_ and store_ work on a pointer the caller has already bounds-checked; read_ takes
// a span and checks the field against it, so a decoder of an on-disk record never
// reaches past the bytes it was given.
#ifndef C6X_VELM_CORE_BYTE_ORDER_H
#define C6X_VELM_CORE_BYTE_ORDER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velm {

inline uint16_t load_le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t load_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t load_le64(const uint8_t* p) {
    return uint64_t{load_le32(p)} | (uint64_t{load_le32(p + 4)} << 32);
}

inline void store_le32(uint8_t* p, uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // One store: the compiler does not always merge the four below into it, and BINARY
    // output stores three of these per record.
    std::memcpy(p, &v, 4);
#else
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
#endif
}

inline void store_le64(uint8_t* p, uint64_t v) {
    store_le32(p, static_cast<uint32_t>(v));
    store_le32(p + 4, static_cast<uint32_t>(v >> 32));
}

// A read-only view of bytes. Readers check every access against `size`.
struct ByteSpan {
    const uint8_t* data;
    size_t size;
};

// True when `width` bytes at `offset` lie inside `b`.
inline bool span_holds(ByteSpan b, size_t offset, size_t width) {
    return b.data != nullptr && offset <= b.size && width <= b.size - offset;
}

// The field at `offset`: false (and *out = 0) when it does not lie inside `b`.
inline bool read_le16(ByteSpan b, size_t offset, uint16_t* out) {
    *out = span_holds(b, offset, 2) ? load_le16(b.data + offset) : 0;
    return span_holds(b, offset, 2);
}

inline bool read_le32(ByteSpan b, size_t offset, uint32_t* out) {
    *out = span_holds(b, offset, 4) ? load_le32(b.data + offset) : 0;
    return span_holds(b, offset, 4);
}

}  // namespace velm

#endif
