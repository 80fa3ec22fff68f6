// Buffered output stream: the one writer behind the console and the output file.
//
// A text stream stores every "\n" as "\r\n" (a lone "\r" is left alone), the way the
// original console platform's text streams did; a binary stream stores bytes as given.
// Errors are sticky: once a flush has failed, every later write and the close report
// failure, so a caller that checks only some results still never reports success.
#ifndef C6X_VELM_PLATFORM_STREAM_H
#define C6X_VELM_PLATFORM_STREAM_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace velm {

struct OutStream;

// Creates or truncates the file at `path`, spelled as the file system takes it.
// Fails (nullptr) when the path cannot be created, ends in a separator, or names the
// same file as `guard_fd` (the open input): the output must never destroy the input.
OutStream* out_open(const std::string& path, bool text_mode, int guard_fd);

// Appends n bytes. Returns the number of bytes accepted: n, or fewer when writing out
// the buffer failed during this call or earlier.
size_t out_write(OutStream* s, const void* data, size_t n);

// Flushes, closes and frees the stream. Returns 0, or -1 when any write (this final
// flush included) or the close itself failed. When `discard` is set or the close failed,
// a file that was created as a regular file is removed, so a failed run never leaves a
// half-written image behind; a device such as /dev/full is only closed.
int out_close(OutStream* s, bool discard);

// Standard output as a text stream. Flushed by console_flush(); the driver flushes it
// before a run returns.
OutStream* console();
void console_flush();
void console_write(const char* text);
void console_write(const std::string& text);

}  // namespace velm

#endif
