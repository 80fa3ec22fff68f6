#include "dump/text_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace velm::dump {

namespace {

constexpr size_t kWindow = 256 * 1024;
// A literal longer than this is shown cut (with "...") in a message, so that a damaged
// file cannot make one message as long as itself.
constexpr size_t kShownText = 4096;
// The fast path looks this far ahead (a literal, its separator and a line end); the
// window is topped up before it does.
constexpr size_t kFastMargin = 64;
constexpr size_t kCursorRead = 16 * 1024;

Problem syntax_error(uint64_t line, const std::string& text) {
    Problem p;
    p.severity = Severity::error;
    p.has_position = true;
    p.position = line;
    p.message = "line " + std::to_string(line) + ": " + text;
    return p;
}

constexpr bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
constexpr bool is_digit(int c) {
    return c >= '0' && c <= '9';
}
constexpr bool is_alpha(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
constexpr int digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Byte classes of the fast path: white space other than LF, LF, and the characters that
// continue a literal (so that "0x12u" or "0x123456789" is left to the general path) or
// may start a splice.
enum : uint8_t { kOther = 0, kBlank = 1, kNewline = 2 };
struct Tables {
    uint8_t blank[256];
    uint8_t literal_tail[256];  // letters, digits, '_', '.', '\\'
    uint8_t hex[256];           // digit value, or 16
};
constexpr Tables make_tables() {
    Tables t{};
    for (int c = 0; c < 256; ++c) {
        t.blank[c] = c == '\n' ? kNewline : (is_space(c) ? kBlank : kOther);
        t.literal_tail[c] = is_alpha(c) || is_digit(c) || c == '.' || c == '\\' ? 1 : 0;
        t.hex[c] = static_cast<uint8_t>(digit_value(c) < 16 ? digit_value(c) : 16);
    }
    return t;
}
constexpr Tables kTables = make_tables();

// ---- the window ----------------------------------------------------------------------

uint64_t offset_of(const TextScanner* s, const uint8_t* q) {
    return s->base + static_cast<uint64_t>(q - s->buf);
}

// Makes at least n bytes from p available, unless the file ends first; n is at most the
// window. True when they are there.
bool fill(TextScanner* s, size_t n) {
    if (static_cast<size_t>(s->end - s->p) >= n) return true;
    if (s->eof) return false;
    const size_t keep = static_cast<size_t>(s->end - s->p);
    s->base += static_cast<uint64_t>(s->p - s->buf);
    std::memmove(s->buf, s->p, keep);
    s->p = s->buf;
    s->end = s->buf + keep;
    while (!s->eof && static_cast<size_t>(s->end - s->p) < n) {
        uint8_t* to = s->buf + (s->end - s->buf);
        size_t room = s->capacity - static_cast<size_t>(s->end - s->buf);
        if (s->at_offsets && room > kCursorRead &&
            static_cast<size_t>(s->end - s->p) + kCursorRead >= n) {
            room = kCursorRead;
        }
        int64_t got = s->at_offsets ? source_read_at(s->src, to, room, offset_of(s, s->end))
                                    : source_read(s->src, to, room);
        if (got <= 0) {
            s->eof = true;
            s->failed = got < 0;
            break;
        }
        s->end += got;
    }
    return static_cast<size_t>(s->end - s->p) >= n;
}

// ---- the general path: characters after line splicing (translation phase 2) ----------

// Skips the splices at p: a backslash directly followed by a line end (LF or CR LF) is
// removed together with the line end, so a `//` comment ending in a backslash goes on on
// the next line, as a compiler reads it.
void skip_splices(TextScanner* s) {
    for (;;) {
        fill(s, 3);
        const uint8_t* p = s->p;
        const size_t n = static_cast<size_t>(s->end - p);
        if (n < 2 || p[0] != '\\') return;
        if (p[1] == '\n') {
            s->p += 2;
        } else if (n >= 3 && p[1] == '\r' && p[2] == '\n') {
            s->p += 3;
        } else {
            return;
        }
        ++s->line;
    }
}

// The next character (0 to 255) or -1 at the end, without taking it.
int peek(TextScanner* s) {
    skip_splices(s);
    return s->p < s->end ? *s->p : -1;
}

int take(TextScanner* s) {
    int c = peek(s);
    if (c < 0) return c;
    ++s->p;
    s->last_line = s->line;
    if (c == '\n') ++s->line;
    return c;
}

enum class Tok { end, identifier, number, punctuator };

struct Token {
    Tok kind = Tok::end;
    uint64_t line = 0;
    uint64_t offset = 0;
    std::string text;   // as written, the first kShownText characters
    size_t length = 0;  // characters in all
    uint32_t value = 0;
};

void append(Token* t, int c) {
    if (t->text.size() < kShownText) t->text += static_cast<char>(c);
    ++t->length;
}

std::string shown(const Token& t) {
    return t.length > t.text.size() ? t.text + "..." : t.text;
}

std::string describe(const Token& t) {
    if (t.kind == Tok::end) return "the end of the file";
    if (t.kind == Tok::punctuator) {
        unsigned char c = static_cast<unsigned char>(t.text[0]);
        if (c < 0x20 || c >= 0x7F) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "byte 0x%02X", c);
            return buf;
        }
    }
    return "'" + (t.length > 32 ? t.text.substr(0, 32) + "..." : t.text) + "'";
}

