// CRC-32 as used by zlib, Ethernet and PNG (IEEE 802.3): reflected polynomial
// 0xEDB88320, initial value and final XOR 0xFFFFFFFF. The check value of the nine bytes
// "123456789" is 0xCBF43926.
#ifndef C6X_VELM_DUMP_CRC32_H
#define C6X_VELM_DUMP_CRC32_H

#include <cstddef>
#include <cstdint>

namespace velm::dump {

// Continues a CRC over n more bytes. Start with crc32_begin(), end with crc32_end();
// the pieces may be of any size, so a record's bytes can be fed word by word.
constexpr uint32_t crc32_begin() {
    return 0xFFFFFFFFu;
}
uint32_t crc32_update(uint32_t state, const uint8_t* data, size_t n);
constexpr uint32_t crc32_end(uint32_t state) {
    return state ^ 0xFFFFFFFFu;
}

}  // namespace velm::dump

#endif
