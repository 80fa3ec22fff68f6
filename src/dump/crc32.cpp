#include "dump/crc32.h"

#include <array>

namespace velm::dump {

namespace {

// Entry i is the CRC remainder of the byte i alone, shifted through all eight bits.
constexpr std::array<uint32_t, 256> make_table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = make_table();

}  // namespace

uint32_t crc32_update(uint32_t state, const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) state = kTable[(state ^ data[i]) & 0xFFu] ^ (state >> 8);
    return state;
}

}  // namespace velm::dump