// An integer literal, character by character: a 0x/0X prefix makes it hexadecimal, a
// leading 0 octal ("0" itself is octal), anything else decimal. The digits of that base
// come first; the rest is the suffix: at most one u/U and at most one of l, L, ll, LL,
// in either order.
struct NumberScan {
    int base = 10;
    size_t length = 0;
    size_t digits = 0;
    bool in_digits = true;
    uint64_t value = 0;
    bool too_big = false;
    char suffix[4] = {};
    size_t suffix_length = 0;
};

void number_add(NumberScan* n, int c) {
    const size_t i = n->length++;
    if (i == 0) n->base = c == '0' ? 8 : 10;
    if (i == 1 && n->base == 8 && (c == 'x' || c == 'X')) {
        n->base = 16;  // the 0 was the prefix's, not a digit
        n->digits = 0;
        return;
    }
    if (n->in_digits && digit_value(c) < n->base) {
        n->value =
            n->value * static_cast<uint64_t>(n->base) + static_cast<uint64_t>(digit_value(c));
        if (n->value > 0xFFFFFFFFu) {
            n->too_big = true;
            n->value = 0xFFFFFFFFu;  // keeps the arithmetic bounded; the value is refused
        }
        ++n->digits;
        return;
    }
    n->in_digits = false;
    if (n->suffix_length < sizeof n->suffix) n->suffix[n->suffix_length] = static_cast<char>(c);
    ++n->suffix_length;
}

bool valid_suffix(const NumberScan& n) {
    if (n.suffix_length > 3) return false;
    std::string s(n.suffix, n.suffix_length);
    if (!s.empty() && (s.front() == 'u' || s.front() == 'U')) {
        s.erase(0, 1);
    } else if (!s.empty() && (s.back() == 'u' || s.back() == 'U')) {
        s.pop_back();
    }
    return s.empty() || s == "l" || s == "L" || s == "ll" || s == "LL";
}

