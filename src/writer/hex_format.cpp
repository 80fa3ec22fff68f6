#include "writer/hex_format.h"

#include <cstring>

namespace velm {

namespace {

// Two digits per byte value, so a word takes four lookups.
struct HexPairs {
    char upper[256][2];
    char lower[256][2];
    constexpr HexPairs() : upper(), lower() {
        const char* u = "0123456789ABCDEF";
        const char* l = "0123456789abcdef";
        for (int i = 0; i < 256; ++i) {
            upper[i][0] = u[i >> 4];
            upper[i][1] = u[i & 15];
            lower[i][0] = l[i >> 4];
            lower[i][1] = l[i & 15];
        }
    }
};
constexpr HexPairs kPairs;

// "00" to "99": decimal numbers are formatted two digits per division.
struct DecimalPairs {
    char pair[100][2];
    constexpr DecimalPairs() : pair() {
        for (int i = 0; i < 100; ++i) {
            pair[i][0] = static_cast<char>('0' + i / 10);
            pair[i][1] = static_cast<char>('0' + i % 10);
        }
    }
};
constexpr DecimalPairs kDecimal;

char* put_hex8(char* out, uint32_t v, const char (*pairs)[2]) {
    std::memcpy(out + 0, pairs[(v >> 24) & 0xFF], 2);
    std::memcpy(out + 2, pairs[(v >> 16) & 0xFF], 2);
    std::memcpy(out + 4, pairs[(v >> 8) & 0xFF], 2);
    std::memcpy(out + 6, pairs[v & 0xFF], 2);
    return out + 8;
}

}  // namespace

char* put_hex8_upper(char* out, uint32_t value) {
    return put_hex8(out, value, kPairs.upper);
}
char* put_hex8_lower(char* out, uint32_t value) {
    return put_hex8(out, value, kPairs.lower);
}

char* put_hex_min(char* out, uint32_t value) {
    char digits[8];
    put_hex8_upper(digits, value);
    int skip = 0;
    while (skip < 7 && digits[skip] == '0') ++skip;
    std::memcpy(out, digits + skip, static_cast<size_t>(8 - skip));
    return out + (8 - skip);
}

char* put_decimal(char* out, uint64_t value) {
    // Filled from the end; the progress line formats one number for every section.
    char digits[20];
    char* first = digits + sizeof digits;
    while (value >= 100) {
        first -= 2;
        std::memcpy(first, kDecimal.pair[value % 100], 2);
        value /= 100;
    }
    if (value >= 10) {
        first -= 2;
        std::memcpy(first, kDecimal.pair[value], 2);
    } else {
        *--first = static_cast<char>('0' + value);
    }
    size_t n = static_cast<size_t>(digits + sizeof digits - first);
    std::memcpy(out, first, n);
    return out + n;
}

char* put_text(char* out, const char* text) {
    size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
}

}  // namespace velm
