// Hexadecimal and decimal formatting into caller buffers, without printf: the TEXT
// encoding formats every data word of a section (a 4 MiB section has a million of them),
// and the listing a line per section of a table of up to 65,535.
//
// The fixed-width forms are inline: they sit in the innermost loops of the TEXT encoding
// and the listing.
#ifndef C6X_VELM_WRITER_HEX_FORMAT_H
#define C6X_VELM_WRITER_HEX_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velm {

// The four upper-case digits of every 16-bit value, so that a word takes two lookups:
// 256 KiB, made when compiling (hex_format.cpp) and mapped from the program file. A
// lower-case digit is the upper-case one with bit 0x20 set (the decimal digits have it).
struct HexQuads {
    char digits[65536][4];
    constexpr HexQuads() : digits() {
        const char* u = "0123456789ABCDEF";
        for (int v = 0; v < 65536; ++v) {
            digits[v][0] = u[v >> 12];
            digits[v][1] = u[(v >> 8) & 15];
            digits[v][2] = u[(v >> 4) & 15];
            digits[v][3] = u[v & 15];
        }
    }
};
extern const HexQuads kHexQuads;

// Exactly eight digits, zero-filled ("%.8lX" / "%.8lx"). Returns the end of the text.
inline char* put_hex8_upper(char* out, uint32_t value) {
    std::memcpy(out, kHexQuads.digits[value >> 16], 4);
    std::memcpy(out + 4, kHexQuads.digits[value & 0xFFFF], 4);
    return out + 8;
}
inline char* put_hex8_lower(char* out, uint32_t value) {
    uint32_t high;
    uint32_t low;
    std::memcpy(&high, kHexQuads.digits[value >> 16], 4);
    std::memcpy(&low, kHexQuads.digits[value & 0xFFFF], 4);
    high |= 0x20202020u;
    low |= 0x20202020u;
    std::memcpy(out, &high, 4);
    std::memcpy(out + 4, &low, 4);
    return out + 8;
}

// A decimal number counted up one at a time, as the conversion pass and the listing number
// every section in order: its digits are kept, so counting costs a digit or two and no
// division. They stand right-aligned, zero-filled, at the end of the first half of
// `digits`; the second half lets them be copied in one fixed-size move.
struct DecimalCounter {
    char digits[32];
    uint32_t size;  // digits in use, at least 1
};

inline void counter_start(DecimalCounter* c) {  // at zero
    std::memset(c->digits, '0', sizeof c->digits);
    c->size = 1;
}

inline void counter_next(DecimalCounter* c) {
    size_t i = 15;
    while (c->digits[i] == '9') c->digits[i--] = '0';  // values stay far below 10^16
    ++c->digits[i];
    if (16 - i > c->size) c->size = static_cast<uint32_t>(16 - i);
}

// The counter's digits, at least `min_digits` (at most 16) of them, zero-filled ("%u",
// "%.3u"). Stores 16 bytes at `out`; returns the end of the digits.
inline char* put_counter(char* out, const DecimalCounter& c, uint32_t min_digits) {
    uint32_t n = c.size > min_digits ? c.size : min_digits;
    std::memcpy(out, c.digits + 16 - n, 16);
    return out + n;
}

// The fewest upper-case digits, "0" for zero ("%X").
char* put_hex_min(char* out, uint32_t value);

// Unsigned decimal ("%u").
char* put_decimal(char* out, uint64_t value);

// Copies a terminated text; returns the end.
char* put_text(char* out, const char* text);

}  // namespace velm

#endif
