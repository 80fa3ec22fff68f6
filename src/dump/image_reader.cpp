#include "dump/image_reader.h"

#include <cstdio>

#include "core/byte_order.h"

namespace velm::dump {

namespace {

Problem syntax_error(uint32_t line, const std::string& text) {
    Problem p;
    p.severity = Severity::error;
    p.has_position = true;
    p.position = line;
    p.message = "line " + std::to_string(line) + ": " + text;
    return p;
}

// The characters of a C source after line splicing (translation phase 2): a backslash
// directly followed by a line end (LF or CR LF) is removed together with the line end,
// so a `//` comment ending in a backslash goes on on the next line, as a compiler reads it.
// Lines are counted at every LF, spliced or not.
class Source {
  public:
    Source(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

    // The next character (0 to 255) or -1 at the end, without taking it.
    int peek() {
        p_ = skip_splices(p_, &line_);
        return p_ < end_ ? *p_ : -1;
    }
    // The character after the next one.
    int peek_second() {
        const uint8_t* q = skip_splices(p_, &line_);
        if (q >= end_) return -1;
        uint32_t ignored = 0;
        q = skip_splices(q + 1, &ignored);
        return q < end_ ? *q : -1;
    }
    int get() {
        int c = peek();
        if (c < 0) return c;
        ++p_;
        last_line_ = line_;
        if (c == '\n') ++line_;
        return c;
    }
    uint32_t line() {
        peek();
        return line_;
    }
    // The line of the last character taken (for the end of the file).
    uint32_t last_line() const { return last_line_; }

  private:
    const uint8_t* skip_splices(const uint8_t* q, uint32_t* line) const {
        for (;;) {
            if (q + 1 < end_ && q[0] == '\\' && q[1] == '\n') {
                q += 2;
            } else if (q + 2 < end_ && q[0] == '\\' && q[1] == '\r' && q[2] == '\n') {
                q += 3;
            } else {
                return q;
            }
            ++*line;
        }
    }

    const uint8_t* p_;
    const uint8_t* end_;
    uint32_t line_ = 1;
    uint32_t last_line_ = 1;
};

enum class Tok { end, identifier, number, punctuator };

struct Token {
    Tok kind = Tok::end;
    uint32_t line = 0;
    std::string text;    // as written (a punctuator is one character)
    uint32_t value = 0;  // numbers only
};

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_digit(int c) {
    return c >= '0' && c <= '9';
}
bool is_alpha(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
int digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
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
    std::string shown = t.text.size() > 32 ? t.text.substr(0, 32) + "..." : t.text;
    return "'" + shown + "'";
}

// An integer suffix of C: at most one u/U and at most one of l, L, ll, LL, in either
// order.
bool valid_suffix(std::string s) {
    if (!s.empty() && (s.front() == 'u' || s.front() == 'U')) {
        s.erase(0, 1);
    } else if (!s.empty() && (s.back() == 'u' || s.back() == 'U')) {
        s.pop_back();
    }
    return s.empty() || s == "l" || s == "L" || s == "ll" || s == "LL";
}

// Converts the text of a numeric literal. Returns an error text, empty on success.
std::string convert_number(const std::string& text, uint32_t* value) {
    size_t i = 0;
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    } else if (text[0] == '0') {
        base = 8;  // "0" itself is an octal literal too, of value 0
    }
    size_t first_digit = i;
    uint64_t v = 0;
    bool too_big = false;
    while (i < text.size() && digit_value(text[i]) < base) {
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit_value(text[i]));
        if (v > 0xFFFFFFFFu) {
            too_big = true;
            v = 0xFFFFFFFFu;  // keeps the arithmetic bounded; the value is refused anyway
        }
        ++i;
    }
    if (i == first_digit || !valid_suffix(text.substr(i))) {
        return "invalid number '" + text + "'";
    }
    if (too_big) return "number " + text + " does not fit into 32 bits";
    *value = static_cast<uint32_t>(v);
    return "";
}

// Reads the next token. False, with the problem appended, for an unterminated comment
// or a malformed number.
bool next_token(Source* src, Token* tok, std::vector<Problem>* problems) {
    for (;;) {
        int c = src->peek();
        if (is_space(c)) {
            src->get();
        } else if (c == '/' && src->peek_second() == '/') {
            while (src->peek() >= 0 && src->peek() != '\n') src->get();
        } else if (c == '/' && src->peek_second() == '*') {
            uint32_t start = src->line();
            src->get();
            src->get();
            for (;;) {
                int d = src->get();
                if (d < 0) {
                    problems->push_back(syntax_error(start, "unterminated comment"));
                    return false;
                }
                if (d == '*' && src->peek() == '/') {
                    src->get();
                    break;
                }
            }
        } else {
            break;
        }
    }
    tok->line = src->line();
    tok->text.clear();
    tok->value = 0;
    int c = src->peek();
    if (c < 0) {
        tok->kind = Tok::end;
        tok->line = src->last_line();
        return true;
    }
    if (is_alpha(c)) {
        tok->kind = Tok::identifier;
        while (is_alpha(src->peek()) || is_digit(src->peek())) {
            tok->text += static_cast<char>(src->get());
        }
        return true;
    }
    if (is_digit(c)) {
        // A preprocessing number: digits, letters, '_' and '.', checked as a whole, so
        // that 0x1G or 1.5 is one bad number and not a number followed by something.
        tok->kind = Tok::number;
        while (is_alpha(src->peek()) || is_digit(src->peek()) || src->peek() == '.') {
            tok->text += static_cast<char>(src->get());
        }
        std::string error = convert_number(tok->text, &tok->value);
        if (!error.empty()) {
            problems->push_back(syntax_error(tok->line, error));
            return false;
        }
        return true;
    }
    tok->kind = Tok::punctuator;
    tok->text = std::string(1, static_cast<char>(src->get()));
    return true;
}

bool is_punct(const Token& t, char c) {
    return t.kind == Tok::punctuator && t.text[0] == c;
}

// The parser's place: the source, the current token, and where problems go.
struct Parser {
    Source src;
    Token tok;
    std::vector<Problem>* problems;

