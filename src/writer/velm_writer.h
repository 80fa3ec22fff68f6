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
// of their own. Each "\n" is stored as "\r\n": the encoding builds its lines that way
// (line_text) and hands them to the stream as they are. BINARY writes the words and
// nothing else.
#ifndef C6X_VELM_WRITER_VELM_WRITER_H
#define C6X_VELM_WRITER_VELM_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/byte_order.h"
#include "core/status.h"
#include "core/velm_format.h"

namespace velm {

struct OutStream;

constexpr uint32_t kDataBufferSize = 0x40002;
constexpr uint32_t kPieceWords = 0x10000;  // words per piece through the data buffer

// Allocates the data buffer, then creates the output file (BINARY or TEXT by
// run_state.binary_mode) and, in TEXT, writes the prologue. kOutOfMemory (no file
// created), kCannotCreateOutput, or kWriteError when the prologue cannot be written.
Status open_output();

// The same with a stream the caller has opened (out_open_sink), which the run state takes
// over whatever the outcome: the end of run closes it.
Status open_output_into(OutStream* stream);

// kBadDataLength for a length of 0 or 0xFFFFFFFF; kAddressRangeExceeded when the record
// would reach past address 0xFFFFFFFF.
Status check_record_length(uint32_t address, uint32_t length);

// What the records of one section share: the tag and, in TEXT, the comment line's name
// (with a CR or LF byte shown as '?') and attribute text, and the tag's digits. Made once
// per section: a .cinit table gives a record per entry.
constexpr size_t kHeadingNameSize = 64;  // a longer name is written out in pieces, not kept
struct RecordHeading {
    uint32_t tag;
    const char* long_name;  // a name longer than kHeadingNameSize, or null
    size_t long_name_size;
    size_t name_size;
    size_t attrib_size;
    char name[kHeadingNameSize + 16];  // the room after it lets it be copied in blocks of 16
    char attrib[32];
    char tag_digits[8];
};

// Fills `heading` for records tagged `tag` of the section named `name` whose attribute
// text is the `attrib_size` characters at `attrib` (at most 16, with 16 bytes readable
// there); in BINARY the tag alone. `name_room` is how many bytes are known to be readable
// at `name` (0 when unknown): a COFF2 name's room of kShortNameSize bytes lets it be
// taken in one word. A long name is not copied: it must outlive the heading.
void prepare_heading(RecordHeading* heading, uint32_t tag, const char* name, size_t name_room,
                     const char* attrib, size_t attrib_size);

// Writes one record whose data are the next `byte_count` bytes of the input, read in
// pieces through the data buffer after the record's header has been written.
Status write_record(const RecordHeading& heading, uint32_t address, uint32_t length,
                    uint32_t byte_count);

// Writes one record whose data are the `byte_count` bytes at `bytes`, already in memory.
Status write_record_from(const RecordHeading& heading, uint32_t address, uint32_t length,
                         const uint8_t* bytes, uint32_t byte_count);

Status write_end_record();

// Copies n bytes, a multiple of 4 up to 32, without a call: two moves of 16, 8 or 4
// bytes, the second ending where the bytes end (they overlap when n is not twice the
// move). The whole words of most small records, whose sizes vary from one to the next.
inline void copy_small(uint8_t* to, const uint8_t* from, uint32_t n) {
    if (n >= 16) {
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    }
}

// Builds a BINARY record at `record`: the header triple, then the `whole_bytes` bytes at
// `bytes` (a multiple of 4). Returns the end of those bytes. The run state is not
// touched: the loops that build many records in a row stage the last one's header
// afterwards (stage_record_header).
inline uint8_t* put_binary_record(uint8_t* record, uint32_t tag, uint32_t address, uint32_t length,
                                  const uint8_t* bytes, uint32_t whole_bytes) {
    store_le32(record, tag);
    store_le32(record + 4, address);
    store_le32(record + 8, length);
    uint8_t* data = record + 4 * kRecordHeaderWords;
    if (whole_bytes <= 32) {
        copy_small(data, bytes, whole_bytes);
    } else {
        std::memcpy(data, bytes, whole_bytes);
    }
    return data + whole_bytes;
}

// Leaves the header triple of the BINARY record built at `record` in the run state's
// record_header, where the record writer leaves each record's.
void stage_record_header(const uint8_t* record);

// Formats `count` whole data words of a record as TEXT, `bytes` holding 4 * count input
// bytes and the first word having index `first_index` within the record. A line ends
// after every fourth word and after the record's last whole word (index
// `whole_words` - 1) when `partial_follows` is false. Returns the end of the text. The
// output must have room for kMaxTextPerWord bytes per word: the text is at most that
// long, and the bytes after it up to there may be overwritten.
constexpr size_t kMaxTextPerWord = 20;  // "0x" 8 digits ",  " "\r\n     "
char* format_text_words(char* out, const uint8_t* bytes, uint32_t count, uint32_t first_index,
                        uint32_t whole_words, bool partial_follows);

}  // namespace velm

#endif
