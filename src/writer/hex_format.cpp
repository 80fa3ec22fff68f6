#include "writer/hex_format.h"

#include <cstring>

namespace velm {

// Made when compiling: the table is part of the program's read-only data.
constexpr HexQuads kHexQuads;

namespace {

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

}  // namespace

char* put_hex_min(char* out, uint32_t value) {
    char digits[8];
    put_hex8_upper(digits, value);
    int skip = 0;
    while (skip < 7 && digits[skip] == '0') ++skip;
    std::memcpy(out, digits + skip, static_cast<size_t>(8 - skip));
    return out + (8 - skip);
}

char* put_decimal(char* out, uint64_t value) {
    // Filled from the end, two digits per division, straight into place.
    size_t n = 1;
    for (uint64_t limit = 10; n < 20 && value >= limit; limit *= 10) ++n;
    char* p = out + n;
    while (value >= 100) {
        p -= 2;
        std::memcpy(p, kDecimal.pair[value % 100], 2);
        value /= 100;
    }
    if (value >= 10) {
        std::memcpy(p - 2, kDecimal.pair[value], 2);
    } else {
        p[-1] = static_cast<char>('0' + value);
    }
    return out + n;
}

char* put_text(char* out, const char* text) {
    size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
}

}  // namespace velm
