// Reading an image in one pass, in order, into its record table and its problems.
//
// Telling the encodings apart: each must start in its own way. A BINARY image starts
// with the bytes 09 3B, the low half of every record tag, stored first. A TEXT image is
// C source, which starts (after an optional UTF-8 byte order mark) with text: a
// printable ASCII character or white space. 09 is a tab, but a C source never starts
// with a tab followed by a semicolon. Bytes further on decide nothing: a section name or
// an input path copied into a TEXT comment may hold any byte. A file that starts in
// neither way is read as BINARY, and its first problem says so; a file read as TEXT that
// holds no declaration says it was read as TEXT, and why.
//
// Decoding stops at the first problem after which the next record's start is unknown:
// an unknown tag, a cut-short record, a length of 0xFFFFFFFF. Whether a record is sound
// is velm_boot's rule (velm_check_record): velm_dump --check and velm_check never differ.
//
// Memory: the table of complete records (28 bytes each), a window of the file, and a
// few problems that end the decoding. Each record's own problem (a bad length or address
// range) is worked out from the table when the problems are listed.
#ifndef C6X_VELM_DUMP_IMAGE_READER_H
#define C6X_VELM_DUMP_IMAGE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dump/image.h"
#include "dump/source.h"
#include "dump/text_reader.h"

namespace velm::dump {

enum class ReadStatus {
    ok,
    program,    // the file is a program, not an image (ImageRead::program says which)
    io_error,   // a read failed (ImageRead::failure says why)
    no_memory,  // the records do not fit in memory
    again,      // read without a table, and the records came out of address order
    refused,    // --diff: a program the converter refuses (ImageRead::failure: why)
};

struct ImageRead {
    Encoding encoding = Encoding::binary;
    RecordTable records;           // complete records in file order, end record included
    std::vector<Problem> head;     // how the encoding was chosen when in doubt; TEXT syntax
    std::vector<Problem> tail;     // what ended the decoding: a cut-short or unknown record,
                                   // what follows the end record, a missing end record
    uint32_t record_problems = 0;  // records in the table with a problem of their own
    bool errors = false;
    bool warnings = false;  // overlapping records (known after find_overlaps)
    // Indexes of the section and cinit records with bytes, by address, then index; left
    // out (null) when those records are in address order in the file already.
    uint32_t* by_address = nullptr;
    uint32_t by_address_count = 0;
    bool in_address_order = false;
    const char* program = nullptr;  // ReadStatus::program: "a C6000 COFF2 program", ...
    std::string failure;            // ReadStatus::io_error: the system's text
    // Read without a table (ReadOptions::table false): while the records come in address
    // order, the overlaps are found as they come, and only what a problem names is kept:
    // each record with a problem of its own, each overlapping pair (the earlier record,
    // then the one starting inside it).
    struct Noted {
        uint32_t index;  // from 0, as in the table
        Record record;
    };
    bool tableless = false;
    std::vector<Noted> noted;
    std::vector<Noted> overlapping;