// Reads the next token. False, with the problem appended, for an unterminated comment
// or a malformed number.
bool next_token(TextScanner* s, Token* t, std::vector<Problem>* problems) {
    for (;;) {
        int c = peek(s);
        if (is_space(c)) {
            take(s);
        } else if (c == '/') {
            const uint64_t line = s->line;
            const uint64_t offset = offset_of(s, s->p);
            take(s);
            const int second = peek(s);
            if (second == '/') {
                while (peek(s) >= 0 && peek(s) != '\n') take(s);
            } else if (second == '*') {
                take(s);
                for (;;) {
                    int d = take(s);
                    if (d < 0) {
                        problems->push_back(syntax_error(line, "unterminated comment"));
                        return false;
                    }
                    if (d == '*' && peek(s) == '/') {
                        take(s);
                        break;
                    }
                }
            } else {
                // A lone '/': a token of its own, which no place in the grammar takes.
                t->kind = Tok::punctuator;
                t->line = line;
                t->offset = offset;
                t->text = "/";
                t->length = 1;
                return true;
            }
        } else {
            break;
        }
    }
    t->line = s->line;
    t->offset = offset_of(s, s->p);
    t->text.clear();
    t->length = 0;
    t->value = 0;
    int c = peek(s);
    if (c < 0) {
        t->kind = Tok::end;
        t->line = s->last_line;
        return true;
    }
    if (is_alpha(c)) {
        t->kind = Tok::identifier;
        while (is_alpha(peek(s)) || is_digit(peek(s))) append(t, take(s));
        return true;
    }
    if (is_digit(c)) {
        // A preprocessing number: digits, letters, '_' and '.', checked as a whole, so
        // that 0x1G or 1.5 is one bad number and not a number followed by something.
        t->kind = Tok::number;
        NumberScan n;
        while (is_alpha(peek(s)) || is_digit(peek(s)) || peek(s) == '.') {
            const int d = take(s);
            append(t, d);
            number_add(&n, d);
        }
        if (n.digits == 0 || !valid_suffix(n)) {
            problems->push_back(syntax_error(t->line, "invalid number '" + shown(*t) + "'"));
            return false;
        }
        if (n.too_big) {
            problems->push_back(
                syntax_error(t->line, "number " + shown(*t) + " does not fit into 32 bits"));
            return false;
        }
        t->value = static_cast<uint32_t>(n.value);
        return true;
    }
    t->kind = Tok::punctuator;
    append(t, take(s));
    return true;
}

bool is_punct(const Token& t, char c) {
    return t.kind == Tok::punctuator && t.text[0] == c;
}

bool expected(std::vector<Problem>* problems, const Token& t, const std::string& what) {
    problems->push_back(syntax_error(t.line, "expected " + what + ", found " + describe(t)));
    return false;
}

// ---- the fast path ----------------------------------------------------------------------

inline uint64_t load_le64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

constexpr uint64_t kOnes = 0x0101010101010101u;

// Per byte of x (each below 0x80): 0x80 where lo <= byte <= hi, else 0.
inline uint64_t bytes_in_range(uint64_t x, uint8_t lo, uint8_t hi) {
    const uint64_t at_least_lo = x + kOnes * static_cast<uint64_t>(0x80 - lo);
    const uint64_t above_hi = x + kOnes * static_cast<uint64_t>(0x7F - hi);
    return at_least_lo & ~above_hi & (kOnes * 0x80);
}

// True when the eight bytes of x are hex digits.
inline bool hex_digits(uint64_t x) {
    if ((x & (kOnes * 0x80)) != 0) return false;
    const uint64_t ok = bytes_in_range(x, '0', '9') | bytes_in_range(x | (kOnes * 0x20), 'a', 'f');
    return ok == kOnes * 0x80;
}

// The value of the eight hex digits at p, or false when they are not eight hex digits.
inline bool eight_hex_digits(const uint8_t* p, uint32_t* value) {
    const uint64_t x = load_le64(p);
    if (!hex_digits(x)) return false;
    // Each byte's digit value: its low four bits, plus 9 for a letter (bit 6 set).
    uint64_t v = (x & (kOnes * 0x0F)) + 9 * ((x >> 6) & kOnes);
    // Digit 0 (the most significant) is in the lowest byte: fold pairs, then quads.
    v = ((v & 0x000F000F000F000Fu) << 4) | ((v & 0x0F000F000F000F00u) >> 8);
    v = ((v & 0x000000FF000000FFu) << 8) | ((v & 0x00FF000000FF0000u) >> 16);
    *value = static_cast<uint32_t>(((v & 0xFFFFu) << 16) | ((v >> 32) & 0xFFFFu));
    return true;
}

