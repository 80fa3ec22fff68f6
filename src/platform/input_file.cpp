#include "platform/input_file.h"

#include <cstring>

#include "platform/compiler.h"
#include "platform/io_hooks.h"
#include "platform/os_file.h"
#include "platform/path_resolve.h"

namespace velm {

namespace {

// Read-ahead window. Section contents are read in 32 KiB pieces, which bypass the
// window; small sections, the .cinit table and the seeks between sections are served
// from it.
constexpr int64_t kWindow = 64 * 1024;
static_assert(kViewLimit <= kWindow, "a view lies within one window");

struct InFile {
    OsFile file = kNoFile;
    int16_t handle = -1;
    int64_t pos = 0;               // logical file position
    int64_t win_off = 0;           // file offset of win[0]
    int64_t win_len = 0;           // valid bytes in win
    const uint8_t* map = nullptr;  // the file's first map_len bytes, mapped; or null
    int64_t map_len = 0;
    unsigned char win[kWindow];
};

// One input file is open at a time; a second slot would only matter to a caller that
// opened two, which nothing does.
InFile the_file;
// Handles count up, so a handle kept after its file was closed never reaches the next one.
int16_t last_handle = 0;

// An open file's handle is never below 1, so a negative one matches no file.
InFile* lookup(int16_t handle) {
    if (the_file.file == kNoFile || handle != the_file.handle) return nullptr;
    return &the_file;
}

// Fills the window from f->pos: false on an error, which leaves it empty.
bool refill(InFile* f) {
    f->win_len = 0;
    int64_t r = os_read_at(f->file, f->win, kWindow, f->pos);
    if (r < 0) return false;
    f->win_off = f->pos;
    f->win_len = r;
    return true;
}

// Reads n bytes at f->pos: what the window holds is copied from it; the rest of a request
// of half a window or more goes straight to the destination (so that a long read that
// starts inside the window does not go on refilling it a piece at a time), anything else
// refills the window.
// Fewer than n only at the end of the file; -1 on an error. Kept out of line so that
// in_read's common case stays a short leaf function.
VELM_NOINLINE int64_t read_through_window(InFile* f, unsigned char* out, int64_t n) {
    int64_t got = 0;
    while (got < n) {
        int64_t want = n - got;
        if (f->pos >= f->win_off && f->pos < f->win_off + f->win_len) {
            int64_t avail = f->win_off + f->win_len - f->pos;
            int64_t take = want < avail ? want : avail;
            std::memcpy(out + got, f->win + (f->pos - f->win_off), static_cast<size_t>(take));
            f->pos += take;
            got += take;
            continue;
        }
        if (n >= kWindow / 2) {
            int64_t r = os_read_at(f->file, out + got, want, f->pos);
            if (r < 0) return -1;
            f->pos += r;
            got += r;
            break;  // either all arrived or the file ended
        }
        if (!refill(f)) return -1;
        if (f->win_len == 0) break;
    }
    return got;
}

// Makes `file` the open input.
InOpen adopt(OsFile file, int16_t* handle) {
    last_handle = static_cast<int16_t>(last_handle == 0x7FFF ? 1 : last_handle + 1);
    the_file.file = file;
    the_file.handle = last_handle;
    the_file.pos = 0;
    the_file.win_off = 0;
    the_file.win_len = 0;
    *handle = last_handle;
    return InOpen::ok;
}

}  // namespace

InOpen in_open(const std::string& path, int16_t* handle) {
    *handle = -1;
    if (io_fail_now(IoOp::in_open)) return InOpen::not_found;
    if (path.empty() || names_directory(path) || the_file.file != kNoFile) {
        return InOpen::not_found;
    }
    OsFile file = kNoFile;
    InOpen opened = os_open_input(path, &file);
    return opened == InOpen::ok ? adopt(file, handle) : opened;
}

InOpen in_open_held(intptr_t held, int16_t* handle) {
    *handle = -1;
    if (io_fail_now(IoOp::in_open) || the_file.file != kNoFile) return InOpen::not_found;
    OsFile file = kNoFile;
    InOpen opened = os_duplicate_input(OsFile{held}, &file);
    return opened == InOpen::ok ? adopt(file, handle) : opened;
}

int64_t in_filelength(int16_t handle) {
    InFile* f = lookup(handle);
    return f == nullptr ? -1 : os_file_size(f->file);
}

int64_t in_seek(int16_t handle, int64_t offset) {
    InFile* f = lookup(handle);
    if (f == nullptr || offset < 0 || io_fail_now(IoOp::in_seek)) return -1;
    f->pos = offset;
    return offset;
}

int64_t in_read(int16_t handle, void* dest, int64_t n) {
    InFile* f = lookup(handle);
    if (f == nullptr || n < 0 || io_fail_now(IoOp::in_read)) return -1;
    unsigned char* out = static_cast<unsigned char*>(dest);
    // A .cinit walk reads its table a word at a time, and each section's contents follow
    // the previous one: most reads lie wholly inside the window and cost one copy.
    int64_t at = f->pos - f->win_off;
    if (at >= 0 && n <= f->win_len - at) {
        std::memcpy(out, f->win + at, static_cast<size_t>(n));
        f->pos += n;
        return n;
    }
    return read_through_window(f, out, n);
}

namespace {

// in_view when the window does not hold the bytes. Out of line, like read_through_window.
VELM_NOINLINE const uint8_t* view_refilled(InFile* f, int64_t* available) {
    if (!refill(f)) {
        *available = 0;
        return nullptr;
    }
    *available = f->win_len;
    return f->win;
}

}  // namespace

const uint8_t* in_view(int16_t handle, int64_t offset, int64_t n, int64_t* available) {
    InFile* f = lookup(handle);
    if (f == nullptr || offset < 0 || io_fail_now(IoOp::in_seek) || n < 0 || n >= kViewLimit ||
        io_fail_now(IoOp::in_read)) {
        *available = 0;
        return nullptr;
    }
    f->pos = offset;
    if (offset < f->map_len) {
        *available = f->map_len - offset;  // the whole file is mapped: no read, no copy
        return f->map + offset;
    }
    // Before the window, `at` wraps round to a distance beyond it.
    uint64_t at = static_cast<uint64_t>(offset - f->win_off);
    uint64_t held = static_cast<uint64_t>(f->win_len);
    if (at > held || static_cast<uint64_t>(n) > held - at) return view_refilled(f, available);
    *available = static_cast<int64_t>(held - at);
    return f->win + at;
}

InWindow in_window(int16_t handle) {
    InFile* f = lookup(handle);
    if (f == nullptr) return InWindow{nullptr, 0, 0};
    if (f->map != nullptr) return InWindow{f->map, 0, f->map_len};
    return InWindow{f->win, f->win_off, f->win_len};
}

const uint8_t* in_map(int16_t handle, int64_t offset, int64_t n) {
    InFile* f = lookup(handle);
    if (f == nullptr || f->map != nullptr || offset < 0 || n <= 0 || io_fail_now(IoOp::in_map)) {
        return nullptr;
    }
    int64_t size = os_file_size(f->file);
    if (size < 0 || offset > size || n > size - offset) return nullptr;
    f->map = os_map_input(f->file, size);
    if (f->map == nullptr) return nullptr;
    f->map_len = size;
    return f->map + offset;
}

bool in_intact(int16_t handle) {
    InFile* f = lookup(handle);
    return f == nullptr || f->map == nullptr || os_map_intact();
}

void in_close(int16_t handle) {
    InFile* f = lookup(handle);
    if (f == nullptr) return;
    os_unmap_input(f->map, f->map_len);
    f->map = nullptr;
    f->map_len = 0;
    os_close(f->file);
    f->file = kNoFile;
    f->win_len = 0;
}

int in_descriptor(int16_t handle) {
    InFile* f = lookup(handle);
    return f ? static_cast<int>(f->file) : -1;
}

}  // namespace velm
