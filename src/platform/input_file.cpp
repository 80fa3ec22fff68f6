#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/io_hooks.h"
#include "platform/path_resolve.h"

namespace velm {

namespace {

// Read-ahead window. Section contents are read in 32 KiB pieces, which bypass the
// window; the small reads of a .cinit walk and the seeks between sections are served
// from it.
constexpr int64_t kWindow = 64 * 1024;

struct InFile {
    int fd = -1;
    int64_t pos = 0;      // logical file position
    int64_t win_off = 0;  // file offset of win[0]
    int64_t win_len = 0;  // valid bytes in win
    unsigned char win[kWindow];
};

// One input file is open at a time; a second slot would only matter to a caller that
// opened two, which nothing does.
InFile the_file;

InFile* lookup(int16_t handle) {
    if (handle < 0 || the_file.fd < 0 || handle != the_file.fd) return nullptr;
    return &the_file;
}

// Reads up to n bytes at `offset`; fewer only at end of file. -1 on error.
int64_t pread_full(int fd, unsigned char* dest, int64_t n, int64_t offset) {
    int64_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd, dest + got, static_cast<size_t>(n - got), offset + got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += r;
    }
    return got;
}

// Reads n bytes at f->pos: what the window holds is copied from it, a request of half a
// window or more goes straight to the destination, anything else refills the window.
// Fewer than n only at the end of the file; -1 on an error. Kept out of line so that
// in_read's common case stays a short leaf function.
[[gnu::noinline]] int64_t read_through_window(InFile* f, unsigned char* out, int64_t n) {
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
        if (want >= kWindow / 2) {
            int64_t r = pread_full(f->fd, out + got, want, f->pos);
            if (r < 0) return -1;
            f->pos += r;
            got += r;
            break;  // either all arrived or the file ended
        }
        int64_t r = pread_full(f->fd, f->win, kWindow, f->pos);
        if (r < 0) return -1;
        f->win_off = f->pos;
        f->win_len = r;
        if (r == 0) break;
    }
    return got;
}

}  // namespace

InOpen in_open(const std::string& path, int16_t* handle) {
    *handle = -1;
    if (io_fail_now(IoOp::in_open)) return InOpen::not_found;
    if (path.empty() || names_directory(path)) return InOpen::not_found;
    // The type is checked before opening: opening a FIFO for reading would block.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return InOpen::not_found;
    if (!S_ISREG(st.st_mode)) return InOpen::not_regular;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return InOpen::not_found;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fd > 0x7FFF || the_file.fd >= 0) {
        bool dir = S_ISDIR(st.st_mode);
        ::close(fd);
        return dir || the_file.fd >= 0 ? InOpen::not_found : InOpen::not_regular;
    }
    the_file.fd = fd;
    the_file.pos = 0;
    the_file.win_off = 0;
    the_file.win_len = 0;
    *handle = static_cast<int16_t>(fd);
    return InOpen::ok;
}

int64_t in_filelength(int16_t handle) {
    InFile* f = lookup(handle);
    struct stat st;
    if (f == nullptr || ::fstat(f->fd, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
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

void in_close(int16_t handle) {
    InFile* f = lookup(handle);
    if (f == nullptr) return;
    ::close(f->fd);
    f->fd = -1;
    f->win_len = 0;
}

int in_descriptor(int16_t handle) {
    InFile* f = lookup(handle);
    return f ? f->fd : -1;
}

}  // namespace velm
