// The VELM record stream and its two encodings.
//
// A record is a header triple of unsigned 32-bit words followed by ceil(length / 4) data
// words; the stream is closed by one end record.
//
//   word 0   tag      0x90003B09 section, 0x90013B09 cinit entry, 0xFFFF3B09 end
//   word 1   address  target address of the first data byte (0 in the end record)
//   word 2   length   data bytes announced, not rounded (0 in the end record)
//   word 3.. data     the input bytes in file order, four to a word, little-endian; a
//                     last partial word holds its 1 to 3 bytes in the low positions
//
// BINARY: the words as 4 little-endian bytes each, nothing else. TEXT: a C source file
// that declares `unsigned int C6XXX_VELM_DATA[]`, one comment line, one header line and
// four data words per line for each record, every line feed stored as CR LF.
#ifndef C6X_VELM_WRITER_VELM_WRITER_H
#define C6X_VELM_WRITER_VELM_WRITER_H

#include <cstdint>

#include "driver/status.h"

namespace velm {

constexpr uint32_t kSectionRecordTag = 0x90003B09;
constexpr uint32_t kCinitRecordTag = 0x90013B09;
constexpr uint32_t kEndRecordTag = 0xFFFF3B09;

constexpr uint32_t kDataBufferSize = 0x40002;
constexpr uint32_t kPieceWords = 0x10000;  // words per piece through the data buffer

// Allocates the data buffer, then creates the output file (BINARY or TEXT by
// run_state.binary_mode) and, in TEXT, writes the prologue. kOutOfMemory (no file
// created), kCannotCreateOutput, or kWriteError when the prologue cannot be written.
Status open_output();

// kBadDataLength for a length of 0 or 0xFFFFFFFF; kAddressRangeExceeded when the record
// would reach past address 0xFFFFFFFF.
Status check_record_length(uint32_t address, uint32_t length);

// Writes one record whose data are the next `byte_count` bytes of the input. The TEXT
// comment line names `name` and the attribute text of the section at cur_section.
Status write_record(uint32_t address, uint32_t length, uint32_t byte_count, uint32_t tag,
                    const char* name);

Status write_end_record();

// Formats `count` whole data words of a record as TEXT, `bytes` holding 4 * count input
// bytes and the first word having index `first_index` within the record. A line ends
// after every fourth word and after the record's last whole word (index
// `whole_words` - 1) when `partial_follows` is false. Returns the end of the text; the
// output needs at most 19 bytes per word.
char* format_text_words(char* out, const uint8_t* bytes, uint32_t count, uint32_t first_index,
                        uint32_t whole_words, bool partial_follows);

}  // namespace velm

#endif
