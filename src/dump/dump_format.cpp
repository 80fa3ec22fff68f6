#include "dump/dump_format.h"

#include <cstdio>
#include <cstring>

#include "dump/printf_string.h"

namespace velm::dump {

namespace {

using ull = unsigned long long;

std::string hex(uint64_t v) {
    return format("0x%08llX", static_cast<ull>(v));
}

std::string range_text(const Record& r) {
    if (r.length == 0) return hex(r.address) + "..-";
    return hex(r.address) + ".." + hex(last_address(r));
}

const char* encoding_name(Encoding e) {
    return e == Encoding::binary ? "BINARY" : "TEXT";
}

const char* position_key(Encoding e) {
    return e == Encoding::binary ? "byte_offset" : "line";
}

// Length of the valid UTF-8 sequence at text[i], or 0 when there is none.
size_t utf8_sequence(const std::string& text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    size_t n;
    uint32_t min;
    uint32_t cp;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) {
        n = 2, min = 0x80, cp = c & 0x1Fu;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, min = 0x800, cp = c & 0x0Fu;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, min = 0x10000, cp = c & 0x07u;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3Fu);
    }
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are not UTF-8.
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return n;
}

// A record line is formatted by hand: a listing of millions of records would otherwise
// spend its time in printf.
struct Line {
    char text[384];
    char* p = text;

    void put(const char* s) {
        while (*s != '\0') *p++ = *s++;
    }
    void pad(const char* from, size_t width) {  // spaces up to `width` since `from`
        while (static_cast<size_t>(p - from) < width) *p++ = ' ';
    }
    void decimal(uint64_t v) {
        char digits[20];
        size_t n = 0;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0) *p++ = digits[--n];
    }
    void decimal_right(uint64_t v, size_t width) {  // as "%5u"
        char* from = p;
        decimal(v);
        const size_t n = static_cast<size_t>(p - from);
        if (n >= width) return;
        std::memmove(from + (width - n), from, n);
        std::memset(from, ' ', width - n);
        p = from + width;
    }
    void hex8(uint32_t v) {  // as "0x%08X"
        static const char kDigits[] = "0123456789ABCDEF";
        *p++ = '0';
        *p++ = 'x';
        for (int shift = 28; shift >= 0; shift -= 4) *p++ = kDigits[(v >> shift) & 0xFu];
    }
    size_t size() const { return static_cast<size_t>(p - text); }
};

bool append_to_string(void* ctx, const char* p, size_t n, std::string*) {
    static_cast<std::string*>(ctx)->append(p, n);
    return true;
}

}  // namespace

void string_sink(OutSink* sink, std::string* text) {
    sink->write = append_to_string;
    sink->ctx = text;
}

bool flush(OutSink* sink) {
    if (sink->used > 0 && !sink->failed) {
        sink->failed = !sink->write(sink->ctx, sink->buf, sink->used, &sink->error);
    }
    sink->used = 0;
    return !sink->failed;
}

void put(OutSink* sink, const char* p, size_t n) {
    while (n > 0) {
        if (sink->used == sizeof sink->buf) flush(sink);
        const size_t take = std::min(n, sizeof sink->buf - sink->used);
        std::memcpy(sink->buf + sink->used, p, take);
        sink->used += take;
        p += take;
        n -= take;
    }
}

void put(OutSink* sink, const std::string& text) {
    put(sink, text.data(), text.size());
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            out += format("\\u%04X", c);
            ++i;
        } else {
            size_t n = utf8_sequence(text, i);
            if (n == 0) {
                out += "\\uFFFD";
                ++i;
            } else {
                out.append(text, i, n);
                i += n;
            }
        }
    }
    return out + "\"";
}

void put_listing_start(OutSink* sink, const std::string& file, Encoding encoding) {
    put(sink, "file:      " + file + "\n");
    put(sink, std::string("encoding:  ") + encoding_name(encoding) + "\n\n");
    put(sink, "index  kind     address     length      last        words  crc32\n");
}

