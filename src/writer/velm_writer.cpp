#include "writer/velm_writer.h"

#include <cstdlib>
#include <cstring>

#include "coff/classify.h"
#include "coff/loader.h"
#include "driver/run_state.h"
#include "platform/input_file.h"
#include "platform/memory.h"
#include "platform/path_resolve.h"
#include "platform/stream.h"
#include "writer/hex_format.h"

namespace velm {

namespace {

constexpr char kVersion[] = "v.1.2W";
constexpr uint32_t kWordsPerChunk = 2048;  // TEXT is formatted this many words at a time
constexpr size_t kMaxTextPerWord = 19;     // "0x" 8 digits ",  " "\n     "

// Staging area for formatted TEXT; large enough for one chunk of data words and for a
// record's comment and header lines (whose name and attribute text are bounded).
char text_buffer[kWordsPerChunk * kMaxTextPerWord + 256];

// Copies a string literal; its length is known when compiling, so nothing is measured
// per record.
template <size_t N>
char* put_literal(char* out, const char (&text)[N]) {
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

Status emit(const char* begin, const char* end) {
    size_t n = static_cast<size_t>(end - begin);
    return out_write(run_state.out_stream, begin, n) == n ? kOk : kWriteError;
}

void store_le32(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v >> 16);
    out[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t load_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// BINARY header triple or end record, staged in record_header and written as 12 bytes.
Status write_header_triple(uint32_t tag, uint32_t address, uint32_t length) {
    RunState& rs = run_state;
    rs.record_header[0] = tag;
    rs.record_header[1] = address;
    rs.record_header[2] = length;
    uint8_t bytes[12];
    for (int i = 0; i < 3; ++i) store_le32(bytes + 4 * i, rs.record_header[i]);
    return out_write(rs.out_stream, bytes, sizeof bytes) == sizeof bytes ? kOk : kWriteError;
}

// Text shown inside a // comment line: a section name (damaged files can hold any byte
// in one) or the input path. A CR or LF byte would end the comment and leave the rest of
// the line as C code: the source would not compile, or would hold words that are not in
// the image. Such a byte is shown as '?'.
char* put_comment_text(char* out, const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) *out++ = (text[i] == '\r' || text[i] == '\n') ? '?' : text[i];
    return out;
}

Status write_text_prologue() {
    const RunState& rs = run_state;
    char* p = text_buffer;
    p = put_text(p, "// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. ");
    p = put_text(p, kVersion);
    p = put_text(p, "\n// Copyright (C) Kestrane Systems Ltd.\n// \n// source C6xxx COFF file: ");
    Status st = emit(text_buffer, p);
    if (st != kOk) return st;
    // The path has no length limit: it goes out in pieces that fit the staging area.
    const size_t piece = sizeof text_buffer;
    for (size_t done = 0; done < rs.in_path.size(); done += piece) {
        size_t n = rs.in_path.size() - done < piece ? rs.in_path.size() - done : piece;
        st = emit(text_buffer, put_comment_text(text_buffer, rs.in_path.data() + done, n));
        if (st != kOk) return st;
    }
    p = text_buffer;
    p = put_text(p, "\n// source file  format   : COFF2\n// total sections        : ");
    p = put_decimal(p, rs.file_header_ref->f_nscns);
    p = put_text(p, "\n");
    if (rs.file_header_ref->f_opthdr != 0) {
        p = put_text(p, "// entry point           : 0x");
        p = put_hex_min(p, optional_header().o_entry);
        p = put_text(p, "\n");
    }
    p = put_text(p,
                 "// \n// \n// 32-bit UNSIGNED data array derived from source C6xxx COFF file\n\n"
                 "unsigned int C6XXX_VELM_DATA[] = \n{");
    return emit(text_buffer, p);
}

// The attribute text depends only on the section flags and the record name. A .cinit
// table's entries all repeat their section's, so the last one is kept.
struct AttributeText {
    bool valid = false;
    uint32_t flags = 0;
    char name[kSectionNameSize] = {};
    char text[kAttributeTextSize] = {};
    size_t length = 0;
};
AttributeText last_attribute;

const AttributeText& attribute_text(uint32_t flags, const char* name) {
    AttributeText& a = last_attribute;
    if (a.valid && a.flags == flags && std::strcmp(a.name, name) == 0) return a;
    classify_section(flags, name, a.text, nullptr);
    a.length = std::strlen(a.text);
    a.flags = flags;
    std::strncpy(a.name, name, kSectionNameSize - 1);
    a.name[kSectionNameSize - 1] = '\0';
    // A longer name (none comes here) would be kept cut, and so never match again.
    a.valid = true;
    return a;
}

// "\n// section '<name>':  addr=<8 hex>H  len=<8 hex>H  attrib='<text>'\n" and
// "     0x<tag>,  0x<address>,  0x<length>,\n     ".
Status write_text_header(uint32_t tag, uint32_t address, uint32_t length, const char* name) {
    const AttributeText& attrib = attribute_text(section_at(run_state.cur_section).s_flags, name);
    char* p = text_buffer;
    p = put_literal(p, "\n// section '");
    p = put_comment_text(p, name, std::strlen(name));
    p = put_literal(p, "':  addr=");
    p = put_hex8_lower(p, address);
    p = put_literal(p, "H  len=");
    p = put_hex8_lower(p, length);
    p = put_literal(p, "H  attrib='");
    std::memcpy(p, attrib.text, attrib.length);
    p += attrib.length;
    p = put_literal(p, "'\n     0x");
    p = put_hex8_upper(p, tag);
    p = put_literal(p, ",  0x");
    p = put_hex8_upper(p, address);
    p = put_literal(p, ",  0x");
    p = put_hex8_upper(p, length);
    p = put_literal(p, ",\n     ");
    return emit(text_buffer, p);
}

// Writes n whole words from data_buffer; `index` is the first word's index in the record.
Status write_words(uint32_t n, uint32_t index, uint32_t whole_words, bool partial_follows) {
    RunState& rs = run_state;
    if (rs.binary_mode) {
        size_t bytes = size_t{n} * 4;
        return out_write(rs.out_stream, rs.data_buffer, bytes) == bytes ? kOk : kWriteError;
    }
    for (uint32_t done = 0; done < n; done += kWordsPerChunk) {
        uint32_t count = n - done < kWordsPerChunk ? n - done : kWordsPerChunk;
        char* end = format_text_words(text_buffer, rs.data_buffer + size_t{done} * 4, count,
                                      index + done, whole_words, partial_follows);
        Status st = emit(text_buffer, end);
        if (st != kOk) return st;
    }
    return kOk;
}

}  // namespace

char* format_text_words(char* out, const uint8_t* bytes, uint32_t count, uint32_t first_index,
                        uint32_t whole_words, bool partial_follows) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t index = first_index + i;
        out[0] = '0';
        out[1] = 'x';
        out = put_hex8_upper(out + 2, load_le32(bytes + size_t{i} * 4));
        std::memcpy(out, ",  ", 3);
        out += 3;
        if (index % 4 == 3 || (index + 1 == whole_words && !partial_follows)) {
            std::memcpy(out, "\n     ", 6);
            out += 6;
        }
    }
    return out;
}