    ImageRead() = default;
    ImageRead(const ImageRead&) = delete;
    ImageRead& operator=(const ImageRead&) = delete;
    ImageRead(ImageRead&& other) noexcept;
    ImageRead& operator=(ImageRead&& other) noexcept;
    ~ImageRead();
};

// What the file is when it is a program rather than an image: "a C6000 COFF2 program"
// (COFF2 version 0x00C2 and the C6000 target ID 0x0099 in its file header), "a C6000
// ELF program" (ELF, little-endian, machine 140) or "an ELF file" (any other ELF);
// nullptr for anything else. Neither header can begin an image: every record tag
// starts with the bytes 09 3B, and a C source starts with text.
const char* program_kind(const uint8_t* data, size_t size);

// The encoding of a file that starts with `data` (its first `size` bytes, or all of it).
// *assumed is set when it starts like neither and is read as BINARY by default.
Encoding detect_encoding(const uint8_t* data, size_t size, bool* assumed = nullptr);

struct ReadOptions {
    bool crc = true;  // work out each record's CRC (the listing, JSON, --diff)
    // Keep the record table. Without it (--check of a file that can be read again) the
    // read ends with ReadStatus::again at the first record out of address order.
    bool table = true;
    // Called now and then while a BINARY image is read, so that the records read so far
    // can be listed.
    void (*progress)(void* ctx) = nullptr;
    void* ctx = nullptr;
};

// One pass over an image: read_begin looks at its start (a program? which encoding?),
// read_rest reads the rest. In between, the caller knows the encoding.
struct Decoder;
struct ImageReader {
    Source* src = nullptr;
    ReadOptions options;
    ImageRead* out = nullptr;
    uint8_t* window = nullptr;
    size_t head = 0;  // bytes of the file's start in `window`
    Decoder* decoder = nullptr;
    TextScanner text;
    ImageReader() = default;
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;
    ~ImageReader();
};

ReadStatus read_begin(ImageReader* r, Source* src, const ReadOptions& options, ImageRead* out);
ReadStatus read_rest(ImageReader* r);

// The record decoder on its own, for a BINARY image pushed in file order by any producer:
// what read_rest does with a BINARY file, and where a producer that makes an image in
// this process (a converter writing its output blocks) can hand its bytes. Null when
// there is no memory. After binary_finish, `out` holds what read_rest would have left.
struct Decoder;
Decoder* decoder_new(ImageRead* out, Encoding encoding, bool crc);
void binary_feed(Decoder* d, const uint8_t* p, size_t n);
void binary_finish(Decoder* d);
// True when a record did not fit in memory; the decoding stopped there.
bool decoder_out_of_memory(const Decoder* d);
void decoder_free(Decoder* d);

// Finds the overlapping records: sets `warnings`, and fills by_address unless the records
// are in address order and `index` is not asked for (--diff works in it). False when
// there is no memory for the index.
bool find_overlaps(ImageRead* image, bool index = false);

// The problems in the order they are printed: the head, each record's own, the tail, the
// overlaps. Start with a zeroed ProblemWalk; next_problem gives one at a time.
struct ProblemWalk {
    int phase = 0;
    uint64_t i = 0;
    uint32_t reach = 0;  // the record reaching highest so far, by its table index + 1
};
bool next_problem(const ImageRead& image, ProblemWalk* walk, Problem* problem);

// A second read of one record's data, at random: the 4 * ceil(length / 4) bytes of its
// data words in order. False from record_open when the file no longer holds the record
// there (it changed since it was read), or a read fails (src->error says why).
struct RecordCursor {
    Source* src = nullptr;
    Encoding encoding = Encoding::binary;
    uint64_t next = 0;  // BINARY: file offset of the next byte
    uint64_t left = 0;  // data bytes still to come
    uint8_t word[4] = {};
    size_t word_left = 0;  // TEXT: bytes of `word` not handed out yet
    // BINARY: bytes read ahead, so that records read in file order (two builds of one
    // program) cost a system call per window rather than two per record.
    uint8_t* window = nullptr;
    uint64_t window_base = 0;
    size_t window_length = 0;
    TextScanner text;
    RecordCursor() = default;
    RecordCursor(const RecordCursor&) = delete;
    RecordCursor& operator=(const RecordCursor&) = delete;
    ~RecordCursor();
};
bool record_open(RecordCursor* c, Source* src, Encoding encoding, const Record& record);
// Exactly n bytes (n at most what is left); false when they cannot be read.
bool record_read(RecordCursor* c, uint8_t* dest, size_t n);

// ---- Whole images in memory: the tests, and callers that hold the bytes anyway. ----

// An image read from bytes in memory through the same reader, with its problems listed.
struct Image : ImageRead {
    std::string bytes;
    std::vector<Problem> problems;
};
Image read_image(const std::string& bytes);

// The `length` data bytes of one of its records, read again from the bytes.
std::vector<uint8_t> record_bytes(const Image& image, const Record& record);

inline Summary summarize(const Image& image) {
    return summarize(image.records);
}
bool has_errors(const Image& image);
bool has_warnings(const Image& image);

// The words of a TEXT image as the tokenizer reads them, each with its line.
struct WordStream {
    std::vector<uint32_t> words;
    std::vector<uint64_t> lines;
    uint64_t end_position = 0;  // the line where the list ends
};
// False when the words may not be decoded (a syntax error before the list's end).
bool read_text(const uint8_t* data, size_t size, WordStream* out, std::vector<Problem>* problems);

}  // namespace velm::dump

#endif