void put_listing_record(OutSink* sink, uint32_t index, const Record& r) {
    // "%5u  %-7s  0x%08X  0x%08X  %-10s  %5u  %s\n"
    const bool end = kind_of(r) == RecordKind::end;
    Line l;
    l.decimal_right(index, 5);
    l.put("  ");
    char* from = l.p;
    l.put(kind_name(kind_of(r)));
    l.pad(from, 7);
    l.put("  ");
    l.hex8(r.address);
    l.put("  ");
    l.hex8(r.length);
    l.put("  ");
    from = l.p;
    if (end || r.length == 0) {
        l.put("-");
    } else if (last_address(r) > 0xFFFFFFFFu) {
        l.put(hex(last_address(r)).c_str());
    } else {
        l.hex8(static_cast<uint32_t>(last_address(r)));
    }
    l.pad(from, 10);
    l.put("  ");
    l.decimal_right(data_words_of(r), 5);
    l.put("  ");
    if (end) {
        l.put("-");
    } else {
        l.hex8(r.crc32);
    }
    l.put("\n");
    put(sink, l.text, l.size());
}

void put_listing_end(OutSink* sink, const Summary& sum) {
    put(sink,
        format("\nrecords:   %llu (%llu section, %llu cinit)\n", static_cast<ull>(sum.records),
               static_cast<ull>(sum.section_records), static_cast<ull>(sum.cinit_records)));
    put(sink, format("bytes:     %llu\n", static_cast<ull>(sum.bytes)));
    put(sink, "lowest:    " + (sum.has_range ? hex(sum.lowest) : "-") + "\n");
    put(sink, "highest:   " + (sum.has_range ? hex(sum.highest) : "-") + "\n");
}

void put_json_start(OutSink* sink, const std::string& file, Encoding encoding) {
    put(sink, "{\n  \"file\": " + json_string(file) + ",\n");
    put(sink, std::string("  \"encoding\": \"") + encoding_name(encoding) + "\",\n");
    put(sink, "  \"records\": [");
}

void put_json_record(OutSink* sink, Encoding encoding, uint32_t index, const Record& r,
                     bool first) {
    const bool end = kind_of(r) == RecordKind::end;
    Line l;
    l.put(first ? "\n" : ",\n");
    l.put("    {\"index\": ");
    l.decimal(index);
    l.put(", \"kind\": \"");
    l.put(kind_name(kind_of(r)));
    l.put("\", \"tag\": ");
    l.decimal(tag_of(kind_of(r)));
    l.put(", \"address\": ");
    l.decimal(r.address);
    l.put(", \"length\": ");
    l.decimal(r.length);
    l.put(", \"last\": ");
    if (end || r.length == 0) {
        l.put("null");
    } else {
        l.decimal(last_address(r));
    }
    l.put(", \"words\": ");
    l.decimal(data_words_of(r));
    l.put(", \"crc32\": ");
    if (end) {
        l.put("null");
    } else {
        l.decimal(r.crc32);
    }
    l.put(", \"");
    l.put(position_key(encoding));
    l.put("\": ");
    l.decimal(position_of(r));
    l.put("}");
    put(sink, l.text, l.size());
}

void put_json_summary(OutSink* sink, bool any_records, const Summary& sum) {
    put(sink, any_records ? "\n  ],\n" : "],\n");
    put(sink,
        format("  \"summary\": {\"records\": %llu, \"section_records\": %llu, "
               "\"cinit_records\": %llu, \"bytes\": %llu, \"lowest\": %s, \"highest\": %s},\n",
               static_cast<ull>(sum.records), static_cast<ull>(sum.section_records),
               static_cast<ull>(sum.cinit_records), static_cast<ull>(sum.bytes),
               sum.has_range ? std::to_string(sum.lowest).c_str() : "null",
               sum.has_range ? std::to_string(sum.highest).c_str() : "null"));
    put(sink, "  \"problems\": [");
}

