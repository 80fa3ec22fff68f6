#include "platform/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/io_hooks.h"
#include "platform/path_resolve.h"

namespace velm {

namespace {
constexpr size_t kBufferSize = 128 * 1024;
}

struct OutStream {
    int fd = -1;
    bool text = false;
    bool failed = false;
    bool regular = false;  // created as a regular file: may be removed on failure
    bool is_file = false;  // made by out_open; fault injection counts only these writes
    std::string path;
    size_t used = 0;
    char buf[kBufferSize];
};

namespace {

bool write_all(const OutStream* s, const char* p, size_t n) {
    while (n > 0) {
        if (s->is_file && io_fail_now(IoOp::out_write)) return false;
        ssize_t w = ::write(s->fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (w == 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool flush(OutStream* s) {
    if (s->failed) return false;
    if (s->used > 0 && !write_all(s, s->buf, s->used)) s->failed = true;
    s->used = 0;
    return !s->failed;
}

// Copies raw bytes into the buffer, flushing as it fills.
bool put_raw(OutStream* s, const char* p, size_t n) {
    while (n > 0) {
        if (s->used == kBufferSize && !flush(s)) return false;
        size_t room = kBufferSize - s->used;
        size_t take = n < room ? n : room;
        std::memcpy(s->buf + s->used, p, take);
        s->used += take;
        p += take;
        n -= take;
    }
    return true;
}

// The slow paths are kept out of line so that out_write's common case stays a short
// leaf function: it runs for every record header and data piece.

// A binary write that fills or overflows the buffer. A write of a whole buffer or more
// into an empty one goes straight to the file.
[[gnu::noinline]] size_t write_binary(OutStream* s, const char* p, size_t n) {
    if (s->used == 0 && n >= kBufferSize) {
        if (!write_all(s, p, n)) {
            s->failed = true;
            return 0;
        }
        return n;
    }
    return put_raw(s, p, n) ? n : 0;
}

// Text: each line is copied straight into the buffer with its "\r\n" while the room
// lasts; only the line that reaches the end of the buffer goes through put_raw, so the
// buffer is still written out in the same full blocks.
[[gnu::noinline]] size_t write_text(OutStream* s, const char* p, size_t n) {
    const char* end = p + n;
    while (p < end) {
        const char* nl =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = nl ? nl : end;
        size_t len = static_cast<size_t>(stop - p);
        if (len + 2 <= kBufferSize - s->used) {
            char* out = s->buf + s->used;
            std::memcpy(out, p, len);
            out[len] = '\r';
            out[len + 1] = '\n';
            s->used += nl ? len + 2 : len;
        } else {
            if (!put_raw(s, p, len)) return 0;
            if (nl && !put_raw(s, "\r\n", 2)) return 0;
        }
        if (!nl) break;
        p = nl + 1;
    }
    return n;
}

}  // namespace

OutStream* out_open(const std::string& path, bool text_mode, int guard_fd) {
    if (path.empty() || names_directory(path)) return nullptr;
    if (io_fail_now(IoOp::out_open)) return nullptr;
    // Opened without O_TRUNC: the same-file check must come before anything is lost.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return nullptr;
    struct stat out_st;
    if (::fstat(fd, &out_st) != 0) {
        ::close(fd);
        return nullptr;
    }
    struct stat in_st;
    if (guard_fd >= 0 && ::fstat(guard_fd, &in_st) == 0 && in_st.st_dev == out_st.st_dev &&
        in_st.st_ino == out_st.st_ino) {
        ::close(fd);
        return nullptr;
    }
    bool regular = S_ISREG(out_st.st_mode);
    if (regular && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    OutStream* s = new OutStream;
    s->fd = fd;
    s->text = text_mode;
    s->regular = regular;
    s->is_file = true;
    s->path = path;
    return s;
}

size_t out_write(OutStream* s, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    if (s->failed) return 0;
    if (s->text) return write_text(s, p, n);
    // Most binary writes are a record header or a piece of data well inside the room.
    if (n < kBufferSize - s->used) {
        std::memcpy(s->buf + s->used, p, n);
        s->used += n;
        return n;
    }
    return write_binary(s, p, n);
}

int out_close(OutStream* s, bool discard) {
    if (s == nullptr) return 0;
    bool ok = !discard && flush(s);
    bool fail_close = io_fail_now(IoOp::out_close);
    if (::close(s->fd) != 0 || fail_close) ok = false;
    if (!ok && s->regular) ::unlink(s->path.c_str());
    delete s;
    return ok ? 0 : -1;
}

OutStream* console() {
    static OutStream* stdout_stream = [] {
        OutStream* s = new OutStream;
        s->fd = STDOUT_FILENO;
        s->text = true;
        return s;
    }();
    return stdout_stream;
}

void console_flush() {
    OutStream* s = console();
    flush(s);
    // A console that cannot be written to is not reported; start afresh for the next run.
    s->failed = false;
    s->used = 0;
}

void console_write(const char* text) {
    out_write(console(), text, std::strlen(text));
}
void console_write(const std::string& text) {
    out_write(console(), text.data(), text.size());
}

}  // namespace velm
