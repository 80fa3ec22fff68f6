// velm_dump's output texts, built as strings so that tests can check them whole. Every
// line ends in a plain "\n".
#ifndef C6X_VELM_DUMP_DUMP_FORMAT_H
#define C6X_VELM_DUMP_DUMP_FORMAT_H

#include <string>
#include <vector>

#include "dump/image.h"
#include "dump/image_diff.h"

namespace velm::dump {

// The record table and summary:
//
//   file:      app.bin
//   encoding:  BINARY
//
//   index  kind     address     length      last        words  crc32
//       1  section  0x00000400  0x00001806  0x00001C05   1538  0x5B4B1A2E
//       ...
//       8  end      0x00000000  0x00000000  -               0  -
//
//   records:   7 (5 section, 2 cinit)
//   bytes:     6290
//   lowest:    0x00000400
//   highest:   0x80004017
std::string format_listing(const std::string& file, const Image& image);

// The same as one JSON object: file, encoding, records (each with index, kind, tag,
// address, length, last, words, crc32 and its byte_offset or line), summary and
// problems. Numbers are plain JSON numbers; a value that does not exist (the last
// address of a record without bytes, the CRC of the end record, the range of an image
// without data) is null.
std::string format_json(const std::string& file, const Image& image);

// "velm_dump: FILE: error: MESSAGE\n" (or "warning:").
std::string format_problem(const std::string& file, const Problem& problem);

// One line per difference, then a count line; empty when there is none:
//
//   changed  section  0x80000000..0x8000003F  data differ from 0x80000010 (crc32 ... -> ...)
//   removed  cinit    0x80001020..0x80001023  4 bytes, crc32 0x12345678
//   added    section  0x90000000..0x9000000F  16 bytes, crc32 0x0BADF00D
//   1 changed, 1 removed, 1 added
std::string format_diff(const std::vector<Difference>& differences);

// A JSON string literal: quotes, backslash and control characters escaped; a byte
// sequence that is not valid UTF-8 is replaced by U+FFFD, so the output always parses.
std::string json_string(const std::string& text);

}  // namespace velm::dump

#endif
