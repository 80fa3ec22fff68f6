// Hexadecimal formatting into caller buffers, without printf: the TEXT encoding formats
// every data word of a section, and a 4 MiB section has a million of them.
#ifndef C6X_VELM_WRITER_HEX_FORMAT_H
#define C6X_VELM_WRITER_HEX_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace velm {

// Exactly eight digits, zero-filled ("%.8lX" / "%.8lx"). Returns the end of the text.
char* put_hex8_upper(char* out, uint32_t value);
char* put_hex8_lower(char* out, uint32_t value);

// The fewest upper-case digits, "0" for zero ("%X").
char* put_hex_min(char* out, uint32_t value);

// Unsigned decimal ("%u").
char* put_decimal(char* out, uint64_t value);

// Copies a terminated text; returns the end.
char* put_text(char* out, const char* text);

}  // namespace velm

#endif
