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

// A second descriptor (HANDLE) for the file open as `held`, checked the same way: a
// directory gives not_found, anything but a file on a disk not_regular.
InOpen os_duplicate_input(OsFile held, OsFile* file);

// Length in bytes, or -1.
int64_t os_file_size(OsFile file);

// Reads up to n bytes at `offset`: fewer only at the end of the file, -1 on an error.
int64_t os_read_at(OsFile file, void* dest, int64_t n, int64_t offset);

void os_close(OsFile file);

// The file's first `length` bytes (all within it), mapped read-only where they lie, or
// nullptr when the system offers no mapping: the caller reads the bytes instead. One
// mapping at a time; os_unmap_input releases it.
const uint8_t* os_map_input(OsFile file, int64_t length);
void os_unmap_input(const uint8_t* base, int64_t length);

// False when the mapped file has lost bytes the mapping covers since it was made: another
// program shortened it. The mapping then reads as zeros where the bytes were, so a run
// that touches them goes on and must end with a read error, as a short read would.
bool os_map_intact();

// The output is never written where a reader could see it half done. What its path
// names decides how it is written:
//   - a regular file, or nothing yet: a new temporary file is written beside it and put
//     in its place in one step only once complete (os_create_temp, os_replace);
//   - anything else (a device such as /dev/full or NUL, a FIFO, a pipe): written
//     directly, and never truncated or removed;
//   - a regular file or nothing, where no temporary file can be made in that directory:
//     written in place (os_truncate or os_create_output), and removed after a failure.
enum class OutFound {
    refused,  // cannot be opened for writing (a directory, a file that may not be written
              // or that another program holds, a path through a file), or it is the
              // input itself: nothing is created or changed
    device,   // not a regular file: *file is open on it
    file,     // an existing regular file: *file is open on it, not truncated
    none,     // nothing at the path yet (its directory may be missing too)
};

// Opens what `path` names for writing, creating and truncating nothing, and refuses it
// when it is the same file as `guard` (an open input, or kNoFile). For file and none,
// *final is the path the output is put at in the end: `path` with symbolic links
// followed, so that replacing the file keeps the link (a link to a name that does not
// exist yet included). A missing directory shows only when the file is made there, which
// fails the same way; every refusal comes before anything exists or changes.
OutFound os_find_output(const std::string& path, OsFile guard, OsFile* file, std::string* final);

// Creates a new, empty file in the directory of `final`, exclusively, named
// ".<name>.c6x_velm-<process id>-<n>.tmp" after final's name, with n counting up past
// names that are taken. It gets the permission bits of `like` (the existing output) when
// that is a file, else the default ones under the umask. kNoFile when no file can be
// made there; *temp is its path.
OsFile os_create_temp(const std::string& final, OsFile like, std::string* temp);

// Writing in place: truncates the existing output, or creates the new one at `path`.
bool os_truncate(OsFile file);
OsFile os_create_output(const std::string& path);

// Puts the closed file `temp` at `final` in one step, replacing what is there (the
// Windows build keeps the replaced file's attributes and security). `existed`: final
// was a file when the output was found. False when it could not; temp is left as it is.
bool os_replace(const std::string& temp, const std::string& final, bool existed);

// Removes the file at `path`; a failure is ignored.
void os_remove(const std::string& path);

// Writes all n bytes. False when any part could not be written.
bool os_write(OsFile file, const char* p, size_t n);

// Closes the output. A regular file is removed when `discard` is set, and also when the
// close itself fails (its last bytes may be lost). False when the close failed.
bool os_close_output(OsFile file, const std::string& path, bool regular, bool discard);

// Standard output, where the console text goes.
OsFile os_stdout();

}  // namespace velm

#endif
