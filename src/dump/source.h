// Where velm_dump reads an image from: a file or standard input (through the platform
// layer), or bytes in memory (the tests, and whatever holds an image already).
//
// Every source reads in order from its start. A file on a disk and bytes in memory also
// read at any offset ("random access"), which --diff needs for the image it does not
// stream. A source that cannot (a pipe) can copy what it reads into a temporary file, the
// spool, and read that afterwards in either way.
//
// The readers above take their bytes only through source_read and source_read_at, so a
// new kind of source is one more case here. A producer that pushes its bytes (a
// converter writing a BINARY image in this process) does not need a source at all: it
// hands its blocks to the BINARY decoder as they come (binary_feed in image_reader.h).
#ifndef C6X_VELM_DUMP_SOURCE_H
#define C6X_VELM_DUMP_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/dump_files.h"

namespace velm::dump {

struct Source {
    std::string label;  // the file name as given, or "standard input"
    // A file, or bytes in memory when `memory` is set.
    velm::DumpFile file;
    const uint8_t* memory = nullptr;
    uint64_t memory_size = 0;
    uint64_t next = 0;  // offset of the next byte read in order
    velm::DumpFile spool;
    bool spooling = false;  // what is read in order is copied into `spool`
    std::string error;      // why the last read failed
};

Source file_source(const std::string& label, velm::DumpFile file);
Source memory_source(const std::string& label, const uint8_t* data, uint64_t size);

// Releases the file and the spool.
void close_source(Source* s);

bool source_random(const Source& s);

// Reads up to n bytes in order: fewer only at the end; 0 at the end; -1 on an error
// (s->error says why).
int64_t source_read(Source* s, uint8_t* dest, size_t n);

// Moves the in-order position n bytes on (reading and dropping them when the source is
// not random). The number of bytes passed, fewer at the end, or -1.
int64_t source_skip(Source* s, uint64_t n);

// Reads up to n bytes at `offset` of a random source, the same way.
int64_t source_read_at(Source* s, uint8_t* dest, size_t n, uint64_t offset);

// Starts copying what is read in order into a new temporary file. False (s->error says
// why) when the file cannot be made.
bool source_start_spool(Source* s);

// Reads in order from the start again: a random source from its own bytes, a spooled one
// from its spool (which is random from then on). False for a source that can do neither.
bool source_restart(Source* s);

}  // namespace velm::dump

#endif
