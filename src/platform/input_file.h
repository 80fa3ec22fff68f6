// The input file: open read-only, measure, seek, read, close.
//
// Reads go through a read-ahead window, so the many small reads and seeks of a .cinit
// walk or a long section table cost no system call when the bytes are already there.
// The observable behaviour is that of plain positioned reads: a read returns the bytes
// asked for, fewer only at the end of the file, or -1 on an error.
#ifndef C6X_VELM_PLATFORM_INPUT_FILE_H
#define C6X_VELM_PLATFORM_INPUT_FILE_H

#include <cstdint>
#include <string>

#include "core/status.h"
#include "platform/io_hooks.h"

namespace velm {

enum class InOpen {
    ok,           // handle is valid
    not_found,    // missing, unreadable, a directory, or a path ending in a separator
    not_regular,  // a FIFO, device or socket: never opened, its length is unknowable
};

// Opens `path` (resolved) read-only. On ok, *handle is a small non-negative number.
InOpen in_open(const std::string& path, int16_t* handle);

// Opens the file the caller has open as `held` (a descriptor, or a HANDLE on Windows)
// through a duplicate, which in_close closes; the caller's stays open. The same rules as
// in_open: only a regular file is taken (not_regular otherwise). velm_dump converts a
// program it has opened this way, so that the file it read is the file converted.
InOpen in_open_held(intptr_t held, int16_t* handle);

// Length in bytes, or -1 when it cannot be measured. The position is not moved.
int64_t in_filelength(int16_t handle);

// Moves to an absolute offset. Returns the new position, or -1.
int64_t in_seek(int16_t handle, int64_t offset);

// Reads up to n bytes at the current position. Returns the count (fewer only at the end
// of the file) or -1 on an error.
int64_t in_read(int16_t handle, void* dest, int64_t n);

// The `n` bytes at `offset`, without copying them: moves the position there (as in_seek)
// and returns a pointer to them, with *available set to the count of bytes held in
// memory from `offset` on: at least n, fewer only at the end of the file. Where the file
// is mapped (in_map), that is the mapping, up to the end of the file. Otherwise the
// read-ahead window, refilled from `offset` when it does not hold the bytes. nullptr (and
// 0) on an error, or when n is kViewLimit or more. The bytes stay valid until the next
// call for this handle. Counted as a seek and a read.
constexpr int64_t kViewLimit = 0x8000;
const uint8_t* in_view(int16_t handle, int64_t offset, int64_t n, int64_t* available);

// The input's bytes already in memory, for a caller that takes many small views in a row
// without a call for each: the whole file where it is mapped (in_map), else what the
// read-ahead window holds. `data` holds the `size` bytes from file offset `offset` (size 0
// when there are none). The position does not move: the next read must seek first, as
// the pass does for every section it reads through the input.
struct InWindow {
    const uint8_t* data;
    int64_t offset;
    int64_t size;
};
InWindow in_window(int16_t handle);

// Counts one view taken from memory as in_view counts its calls: true when it is the one a
// test has armed to fail, which the caller reports as in_view's failure (a read error).
// Always false outside the fault-injection build.
inline bool in_window_view_fails() {
    return io_fail_now(IoOp::in_seek) || io_fail_now(IoOp::in_read);
}

// The `n` bytes at `offset`, all within the file, where the file holds them: the whole
// file is mapped read-only, kept until in_close, so that a large table is used in place
// instead of being copied into fresh memory. From then on views (in_view, in_window) come
// from the mapping, without a read; reads still copy through the window. nullptr when the
// system offers no mapping: the caller reads the bytes instead. The position does not
// move. One mapping per open file.
const uint8_t* in_map(int16_t handle, int64_t offset, int64_t n);

// False when another program shortened the file under its mapping while it was open:
// the mapping read as zeros where the bytes were, so the run must fail as a short read
// would have made it.
bool in_intact(int16_t handle);

void in_close(int16_t handle);

// Reads exactly `count` bytes at the current position, in pieces of at most 32 KiB:
// kReadError when any piece comes back short or fails (the bytes that arrived stay in
// `destination`). The readers load their headers and the writer takes section contents
// through it. Inline: the writer calls it for every record, which is every section of a
// long section table.
constexpr int32_t kReadPiece = 0x8000;
inline Status read_exact(int16_t handle, void* destination, int32_t count) {
    uint8_t* dest = static_cast<uint8_t*>(destination);
    int32_t remaining = count;
    while (remaining > 0) {
        int32_t piece = remaining < kReadPiece ? remaining : kReadPiece;
        if (in_read(handle, dest, piece) != piece) return kReadError;
        dest += piece;
        remaining -= piece;
    }
    return kOk;
}

// The operating system's descriptor behind a handle (for the same-file check), or -1. On
// Windows it is the file's HANDLE, which keeps its meaning when narrowed to 32 bits.
int in_descriptor(int16_t handle);

}  // namespace velm

#endif