Status open_output() {
    RunState& rs = run_state;
    rs.data_buffer = static_cast<uint8_t*>(block_alloc(kDataBufferSize));
    if (rs.data_buffer == nullptr) return kOutOfMemory;
    rs.out_stream =
        out_open(native_path(rs.out_typed), rs.binary_mode == 0, in_descriptor(rs.in_handle));
    if (rs.out_stream == nullptr) return kCannotCreateOutput;
    return rs.binary_mode ? kOk : write_text_prologue();
}

Status check_record_length(uint32_t address, uint32_t length) {
    if (length == 0 || length == 0xFFFFFFFFu) return kBadDataLength;
    if (uint64_t{address} + length > 0xFFFFFFFFu) return kAddressRangeExceeded;
    return kOk;
}

Status write_record(uint32_t address, uint32_t length, uint32_t byte_count, uint32_t tag,
                    const char* name) {
    RunState& rs = run_state;
    Status st = rs.binary_mode ? write_header_triple(tag, address, length)
                               : write_text_header(tag, address, length, name);
    if (st != kOk) return st;

    uint32_t whole_words = byte_count / 4;
    uint32_t rest = byte_count % 4;
    for (uint32_t done = 0; done < whole_words;) {
        uint32_t n = whole_words - done < kPieceWords ? whole_words - done : kPieceWords;
        st = read_exact(rs.in_handle, rs.data_buffer, static_cast<int32_t>(n * 4));
        if (st != kOk) return st;
        st = write_words(n, done, whole_words, rest != 0);
        if (st != kOk) return st;
        done += n;
    }
    if (rest != 0) {
        uint8_t word[4] = {0, 0, 0, 0};
        st = read_exact(rs.in_handle, word, static_cast<int32_t>(rest));
        if (st != kOk) return st;
        if (rs.binary_mode) {
            return out_write(rs.out_stream, word, 4) == 4 ? kOk : kWriteError;
        }
        char* p = put_literal(text_buffer, "0x");
        p = put_hex8_upper(p, load_le32(word));
        p = put_literal(p, ",\n     ");
        return emit(text_buffer, p);
    }
    return kOk;
}

Status write_end_record() {
    if (run_state.binary_mode) return write_header_triple(kEndRecordTag, 0, 0);
    static const char kEnd[] =
        "\n// VELM32 termination section\n     0xFFFF3B09,  0x00000000,  0x00000000\n};\n";
    return emit(kEnd, kEnd + sizeof kEnd - 1);
}

}  // namespace velm
