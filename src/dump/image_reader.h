// Reading an image file into its words: BINARY and TEXT, told apart by content.
//
// BINARY: every 4 bytes are one little-endian word. A file length that is not a multiple
// of 4 leaves 1 to 3 stray bytes at the end.
//
// TEXT: a C source file holding one declaration,
//
//     unsigned int NAME[] = { WORD, WORD, ..., WORD };
//
// read by a real C tokenizer, not by line positions: white space and line ends (LF or
// CR LF) anywhere, comments (// to the end of the line, /* ... */), backslash-newline
// line splicing, and integer literals in hexadecimal (0x1F), decimal (31) and octal
// (037), each optionally with the suffixes u/U and l/L/ll/LL; a trailing comma after the
// last word is allowed. Any identifiers may stand before NAME (`static const unsigned
// int`, `uint32_t`); the brackets must be empty. Values above 0xFFFFFFFF, negative
// numbers, expressions and anything after the closing `};` except white space and
// comments are errors. A leading UTF-8 byte order mark is skipped. Each word remembers
// the line its literal starts on.
//
// Detection: a file is BINARY when it starts with the bytes 09 3B (the low half of every
// record tag, stored first), or when it holds a byte that no C source holds (NUL or a
// control character other than tab, line feed, vertical tab, form feed and carriage
// return). Every other file, the empty file excepted, is TEXT. A real BINARY image
// always starts with 09 3B; a C source never starts with a tab followed by a semicolon.
#ifndef C6X_VELM_DUMP_IMAGE_READER_H
#define C6X_VELM_DUMP_IMAGE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dump/image.h"

namespace velm::dump {

Encoding detect_encoding(const uint8_t* data, size_t size);

void read_binary(const uint8_t* data, size_t size, WordStream* out);

// Reads the words of a TEXT image into *out, appending syntax errors to *problems.
// Returns true when the words may be decoded as records: the initializer list was read
// to its closing brace, or the file ended inside it (a cut-short image, whose records the
// decoder then reports). False after any other syntax error.
bool read_text(const uint8_t* data, size_t size, WordStream* out, std::vector<Problem>* problems);

// What the file is when it is a program rather than an image: "a C6000 COFF2 program"
// (COFF2 version 0x00C2 and the C6000 target ID 0x0099 in its file header), "a C6000
// ELF program" (ELF, little-endian, machine 140) or "an ELF file" (any other ELF);
// nullptr for anything else. Neither header can begin an image: every record tag
// starts with the bytes 09 3B, and a C source holds no byte below 0x20 but white space.
const char* program_kind(const uint8_t* data, size_t size);

// Detects the encoding, reads the words and decodes the records.
Image read_image(const uint8_t* data, size_t size);
inline Image read_image(const std::string& bytes) {
    return read_image(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace velm::dump

#endif
