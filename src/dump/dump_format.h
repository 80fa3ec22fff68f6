// velm_dump's output texts, written piece by piece into a sink that goes out in blocks,
// so that a listing of millions of records never sits in memory whole. Every line ends
// in a plain "\n".
#ifndef C6X_VELM_DUMP_DUMP_FORMAT_H
#define C6X_VELM_DUMP_DUMP_FORMAT_H

#include <cstddef>
#include <string>
#include <vector>

#include "dump/image.h"
#include "dump/image_diff.h"
#include "dump/image_reader.h"

namespace velm::dump {

// A buffer flushed through `write` when it fills and at the end. After a failed write
// the rest is dropped, and `error` says why.
struct OutSink {
    bool (*write)(void* ctx, const char* p, size_t n, std::string* error) = nullptr;
    void* ctx = nullptr;
    size_t used = 0;
    bool failed = false;
    std::string error;
    char buf[64 * 1024];
};

// A sink that appends to a string.
void string_sink(OutSink* sink, std::string* text);
void put(OutSink* sink, const char* p, size_t n);
void put(OutSink* sink, const std::string& text);
// False when anything written to the sink was lost.
bool flush(OutSink* sink);

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
void put_listing_start(OutSink* sink, const std::string& file, Encoding encoding);
void put_listing_record(OutSink* sink, uint32_t index, const Record& r);
void put_listing_end(OutSink* sink, const Summary& sum);

// The same as one JSON object: file, encoding, records (each with index, kind, tag,
// address, length, last, words, crc32 and its byte_offset or line), summary and
// problems. Numbers are plain JSON numbers; a value that does not exist (the last
// address of a record without bytes, the CRC of the end record, the range of an image
// without data) is null. Records and problems come one at a time, each told whether it
// is the first of its list.
void put_json_start(OutSink* sink, const std::string& file, Encoding encoding);
void put_json_record(OutSink* sink, Encoding encoding, uint32_t index, const Record& r, bool first);
void put_json_summary(OutSink* sink, bool any_records, const Summary& sum);
void put_json_problem(OutSink* sink, Encoding encoding, const Problem& p, bool first);
void put_json_end(OutSink* sink, bool any_problems);

// "velm_dump: FILE: error: MESSAGE\n" (or "warning:").
void put_problem(OutSink* sink, const std::string& file, const Problem& problem);

// One line per difference, then a count line; nothing when there is none:
//
//   changed  section  0x80000000..0x8000003F  data differ from 0x80000010 (crc32 ... -> ...)
//   removed  cinit    0x80001020..0x80001023  4 bytes, crc32 0x12345678
//   added    section  0x90000000..0x9000000F  16 bytes, crc32 0x0BADF00D
//   1 changed, 1 removed, 1 added
struct DiffCounts {
    unsigned changed = 0;
    unsigned removed = 0;
    unsigned added = 0;
};
void put_difference(OutSink* sink, const Difference& d, DiffCounts* counts);
void put_diff_counts(OutSink* sink, const DiffCounts& counts);

// A JSON string literal: quotes, backslash and control characters escaped; a byte
// sequence that is not valid UTF-8 is replaced by U+FFFD, so the output always parses.
std::string json_string(const std::string& text);

// The same texts whole, for images read in memory.
std::string format_listing(const std::string& file, const Image& image);
std::string format_json(const std::string& file, const Image& image);
std::string format_problem(const std::string& file, const Problem& problem);
std::string format_diff(const std::vector<Difference>& differences);

}  // namespace velm::dump

#endif
