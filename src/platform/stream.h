// Buffered output stream: the one writer behind the console and the output file.
//
// A text stream stores every "\n" as "\r\n" (a lone "\r" is left alone), the way the
// original console platform's text streams did; a binary stream stores bytes as given.
// Errors are sticky: once a flush has failed, every later write and the close report
// failure, so a caller that checks only some results still never reports success.
//
// An output file only appears complete: it is written under a temporary name and renamed
// over the output path once closed without error. Build tools never see half an image,
// and a failed or interrupted run never destroys the file that was there.
#ifndef C6X_VELM_PLATFORM_STREAM_H
#define C6X_VELM_PLATFORM_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace velm {

struct OutStream;

// Opens the output at `path`, spelled as the file system takes it. A regular file, or a
// path where no file is yet, is written through a new temporary file beside it (or, when
// none can be made there, in place); a device, FIFO or pipe is written directly. Fails
// (nullptr), creating and changing nothing, when the path ends in a separator, cannot be
// opened for writing or created, or names the same file as `guard_fd` (the open input):
// the output must never destroy the input. While a file is being written, interrupts
// (platform/interrupt.h) stop the writing instead of the process.
OutStream* out_open(const std::string& path, bool text_mode, int guard_fd);

// A stream whose full buffers, and the rest at out_close, go to `sink` instead of a file:
// the conversion run inside another program (velm_dump compares a program's image
// without writing it anywhere). The blocks arrive in order, every byte once, as a file
// would receive them; nothing is caught, created or removed. A sink that returns false
// fails the stream as a failed write would. Null when there is no memory.
using BlockSink = bool (*)(void* ctx, const char* data, size_t n);
OutStream* out_open_sink(bool text_mode, BlockSink sink, void* ctx);

// Appends n bytes. Returns the number of bytes accepted: n, or fewer when writing out
// the buffer failed during this call or earlier, or an interrupt stopped it.
size_t out_write(OutStream* s, const void* data, size_t n);

// Appends n bytes of text whose line ends are already stored ones ("\r\n", see
// line_text): stored unchanged, so a caller that builds whole lines (the TEXT encoding,
// the listing) does not have every byte scanned a second time. The text must hold no
// other "\n". Same result as out_write.
size_t out_write_lines(OutStream* s, const void* data, size_t n);

// Room to build output in place: a pointer to at least n free bytes of the stream's
// buffer, or nullptr when fewer are left before the buffer must be written out (or the
// stream has failed); the caller then builds the bytes elsewhere and writes them. The
// bytes are handed over by out_commit with the end of what was built, and count as
// written by out_write_lines: text must have its line ends as stored.
char* out_reserve(OutStream* s, size_t n);
void out_commit(OutStream* s, const char* end);

// The same, writing out the buffer first when fewer than n bytes are free: nullptr only
// when that write fails (or has failed before), or n exceeds the buffer. For a caller
// that builds many small pieces in place and would rather not stop at the buffer's end.
char* out_room(OutStream* s, size_t n);

// A literal written with "\n" line ends, as a text stream stores it: every "\n" turned
// into "\r\n" when compiling. `size` counts the stored bytes (no terminator).
template <size_t N>
struct LineText {
    char text[2 * N];
    size_t size;
};

template <size_t N>
constexpr LineText<N> line_text(const char (&literal)[N]) {
    LineText<N> out{};
    size_t k = 0;
    for (size_t i = 0; i + 1 < N; ++i) {
        if (literal[i] == '\n') out.text[k++] = '\r';
        out.text[k++] = literal[i];
    }
    out.size = k;
    return out;
}

// Copies such a text to `out`, for a line built in a buffer; returns its end.
template <size_t N>
char* put_lines(char* out, const LineText<N>& text) {
    std::memcpy(out, text.text, text.size);
    return out + text.size;
}

// Flushes, closes and frees the stream, and when nothing failed and `discard` is not set
// puts the temporary file at the output path in one step. Returns 0; -1 when any write
// (this final flush included), the close or that last step failed; kOutInterrupted when
// an interrupt stopped the output. After a failure the output path holds exactly what it
// held before: the temporary file is removed (a file written in place is removed; a
// device such as /dev/full is only closed).
constexpr int kOutInterrupted = -2;
int out_close(OutStream* s, bool discard);

// Standard output as a text stream. Flushed by console_flush(); the driver flushes it
// before a run returns.
OutStream* console();
void console_flush();
void console_write(const char* text);
void console_write(const std::string& text);

}  // namespace velm

#endif