// A hexadecimal literal of 1 to 8 digits without suffix at p, followed by a character
// that cannot continue it. True with its value and p moved past it; false (nothing
// taken) for anything else, which the general path then reads. Needs kFastMargin bytes
// in the window, or the end of the file within them.
inline bool fast_hex(TextScanner* s, uint32_t* value) {
    const uint8_t* p = s->p;
    if (s->end - p < 12 || p[0] != '0' || (p[1] | 0x20) != 'x') return false;
    size_t n = 10;
    if (!eight_hex_digits(p + 2, value)) {
        uint32_t v = 0;
        for (n = 2; n < 10 && kTables.hex[p[n]] < 16; ++n) v = (v << 4) | kTables.hex[p[n]];
        if (n == 2) return false;
        *value = v;
    }
    if (kTables.literal_tail[p[n]]) return false;
    s->p = p + n;
    s->last_line = s->line;
    return true;
}

// Skips white space and // comments. False when the general path must go on from p: a
// possible splice, a block comment, a lone '/', or a comment longer than the window.
inline bool skip_blanks_fast(TextScanner* s) {
    for (;;) {
        if (s->end - s->p < static_cast<ptrdiff_t>(kFastMargin)) fill(s, kFastMargin);
        const uint8_t* p = s->p;
        const uint8_t* const end = s->end;
        uint64_t line = s->line;
        uint8_t k = kOther;
        while (p < end && (k = kTables.blank[*p]) != kOther) {
            line += k == kNewline ? 1 : 0;
            ++p;
        }
        if (p != s->p) s->last_line = p[-1] == '\n' ? line - 1 : line;
        s->p = p;
        s->line = line;
        if (p == end) {
            if (s->eof) return true;
            continue;
        }
        if (*p != '/') return true;
        if (end - p < 2 || p[1] != '/') return false;
        const uint8_t* lf =
            static_cast<const uint8_t*>(std::memchr(p + 2, '\n', static_cast<size_t>(end - p - 2)));
        if (lf == nullptr) {
            if (s->eof || (s->p == s->buf && s->end == s->buf + s->capacity)) return false;
            fill(s, static_cast<size_t>(end - p) + 1);
            continue;
        }
        // A backslash before the line end splices the next line into the comment.
        if (lf[-1] == '\\' || (lf[-1] == '\r' && lf[-2] == '\\')) return false;
        s->p = lf;
        s->last_line = line;
    }
}

void deliver(TextWords* batch, TextSink sink) {
    batch->may_count = sink.words(sink.ctx, *batch);
    batch->counted = 0;
    batch->count = 0;
}

// A word with its value. Words are counted only while none waits with its value: the
// order must stay that of the file.
void push_word(TextWords* batch, TextSink sink, uint32_t value, uint64_t line, uint64_t offset) {
    const size_t i = batch->count;
    batch->value[i] = value;
    batch->line[i] = line;
    batch->offset[i] = offset;
    batch->may_count = 0;
    if (++batch->count == TextWords::kMax) deliver(batch, sink);
}

// The layout c6x_velm writes, with kFastMargin bytes ahead: blanks (two spaces, or a line
// end and five spaces), then an eight-digit literal and a comma. Kept in locals (the
// batch's stores could alias the scanner's fields), and left at the first thing that is
// anything else, always where an item may start.
inline void hot_items(TextScanner* s, TextWords* batch, TextSink sink) {
    const uint8_t* p = s->p;
    const uint8_t* const start = p;
    const uint8_t* const end = s->end;
    const uint64_t origin = s->base - reinterpret_cast<uintptr_t>(s->buf);
    uint64_t line = s->line;
    while (end - p >= static_cast<ptrdiff_t>(kFastMargin)) {
        if (p[0] == ' ' && p[1] == ' ' && p[2] == '0') {
            p += 2;
        } else if (std::memcmp(p, "  \r\n     0", 10) == 0) {
            p += 9;
            ++line;
        } else if (std::memcmp(p, "\r\n     0", 8) == 0) {
            p += 7;
            ++line;
        }
        if (p[0] != '0' || (p[1] | 0x20) != 'x' || p[10] != ',') break;
        if (batch->may_count > 0 && batch->count == 0) {
            if (!hex_digits(load_le64(p + 2))) break;
            --batch->may_count;
            ++batch->counted;
        } else {
            uint32_t value;
            if (!eight_hex_digits(p + 2, &value)) break;
            const size_t n = batch->count;
            batch->value[n] = value;
            batch->line[n] = line;
            batch->offset[n] = origin + reinterpret_cast<uintptr_t>(p);
            batch->may_count = 0;
            if (++batch->count == TextWords::kMax) deliver(batch, sink);
        }
        p += 11;
    }
    if (p != start) s->last_line = p[-1] == '\n' ? line - 1 : line;
    s->p = p;
    s->line = line;
}

