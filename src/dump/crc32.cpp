#include "dump/crc32.h"

#include <array>

namespace velm::dump {

namespace {

// table[0][i] is the CRC remainder of the byte i alone, shifted through all eight bits;
// table[k][i] is that of byte i followed by k zero bytes. With them the CRC takes eight
// bytes per step ("slicing by 8"): the listing of a large image reads every data byte
// through here.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables make_tables() {
    Tables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (size_t k = 1; k < 8; ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
        }
    }
    return t;
}

constexpr Tables kTables = make_tables();

inline uint32_t load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

uint32_t crc32_update(uint32_t state, const uint8_t* data, size_t n) {
    const auto& t = kTables;
    for (; n >= 8; n -= 8, data += 8) {
        const uint32_t a = state ^ load32(data);
        const uint32_t b = load32(data + 4);
        state = t[7][a & 0xFFu] ^ t[6][(a >> 8) & 0xFFu] ^ t[5][(a >> 16) & 0xFFu] ^ t[4][a >> 24] ^
                t[3][b & 0xFFu] ^ t[2][(b >> 8) & 0xFFu] ^ t[1][(b >> 16) & 0xFFu] ^ t[0][b >> 24];
    }
    for (; n > 0; --n, ++data) state = t[0][(state ^ *data) & 0xFFu] ^ (state >> 8);
    return state;
}

}  // namespace velm::dump