    bool next() { return next_token(&src, &tok, problems); }
    bool expected(const std::string& what) {
        problems->push_back(
            syntax_error(tok.line, "expected " + what + ", found " + describe(tok)));
        return false;
    }
};

// unsigned int NAME [ ] = {      (any identifiers before NAME, two at least)
bool read_declaration(Parser* p) {
    if (!p->next()) return false;
    int identifiers = 0;
    while (p->tok.kind == Tok::identifier) {
        ++identifiers;
        if (!p->next()) return false;
    }
    if (identifiers < 2) return p->expected("the declaration 'unsigned int NAME[] = {'");
    for (char c : {'[', ']', '=', '{'}) {
        if (!is_punct(p->tok, c)) return p->expected(std::string("'") + c + "'");
        if (!p->next()) return false;
    }
    return true;
}

enum class ListEnd {
    closed,     // by its brace
    cut_short,  // by the end of the file: the words so far are still decoded
    broken,     // by a syntax error
};

// WORD, WORD, ... [,] }
ListEnd read_words(Parser* p, WordStream* out) {
    for (;;) {
        if (p->tok.kind == Tok::end) {
            out->end_position = p->tok.line;
            p->problems->push_back(syntax_error(
                p->tok.line, "the file ends inside the initializer list (no closing '};')"));
            return ListEnd::cut_short;
        }
        if (is_punct(p->tok, '}')) break;  // an empty list, or a comma before the brace
        if (p->tok.kind != Tok::number) {
            p->expected("a number");
            return ListEnd::broken;
        }
        out->words.push_back(p->tok.value);
        out->lines.push_back(p->tok.line);
        if (!p->next()) return ListEnd::broken;
        if (is_punct(p->tok, ',')) {
            if (!p->next()) return ListEnd::broken;
        } else if (is_punct(p->tok, '}')) {
            break;
        } else if (p->tok.kind != Tok::end) {
            p->expected("',' or '}'");
            return ListEnd::broken;
        }
    }
    out->end_position = p->tok.line;
    return ListEnd::closed;
}

// } ; and nothing more but white space and comments.
void read_closing(Parser* p) {
    if (!p->next()) return;
    if (!is_punct(p->tok, ';')) {
        p->expected("';' after '}'");
        return;
    }
    if (!p->next()) return;
    if (p->tok.kind != Tok::end) {
        p->problems->push_back(
            syntax_error(p->tok.line, "unexpected " + describe(p->tok) + " after the declaration"));
    }
}

}  // namespace

const char* program_kind(const uint8_t* data, size_t size) {
    if (size >= 22 && data[0] == 0xC2 && data[1] == 0x00 && data[20] == 0x99 && data[21] == 0x00) {
        return "a C6000 COFF2 program";
    }
    if (size >= 4 && data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F') {
        bool c6000 = size >= 20 && data[5] == 1 && data[18] == 140 && data[19] == 0;
        return c6000 ? "a C6000 ELF program" : "an ELF file";
    }
    return nullptr;
}

Encoding detect_encoding(const uint8_t* data, size_t size) {
    if (size == 0) return Encoding::binary;
    if (data[0] == 0x09 && (size == 1 || data[1] == 0x3B)) return Encoding::binary;
    for (size_t i = 0; i < size; ++i) {
        uint8_t c = data[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') {
            return Encoding::binary;
        }
    }
    return Encoding::text;
}

void read_binary(const uint8_t* data, size_t size, WordStream* out) {
    out->encoding = Encoding::binary;
    out->words.clear();
    out->lines.clear();
    out->words.reserve(size / 4);
    for (size_t i = 0; i + 4 <= size; i += 4) out->words.push_back(load_le32(data + i));
    out->stray_bytes = static_cast<uint32_t>(size % 4);
    out->end_position = size;
}

bool read_text(const uint8_t* data, size_t size, WordStream* out, std::vector<Problem>* problems) {
    out->encoding = Encoding::text;
    out->words.clear();
    out->lines.clear();
    out->stray_bytes = 0;
    out->end_position = 0;
    // A UTF-8 byte order mark, as some Windows editors write one, is skipped as
    // compilers skip it.
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
    }
    Parser p{Source(data, size), Token{}, problems};
    if (!read_declaration(&p)) return false;
    switch (read_words(&p, out)) {
        case ListEnd::broken:
            return false;
        case ListEnd::cut_short:
            return true;  // the words so far are decoded: their records tell what is missing
        case ListEnd::closed:
            break;
    }
    // The list itself is complete, so its words are decoded whatever follows.
    read_closing(&p);
    return true;
}

Image read_image(const uint8_t* data, size_t size) {
    Image image;
    if (detect_encoding(data, size) == Encoding::binary) {
        read_binary(data, size, &image.stream);
    } else if (!read_text(data, size, &image.stream, &image.problems)) {
        return image;
    }
    decode_records(&image);
    return image;
}

}  // namespace velm::dump