enum class FastEnd { at_item, after_number };

// Where a list item may start (after '{' or ','): takes literal-and-comma pairs while they
// come in the plain form. Ends either where an item starts that the general path must
// read, or after a literal whose separator it must read.
FastEnd fast_items(TextScanner* s, TextWords* batch, TextSink sink) {
    for (;;) {
        hot_items(s, batch, sink);
        if (!skip_blanks_fast(s)) return FastEnd::at_item;
        const uint8_t* start = s->p;
        uint32_t value;
        if (!fast_hex(s, &value)) return FastEnd::at_item;
        push_word(batch, sink, value, s->line, offset_of(s, start));
        if (*s->p != ',') {
            if (!skip_blanks_fast(s) || s->p == s->end || *s->p != ',')
                return FastEnd::after_number;
        }
        ++s->p;
        s->last_line = s->line;
    }
}

// ---- the grammar ------------------------------------------------------------------------

// unsigned int NAME [ ] = {      (any identifiers before NAME, two at least)
bool read_declaration(TextScanner* s, Token* tok, std::vector<Problem>* problems) {
    if (!next_token(s, tok, problems)) return false;
    int identifiers = 0;
    while (tok->kind == Tok::identifier) {
        ++identifiers;
        if (!next_token(s, tok, problems)) return false;
    }
    if (identifiers < 2) {
        return expected(problems, *tok, "the declaration 'unsigned int NAME[] = {'");
    }
    const char kOpening[] = "[]={";
    for (size_t i = 0; i < 4; ++i) {
        if (i > 0 && !next_token(s, tok, problems)) return false;
        if (!is_punct(*tok, kOpening[i])) {
            return expected(problems, *tok, std::string("'") + kOpening[i] + "'");
        }
    }
    return true;
}

ListEnd cut_short(const Token& tok, uint64_t* end_line, std::vector<Problem>* problems) {
    *end_line = tok.line;
    problems->push_back(
        syntax_error(tok.line, "the file ends inside the initializer list (no closing '};')"));
    return ListEnd::cut_short;
}

// WORD, WORD, ... [,] }
ListEnd read_words(TextScanner* s, Token* tok, TextWords* batch, TextSink sink, uint64_t* end_line,
                   std::vector<Problem>* problems) {
    for (;;) {
        if (fast_items(s, batch, sink) == FastEnd::at_item) {
            if (!next_token(s, tok, problems)) return ListEnd::broken;
            if (tok->kind == Tok::end) return cut_short(*tok, end_line, problems);
            if (is_punct(*tok, '}')) break;  // an empty list, or a comma before the brace
            if (tok->kind != Tok::number) {
                expected(problems, *tok, "a number");
                return ListEnd::broken;
            }
            push_word(batch, sink, tok->value, tok->line, tok->offset);
        }
        if (!next_token(s, tok, problems)) return ListEnd::broken;
        if (is_punct(*tok, ',')) continue;
        if (is_punct(*tok, '}')) break;
        if (tok->kind == Tok::end) return cut_short(*tok, end_line, problems);
        expected(problems, *tok, "',' or '}'");
        return ListEnd::broken;
    }
    *end_line = tok->line;
    return ListEnd::closed;
}

// } ; and nothing more but white space and comments.
void read_closing(TextScanner* s, Token* tok, std::vector<Problem>* problems) {
    if (!next_token(s, tok, problems)) return;
    if (!is_punct(*tok, ';')) {
        expected(problems, *tok, "';' after '}'");
        return;
    }
    if (!next_token(s, tok, problems)) return;
    if (tok->kind != Tok::end) {
        problems->push_back(
            syntax_error(tok->line, "unexpected " + describe(*tok) + " after the declaration"));
    }
}

