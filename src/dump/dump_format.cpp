#include "dump/dump_format.h"

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

std::string position_key(const WordStream& s) {
    return s.encoding == Encoding::binary ? "byte_offset" : "line";
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

}  // namespace

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

std::string format_listing(const std::string& file, const Image& image) {
    std::string out;
    out += "file:      " + file + "\n";
    out += std::string("encoding:  ") + encoding_name(image.stream.encoding) + "\n\n";
    out += "index  kind     address     length      last        words  crc32\n";
    for (const Record& r : image.records) {
        bool end = r.kind == RecordKind::end;
        out +=
            format("%5u  %-7s  0x%08X  0x%08X  %-10s  %5u  %s\n", r.index, kind_name(r.kind),
                   r.address, r.length, end || r.length == 0 ? "-" : hex(last_address(r)).c_str(),
                   r.data_words, end ? "-" : format("0x%08X", r.crc32).c_str());
    }
    Summary sum = summarize(image);
    out += format("\nrecords:   %llu (%llu section, %llu cinit)\n", static_cast<ull>(sum.records),
                  static_cast<ull>(sum.section_records), static_cast<ull>(sum.cinit_records));
    out += format("bytes:     %llu\n", static_cast<ull>(sum.bytes));
    out += "lowest:    " + (sum.has_range ? hex(sum.lowest) : "-") + "\n";
    out += "highest:   " + (sum.has_range ? hex(sum.highest) : "-") + "\n";
    return out;
}

std::string format_json(const std::string& file, const Image& image) {
    const WordStream& s = image.stream;
    std::string out = "{\n";
    out += "  \"file\": " + json_string(file) + ",\n";
    out += std::string("  \"encoding\": \"") + encoding_name(s.encoding) + "\",\n";
    out += "  \"records\": [";
    const char* sep = "\n";
    for (const Record& r : image.records) {
        bool end = r.kind == RecordKind::end;
        out += sep;
        out += format(
            "    {\"index\": %u, \"kind\": \"%s\", \"tag\": %u, \"address\": %u, \"length\": %u, "
            "\"last\": %s, \"words\": %u, \"crc32\": %s, \"%s\": %llu}",
            r.index, kind_name(r.kind), r.tag, r.address, r.length,
            end || r.length == 0 ? "null" : std::to_string(last_address(r)).c_str(), r.data_words,
            end ? "null" : std::to_string(r.crc32).c_str(), position_key(s).c_str(),
            static_cast<ull>(word_position(s, r.first_word)));
        sep = ",\n";
    }
    out += image.records.empty() ? "],\n" : "\n  ],\n";
    Summary sum = summarize(image);
    out += format(
        "  \"summary\": {\"records\": %llu, \"section_records\": %llu, \"cinit_records\": %llu, "
        "\"bytes\": %llu, \"lowest\": %s, \"highest\": %s},\n",
        static_cast<ull>(sum.records), static_cast<ull>(sum.section_records),
        static_cast<ull>(sum.cinit_records), static_cast<ull>(sum.bytes),
        sum.has_range ? std::to_string(sum.lowest).c_str() : "null",
        sum.has_range ? std::to_string(sum.highest).c_str() : "null");
    out += "  \"problems\": [";
    sep = "\n";
    for (const Problem& p : image.problems) {
        out += sep;
        out += std::string("    {\"severity\": \"") +
               (p.severity == Severity::error ? "error" : "warning") +
               "\", \"record\": " + (p.record == 0 ? "null" : std::to_string(p.record)) + ", \"" +
               position_key(s) + "\": " + (p.has_position ? std::to_string(p.position) : "null") +
               ", \"message\": " + json_string(p.message) + "}";
        sep = ",\n";
    }
    out += image.problems.empty() ? "]\n" : "\n  ]\n";
    return out + "}\n";
}

std::string format_problem(const std::string& file, const Problem& problem) {
    return "velm_dump: " + file +
           (problem.severity == Severity::error ? ": error: " : ": warning: ") + problem.message +
           "\n";
}

std::string format_diff(const std::vector<Difference>& differences) {
    std::string out;
    unsigned removed = 0;
    unsigned changed = 0;
    unsigned added = 0;
    for (const Difference& d : differences) {
        if (d.change == Change::removed || d.change == Change::added) {
            const Record& r = d.change == Change::removed ? *d.a : *d.b;
            ++(d.change == Change::removed ? removed : added);
            out += format("%-7s  %-7s  %s  %u bytes, crc32 0x%08X\n",
                          d.change == Change::removed ? "removed" : "added", kind_name(r.kind),
                          range_text(r).c_str(), r.length, r.crc32);
            continue;
        }
        ++changed;
        std::string what;
        auto part = [&](const std::string& text) { what += (what.empty() ? "" : "; ") + text; };
        if (d.kind_differs)
            part(std::string("kind ") + kind_name(d.a->kind) + " -> " + kind_name(d.b->kind));
        if (d.length_differs) part("length " + hex(d.a->length) + " -> " + hex(d.b->length));
        if (d.data_differ) part("data differ from " + hex(d.first_difference));
        if (d.a->crc32 != d.b->crc32) {
            what += format(" (crc32 0x%08X -> 0x%08X)", d.a->crc32, d.b->crc32);
        }
        out += format("changed  %-7s  %s  %s\n", kind_name(d.a->kind), range_text(*d.a).c_str(),
                      what.c_str());
    }
    if (!differences.empty()) {
        out += format("%u changed, %u removed, %u added\n", changed, removed, added);
    }
    return out;
}

}  // namespace velm::dump
