// velm_dump's files: an image named on the command line or standard input, read in order
// from its start, and at any offset too when it is a file on a disk; and anonymous
// temporary files, into which --diff copies an image it can read only once (a pipe) so
// that it can read it again.
//
// Failures come with the system's own text ("No such file or directory", "Is a
// directory"), which velm_dump prints after the file's name as GNU tools do.
#ifndef C6X_VELM_PLATFORM_DUMP_FILES_H
#define C6X_VELM_PLATFORM_DUMP_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace velm {

struct DumpFile {
    intptr_t handle = -1;  // a descriptor (POSIX) or a HANDLE (Windows); -1: none
    bool random = false;   // dump_read_at works: a regular file on a disk
    bool owned = false;    // closed by dump_close (standard input is not)
};

// Opens `path` for reading. A directory is refused. Anything else that can be opened is
// accepted (a FIFO, a device), read in order only. False with *reason on failure.
bool dump_open(const std::string& path, DumpFile* file, std::string* reason);

// Standard input. When the process has none, a file that reads as empty.
DumpFile dump_stdin();

// Reads up to n bytes in order: fewer only at the end, 0 at the end, -1 on an error
// (with *reason).
int64_t dump_read(const DumpFile& file, void* dest, size_t n, std::string* reason);

// Reads up to n bytes at `offset` of a random-access file, the same way.
int64_t dump_read_at(const DumpFile& file, void* dest, size_t n, uint64_t offset,
                     std::string* reason);

// The length of a random-access file, or -1 (with *reason).
int64_t dump_size(const DumpFile& file, std::string* reason);

// Creates an empty temporary file for reading and writing, removed when it is closed
// (or when the process ends). False with *reason on failure.
bool dump_open_temp(DumpFile* file, std::string* reason);

// Appends n bytes. False with *reason when any part could not be written.
bool dump_write(const DumpFile& file, const void* data, size_t n, std::string* reason);

void dump_close(DumpFile* file);

// Zeroed memory for velm_dump's record table: `n` bytes, a multiple of 2 MiB, on
// transparent huge pages where the system offers them, so that filling a table of
// millions of records costs a page fault per 2 MiB rather than per 4 KiB. Null when
// there is none. Released with dump_memory_free and the same n.
void* dump_memory_alloc(size_t n);
void dump_memory_free(void* p, size_t n);

}  // namespace velm

#endif