bool scanner_alloc(TextScanner* s) {
    if (s->buf == nullptr) {
        s->buf = static_cast<uint8_t*>(std::malloc(kWindow));
        if (s->buf == nullptr) return false;
        s->capacity = kWindow;
    }
    return true;
}

}  // namespace

bool text_scanner_begin(TextScanner* s, Source* src, const uint8_t* head, size_t n) {
    if (!scanner_alloc(s) || n > s->capacity) return false;
    if (n > 0) std::memcpy(s->buf, head, n);
    s->src = src;
    s->p = s->buf;
    s->end = s->buf + n;
    s->base = 0;
    s->at_offsets = false;
    s->eof = false;
    s->failed = false;
    s->line = 1;
    s->last_line = 1;
    return true;
}

void text_scanner_free(TextScanner* s) {
    std::free(s->buf);
    s->buf = nullptr;
    s->capacity = 0;
}

TextRead read_text_image(TextScanner* s, TextSink sink, std::vector<Problem>* problems) {
    TextRead r;
    // A UTF-8 byte order mark, as some Windows editors write one, is skipped as
    // compilers skip it.
    if (fill(s, 3) && s->p[0] == 0xEF && s->p[1] == 0xBB && s->p[2] == 0xBF) s->p += 3;
    Token tok;
    if (!read_declaration(s, &tok, problems)) return r;
    r.declaration = true;
    TextWords batch;
    r.list = read_words(s, &tok, &batch, sink, &r.end_line, problems);
    if (batch.count > 0 || batch.counted > 0) deliver(&batch, sink);
    // A list that is complete has its words decoded whatever follows.
    if (r.list == ListEnd::closed) read_closing(s, &tok, problems);
    return r;
}

bool text_cursor_begin(TextScanner* s, Source* src, uint64_t offset) {
    if (!scanner_alloc(s)) return false;
    // Records read in file order follow each other in the window already read.
    if (s->src == src && s->at_offsets && !s->failed && offset >= s->base &&
        offset - s->base <= static_cast<uint64_t>(s->end - s->buf)) {
        s->p = s->buf + (offset - s->base);
        return true;
    }
    s->src = src;
    s->p = s->buf;
    s->end = s->buf;
    s->base = offset;
    s->at_offsets = true;
    s->eof = false;
    s->failed = false;
    s->line = 1;
    s->last_line = 1;
    return true;
}

bool text_cursor_next(TextScanner* s, uint32_t* value) {
    std::vector<Problem> unused;
    Token tok;
    const bool fast = skip_blanks_fast(s) && fast_hex(s, value);
    if (!fast) {
        if (!next_token(s, &tok, &unused) || tok.kind != Tok::number) return false;
        *value = tok.value;
    }
    // The separator: a comma, or the closing brace after the list's last word.
    if (skip_blanks_fast(s) && s->p < s->end && *s->p == ',') {
        ++s->p;
        return true;
    }
    return next_token(s, &tok, &unused) && (is_punct(tok, ',') || is_punct(tok, '}'));
}

bool text_cursor_words(TextScanner* s, uint32_t* values, size_t n) {
    while (n > 0) {
        // c6x_velm's layout in a tight loop, as in hot_items; anything else word by word.
        if (s->end - s->p < static_cast<ptrdiff_t>(kFastMargin)) fill(s, kFastMargin);
        const uint8_t* p = s->p;
        const uint8_t* const end = s->end;
        while (n > 0 && end - p >= static_cast<ptrdiff_t>(kFastMargin)) {
            if (p[0] == ' ' && p[1] == ' ' && p[2] == '0') {
                p += 2;
            } else if (std::memcmp(p, "  \r\n     0", 10) == 0) {
                p += 9;
            } else if (std::memcmp(p, "\r\n     0", 8) == 0) {
                p += 7;
            }
            if (p[0] != '0' || (p[1] | 0x20) != 'x' || p[10] != ',' ||
                !eight_hex_digits(p + 2, values)) {
                break;
            }
            ++values;
            --n;
            p += 11;
        }
        s->p = p;
        if (n > 0) {
            if (!text_cursor_next(s, values)) return false;
            ++values;
            --n;
        }
    }
    return true;
}

}  // namespace velm::dump
