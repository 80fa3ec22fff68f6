// The operating system's file calls behind the input file and the output stream.
//
// input_file.cpp (the read-ahead window) and stream.cpp (the buffer and the CR LF
// writer) are the same on every system; only these few calls differ. One implementation
// per system: os_file_posix.cpp and os_file_win32.cpp, CMake builds one of them.
#ifndef C6X_VELM_PLATFORM_OS_FILE_H
#define C6X_VELM_PLATFORM_OS_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/input_file.h"

namespace velm {

// A descriptor (POSIX) or a HANDLE (Windows), held as an integer. A Windows handle keeps
// its meaning when narrowed to 32 bits, so it also fits the int the same-file check
// passes around.
using OsFile = intptr_t;
constexpr OsFile kNoFile = -1;

// Opens an existing file for reading. A missing file, one that cannot be opened and a
// directory give not_found; anything that is not a file on a disk (a FIFO, a pipe, a
// device, a socket) gives not_regular and is never read, so the tool cannot block on it.
InOpen os_open_input(const std::string& path, OsFile* file);

// Length in bytes, or -1.
int64_t os_file_size(OsFile file);

// Reads up to n bytes at `offset`: fewer only at the end of the file, -1 on an error.
int64_t os_read_at(OsFile file, void* dest, int64_t n, int64_t offset);

void os_close(OsFile file);

// Creates or opens the output without truncating it, fails (kNoFile) when it is the
// same file as `guard` (an open input, or kNoFile), and only then truncates it. Sets
// *regular when it is a regular file on a disk: only such a file is truncated and may be
// removed; a device such as /dev/full or NUL is written and closed, never touched else.
OsFile os_open_output(const std::string& path, OsFile guard, bool* regular);

// Writes all n bytes. False when any part could not be written.
bool os_write(OsFile file, const char* p, size_t n);

// Closes the output. A regular file is removed when `discard` is set, and also when the
// close itself fails (its last bytes may be lost). False when the close failed.
bool os_close_output(OsFile file, const std::string& path, bool regular, bool discard);

// Standard output, where the console text goes.
OsFile os_stdout();

}  // namespace velm

#endif
