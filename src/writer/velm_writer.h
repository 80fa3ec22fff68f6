// Writing the VELM record stream (core/velm_format.h) in its two encodings.
//
// TEXT lays each record out as one comment line, one header line and four data words per
// line:
//
//   \n// section '<name>':  addr=<%.8x>H  len=<%.8x>H  attrib='<attribute text>'\n
//        0x<tag>,  0x<address>,  0x<length>,\n
//        0x<word>,  0x<word>,  0x<word>,  0x<word>,  \n
//        ...
//
// a line break after every fourth word and after the record's last whole word; a last
// partial word stands alone as "0x<word>,\n     ". Every record thus ends with a line
// feed and five spaces, which the next comment line's leading line feed leaves as a line
// of their own. BINARY writes the words and nothing else.
#ifndef C6X_VELM_WRITER_VELM_WRITER_H
#define C6X_VELM_WRITER_VELM_WRITER_H

#include <cstddef>
#include <cstdint>

#include "core/status.h"
#include "core/velm_format.h"

namespace velm {

constexpr uint32_t kDataBufferSize = 0x40002;
constexpr uint32_t kPieceWords = 0x10000;  // words per piece through the data buffer

// Allocates the data buffer, then creates the output file (BINARY or TEXT by
// run_state.binary_mode) and, in TEXT, writes the prologue. kOutOfMemory (no file
// created), kCannotCreateOutput, or kWriteError when the prologue cannot be written.
Status open_output();

// kBadDataLength for a length of 0 or 0xFFFFFFFF; kAddressRangeExceeded when the record
// would reach past address 0xFFFFFFFF.
Status check_record_length(uint32_t address, uint32_t length);

// Writes one record whose data are the next `byte_count` bytes of the input. `name` and
// `attrib` (the section's attribute text) serve only the TEXT comment line.
Status write_record(uint32_t address, uint32_t length, uint32_t byte_count, uint32_t tag,
                    const char* name, const char* attrib);

Status write_end_record();

// Formats `count` whole data words of a record as TEXT, `bytes` holding 4 * count input
// bytes and the first word having index `first_index` within the record. A line ends
// after every fourth word and after the record's last whole word (index
// `whole_words` - 1) when `partial_follows` is false. Returns the end of the text; the
// output needs at most kMaxTextPerWord bytes per word.
constexpr size_t kMaxTextPerWord = 19;  // "0x" 8 digits ",  " "\n     "
char* format_text_words(char* out, const uint8_t* bytes, uint32_t count, uint32_t first_index,
                        uint32_t whole_words, bool partial_follows);

}  // namespace velm

#endif
