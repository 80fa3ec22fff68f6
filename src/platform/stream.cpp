#include "platform/stream.h"

#include <cstring>
#include <new>

#include "platform/compiler.h"
#include "platform/interrupt.h"
#include "platform/io_hooks.h"
#include "platform/os_file.h"
#include "platform/path_resolve.h"

namespace velm {

namespace {
constexpr size_t kBufferSize = 128 * 1024;
}

struct OutStream {
    OsFile file = kNoFile;
    bool text = false;
    bool failed = false;
    bool regular = false;   // a regular file the tool made or truncated: removed on failure
    bool is_file = false;   // made by out_open; fault injection counts only these writes
    bool replaces = false;  // `target` was a file when the output was opened
    std::string path;       // the file written: the temporary file, or the output itself
    std::string target;     // where the temporary file goes once complete; "" without one
    // When set, the buffers go to sink(sink_ctx, ...) and there is no file.
    BlockSink sink = nullptr;
    void* sink_ctx = nullptr;
    size_t used = 0;
    char buf[kBufferSize];
};

namespace {

// The console is looked up at every write rather than kept: a program may point its
// standard output elsewhere between two runs (Windows does so by handle, not by number).
// An interrupt ends the writing of a file here, between buffers; the console goes on.
bool write_all(const OutStream* s, const char* p, size_t n) {
    if (s->sink != nullptr) return s->sink(s->sink_ctx, p, n);
    if (!s->is_file) return os_write(os_stdout(), p, n);
    if ((s->regular && interrupted()) || io_fail_now(IoOp::out_write)) return false;
    return os_write(s->file, p, n);
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
VELM_NOINLINE size_t write_binary(OutStream* s, const char* p, size_t n) {
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
VELM_NOINLINE size_t write_text(OutStream* s, const char* p, size_t n) {
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
    OsFile found = kNoFile;
    std::string target;
    OutFound what = os_find_output(path, OsFile{guard_fd}, &found, &target);
    if (what == OutFound::refused) return nullptr;
    OutStream* s = new OutStream;
    s->text = text_mode;
    s->is_file = true;
    if (what == OutFound::device) {
        // Nothing to clean up after an interrupt, which ends the process as it always
        // has: a write blocked on a pipe or a device is then never waited for.
        s->file = found;
        return s;
    }
    // Caught before any file is made, so that no interrupt can leave one behind.
    interrupt_catch();
    s->regular = true;
    std::string temp;
    OsFile file = io_fail_now(IoOp::out_temp) ? kNoFile : os_create_temp(target, found, &temp);
    if (file != kNoFile) {
        if (found != kNoFile) os_close(found);
        s->file = file;
        s->path = temp;
        s->target = target;
        s->replaces = what == OutFound::file;
        return s;
    }
    // No temporary file can be made in that directory (no right to create files there,
    // a name too long to extend, no room for one more file): the output is written in
    // place, as a file the tool truncates or creates and removes after a failure.
    s->path = path;
    if (what == OutFound::file) {
        if (os_truncate(found)) {
            s->file = found;
            return s;
        }
        os_close(found);
    } else {
        s->file = os_create_output(path);
        if (s->file != kNoFile) return s;
    }
    delete s;
    interrupt_release();
    return nullptr;
}

OutStream* out_open_sink(bool text_mode, BlockSink sink, void* ctx) {
    OutStream* s = new (std::nothrow) OutStream;
    if (s == nullptr) return nullptr;
    s->text = text_mode;
    s->sink = sink;
    s->sink_ctx = ctx;
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

size_t out_write_lines(OutStream* s, const void* data, size_t n) {
    if (!s->text) return out_write(s, data, n);
    if (s->failed) return 0;
    // The bytes are final: copied as they are, through the same full-buffer rule as
    // write_text, so the file is written in the same blocks.
    if (n <= kBufferSize - s->used) {
        std::memcpy(s->buf + s->used, data, n);
        s->used += n;
        return n;
    }
    return put_raw(s, static_cast<const char*>(data), n) ? n : 0;
}

char* out_reserve(OutStream* s, size_t n) {
    if (s->failed || n > kBufferSize - s->used) return nullptr;
    return s->buf + s->used;
}

char* out_room(OutStream* s, size_t n) {
    if (n > kBufferSize - s->used && !flush(s)) return nullptr;
    return out_reserve(s, n);
}

void out_commit(OutStream* s, const char* end) {
    s->used = static_cast<size_t>(end - s->buf);
}

int out_close(OutStream* s, bool discard) {
    if (s == nullptr) return 0;
    bool ok = !discard && flush(s);
    if (s->sink != nullptr) {
        delete s;
        return ok ? 0 : -1;
    }
    bool fail_close = io_fail_now(IoOp::out_close);
    if (!os_close_output(s->file, s->path, s->regular, !ok || fail_close) || fail_close) {
        ok = false;
    }
    // The complete file takes the output's place, unless an interrupt came first: once
    // it has, the run has succeeded.
    if (ok && !s->target.empty()) {
        ok = !interrupted() && !io_fail_now(IoOp::out_rename) &&
             os_replace(s->path, s->target, s->replaces);
        if (!ok) os_remove(s->path);
    }
    bool stopped = !ok && s->regular && interrupted();
    delete s;
    interrupt_release();
    return ok ? 0 : stopped ? kOutInterrupted : -1;
}

OutStream* console() {
    static OutStream* stdout_stream = [] {
        OutStream* s = new OutStream;
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
