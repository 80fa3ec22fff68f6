// Reading the TEXT encoding: a C source file holding one declaration,
//
//     unsigned int NAME[] = { WORD, WORD, ..., WORD };
//
// read by a real C tokenizer, not by line positions: white space and line ends (LF or
// CR LF) anywhere, comments (// to the end of the line, /* ... */), backslash-newline
// line splicing, and integer literals in hexadecimal (0x1F), decimal (31) and octal
// (037), each optionally with the suffixes u/U and l/L/ll/LL; a trailing comma after the
// last word is allowed. Any identifiers may stand before NAME (`static const unsigned
// int`, `uint32_t`); the brackets must be empty. Values above 0xFFFFFFFF, negative
// numbers, expressions and anything after the closing `};` except white space and
// comments are errors. A leading UTF-8 byte order mark is skipped. Each word remembers
// the line its literal starts on (lines are counted at every LF, spliced or not) and the
// byte offset where it starts.
//
// The file is read in order through a window of a few hundred KiB, so any length reads
// in the same memory. Most of an image is "0x%08X," literals between blanks and
// comment lines; those go through a fast path that yields exactly what the general
// tokenizer would, and leaves everything else (a splice, a block comment, another
// literal form) to the general one.
#ifndef C6X_VELM_DUMP_TEXT_READER_H
#define C6X_VELM_DUMP_TEXT_READER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dump/image.h"
#include "dump/source.h"

namespace velm::dump {

// The window over the file: bytes [p, end) are in memory, `base` is the file offset of
// buf[0]. Reads go through the source in order (pass 1) or at offsets (a second read
// of one record).
struct TextScanner {
    Source* src = nullptr;
    uint8_t* buf = nullptr;
    size_t capacity = 0;
    const uint8_t* p = nullptr;
    const uint8_t* end = nullptr;
    uint64_t base = 0;
    bool at_offsets = false;  // read with source_read_at from base + (end - buf), in
                              // pieces of kCursorRead: records are read at random
    bool eof = false;
    bool failed = false;     // a read failed; src->error says why
    uint64_t line = 1;       // line of the byte at p
    uint64_t last_line = 1;  // line of the last character taken (for the end of the file)
};

// Words of the initializer list, handed on in batches: first `counted` words that were
// only counted (see TextSink), then `count` words with their values.
struct TextWords {
    static constexpr size_t kMax = 1024;
    uint64_t counted = 0;
    size_t count = 0;
    uint32_t value[kMax];
    uint64_t line[kMax];
    uint64_t offset[kMax];
    uint64_t may_count = 0;  // the sink's last answer, less the words counted since
};

// Takes a batch and answers how many of the words after it it needs only counted (data
// words whose values do not matter, as in --check): those are checked as literals but
// not converted, which is most of the work of reading a large image.
struct TextSink {
    uint64_t (*words)(void* ctx, const TextWords& batch);
    void* ctx;
};

enum class ListEnd {
    closed,     // by its brace
    cut_short,  // by the end of the file: the words so far are still decoded
    broken,     // by a syntax error
};

struct TextRead {
    ListEnd list = ListEnd::broken;
    bool declaration = false;  // the declaration up to '{' was found
    uint64_t end_line = 0;     // line where the list ends: its '}', or the end of the file
};

// Starts a scanner over `src` in order, with the `n` bytes already read from it at
// `head` (the caller's look at the start). The buffer is the scanner's own; release it
// with text_scanner_free.
bool text_scanner_begin(TextScanner* s, Source* src, const uint8_t* head, size_t n);
void text_scanner_free(TextScanner* s);

// Reads the whole TEXT image from the scanner: every word goes to `sink`, every syntax
// problem to *problems (errors naming their line). The words may be decoded when the list
// was closed or cut short; after a broken list they mean nothing. A failed read stops
// the reading with s->failed set.
TextRead read_text_image(TextScanner* s, TextSink sink, std::vector<Problem>* problems);

// A second read of words that the first read found sound: from the literal starting at
// byte `offset`, the words in order. False when the file no longer holds a sound list
// there (it changed since) or a read fails (s->failed).
bool text_cursor_begin(TextScanner* s, Source* src, uint64_t offset);
bool text_cursor_next(TextScanner* s, uint32_t* value);
// The next n words.
bool text_cursor_words(TextScanner* s, uint32_t* values, size_t n);

}  // namespace velm::dump

#endif