void put_json_problem(OutSink* sink, Encoding encoding, const Problem& p, bool first) {
    put(sink, std::string(first ? "\n" : ",\n") + "    {\"severity\": \"" +
                  (p.severity == Severity::error ? "error" : "warning") +
                  "\", \"record\": " + (p.record == 0 ? "null" : std::to_string(p.record)) +
                  ", \"" + position_key(encoding) +
                  "\": " + (p.has_position ? std::to_string(p.position) : "null") +
                  ", \"message\": " + json_string(p.message) + "}");
}

void put_json_end(OutSink* sink, bool any_problems) {
    put(sink, any_problems ? "\n  ]\n}\n" : "]\n}\n");
}

void put_problem(OutSink* sink, const std::string& file, const Problem& problem) {
    put(sink, "velm_dump: " + file +
                  (problem.severity == Severity::error ? ": error: " : ": warning: ") +
                  problem.message + "\n");
}

void put_difference(OutSink* sink, const Difference& d, DiffCounts* counts) {
    if (d.change == Change::removed || d.change == Change::added) {
        const Record& r = d.change == Change::removed ? *d.a : *d.b;
        ++(d.change == Change::removed ? counts->removed : counts->added);
        put(sink, format("%-7s  %-7s  %s  %u bytes, crc32 0x%08X\n",
                         d.change == Change::removed ? "removed" : "added", kind_name(kind_of(r)),
                         range_text(r).c_str(), r.length, r.crc32));
        return;
    }
    ++counts->changed;
    std::string what;
    auto part = [&](const std::string& text) { what += (what.empty() ? "" : "; ") + text; };
    if (d.kind_differs) {
        part(std::string("kind ") + kind_name(kind_of(*d.a)) + " -> " + kind_name(kind_of(*d.b)));
    }
    if (d.length_differs) part("length " + hex(d.a->length) + " -> " + hex(d.b->length));
    if (d.data_differ) part("data differ from " + hex(d.first_difference));
    if (d.a->crc32 != d.b->crc32) {
        what += format(" (crc32 0x%08X -> 0x%08X)", d.a->crc32, d.b->crc32);
    }
    put(sink, format("changed  %-7s  %s  %s\n", kind_name(kind_of(*d.a)), range_text(*d.a).c_str(),
                     what.c_str()));
}

void put_diff_counts(OutSink* sink, const DiffCounts& c) {
    if (c.changed + c.removed + c.added == 0) return;
    put(sink, format("%u changed, %u removed, %u added\n", c.changed, c.removed, c.added));
}

std::string format_listing(const std::string& file, const Image& image) {
    std::string text;
    OutSink sink;
    string_sink(&sink, &text);
    put_listing_start(&sink, file, image.encoding);
    for (uint32_t i = 0; i < image.records.size(); ++i)
        put_listing_record(&sink, i + 1, image.records[i]);
    put_listing_end(&sink, summarize(image.records));
    flush(&sink);
    return text;
}

std::string format_json(const std::string& file, const Image& image) {
    std::string text;
    OutSink sink;
    string_sink(&sink, &text);
    put_json_start(&sink, file, image.encoding);
    for (uint32_t i = 0; i < image.records.size(); ++i) {
        put_json_record(&sink, image.encoding, i + 1, image.records[i], i == 0);
    }
    put_json_summary(&sink, !image.records.empty(), summarize(image.records));
    for (size_t i = 0; i < image.problems.size(); ++i) {
        put_json_problem(&sink, image.encoding, image.problems[i], i == 0);
    }
    put_json_end(&sink, !image.problems.empty());
    flush(&sink);
    return text;
}

std::string format_problem(const std::string& file, const Problem& problem) {
    std::string text;
    OutSink sink;
    string_sink(&sink, &text);
    put_problem(&sink, file, problem);
    flush(&sink);
    return text;
}

std::string format_diff(const std::vector<Difference>& differences) {
    std::string text;
    OutSink sink;
    string_sink(&sink, &text);
    DiffCounts counts;
    for (const Difference& d : differences) put_difference(&sink, d, &counts);
    put_diff_counts(&sink, counts);
    flush(&sink);
    return text;
}

}  // namespace velm::dump
