// A VELM boot image as velm_dump sees it: the 32-bit words of the file, the records
// decoded from them, and the problems found on the way. The record stream and its two
// encodings are laid out in core/velm_format.h.
#ifndef C6X_VELM_DUMP_IMAGE_H
#define C6X_VELM_DUMP_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/velm_format.h"

namespace velm::dump {

enum class Encoding { binary, text };

// The words of an image in file order, and where each one stands in the file.
struct WordStream {
    Encoding encoding = Encoding::binary;
    std::vector<uint32_t> words;
    std::vector<uint32_t> lines;  // TEXT: the line of each word (from 1); BINARY: empty
    uint32_t stray_bytes = 0;     // BINARY: 1 to 3 bytes after the last whole word
    uint64_t end_position = 0;    // BINARY: file length; TEXT: line where the list ends
};

enum class Severity { warning, error };

struct Problem {
    Severity severity = Severity::error;
    uint32_t record = 0;  // the record it names (from 1); 0 when it names none
    bool has_position = false;
    uint64_t position = 0;  // byte offset (BINARY) or line (TEXT)
    std::string message;    // the whole text, naming the record and its position
};

enum class RecordKind { section, cinit, end };

// A record whose header and data words are all present.
struct Record {
    uint32_t index = 0;  // from 1, in file order; the end record is counted too
    RecordKind kind = RecordKind::section;
    uint32_t tag = 0;
    uint32_t address = 0;
    uint32_t length = 0;
    uint64_t first_word = 0;  // index of the tag in WordStream::words
    uint32_t data_words = 0;  // ceil(length / 4)
    uint32_t crc32 = 0;       // of the `length` data bytes
};

struct Image {
    WordStream stream;
    std::vector<Record> records;  // complete records in file order, end record included
    std::vector<Problem> problems;
};

struct Summary {
    uint64_t records = 0;  // section and cinit records; the end record is not counted
    uint64_t section_records = 0;
    uint64_t cinit_records = 0;
    uint64_t bytes = 0;      // sum of their lengths
    bool has_range = false;  // false when no record covers any byte
    uint64_t lowest = 0;     // lowest address covered
    uint64_t highest = 0;    // highest address covered (may pass 0xFFFFFFFF)
};

const char* kind_name(RecordKind kind);

// Byte offset (BINARY) or line (TEXT) of word `word`; the end position for a word past
// the last one.
uint64_t word_position(const WordStream& stream, uint64_t word);
// "byte offset 28" or "line 27".
std::string position_text(const WordStream& stream, uint64_t position);

// The last address a record covers: address + length - 1, in 64 bits. Only meaningful
// for a length above 0.
inline uint64_t last_address(const Record& r) {
    return static_cast<uint64_t>(r.address) + r.length - 1;
}

// The `length` data bytes of a complete record.
std::vector<uint8_t> record_bytes(const Image& image, const Record& record);

// Decodes image->stream into records, appending every problem of the record stream
// (errors) and every overlap of two records' address ranges (warnings) to
// image->problems. Decoding stops at the first problem after which the next record's
// start is unknown: an unknown tag, a cut-short record, a length of 0xFFFFFFFF.
void decode_records(Image* image);

Summary summarize(const Image& image);

bool has_errors(const Image& image);
bool has_warnings(const Image& image);

}  // namespace velm::dump

#endif
