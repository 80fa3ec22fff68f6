#include "writer/velm_writer.h"

#include <cstring>

#include "core/byte_order.h"
#include "core/range.h"
#include "core/run_state.h"
#include "core/version.h"
#include "input/input.h"
#include "platform/input_file.h"
#include "platform/memory.h"
#include "platform/path_resolve.h"
#include "platform/stream.h"
#include "writer/hex_format.h"

namespace velm {

namespace {

constexpr uint32_t kWordsPerChunk = 2048;  // TEXT is formatted this many words at a time
constexpr size_t kLineRoom = 256;          // a header line's fixed parts and short texts
constexpr size_t kInlineText = 64;         // longer names go out in pieces of their own

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

// BINARY header triple or end record, staged in record_header and written as 12 bytes.
Status write_header_triple(uint32_t tag, uint32_t address, uint32_t length) {
    RunState& rs = run_state;
    rs.record_header[0] = tag;
    rs.record_header[1] = address;
    rs.record_header[2] = length;
    uint8_t bytes[4 * kRecordHeaderWords];
    for (uint32_t i = 0; i < kRecordHeaderWords; ++i)
        store_le32(bytes + 4 * i, rs.record_header[i]);
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

// The same for a text of any length, written out in pieces.
Status emit_comment_text(const char* text, size_t n) {
    char piece[kLineRoom];
    for (size_t done = 0; done < n; done += sizeof piece) {
        size_t take = n - done < sizeof piece ? n - done : sizeof piece;
        Status st = emit(piece, put_comment_text(piece, text + done, take));
        if (st != kOk) return st;
    }
    return kOk;
}

Status write_text_prologue() {
    const RunState& rs = run_state;
    char line[kLineRoom];
    char* p = put_literal(line, "// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. ");
    p = put_text(p, kToolVersion);
    p = put_literal(p,
                    "\n// Copyright (C) Kestrane Systems Ltd.\n// \n// source C6xxx COFF file: ");
    Status st = emit(line, p);
    if (st == kOk) st = emit_comment_text(rs.in_path.data(), rs.in_path.size());
    if (st != kOk) return st;
    const InputDescription input = describe_input();
    p = put_literal(line, "\n// source file  format   : ");
    p = put_text(p, input.format);
    p = put_literal(p, "\n// total sections        : ");
    p = put_decimal(p, input.total_sections);
    p = put_literal(p, "\n");
    if (input.has_entry_point) {
        p = put_literal(p, "// entry point           : 0x");
        p = put_hex_min(p, input.entry_point);
        p = put_literal(p, "\n");
    }
    st = emit(line, p);
    if (st != kOk) return st;
    static const char kOpening[] =
        "// \n// \n// 32-bit UNSIGNED data array derived from source C6xxx COFF file\n\n"
        "unsigned int C6XXX_VELM_DATA[] = \n{";
    return emit(kOpening, kOpening + sizeof kOpening - 1);
}

// "\n// section '<name>':  addr=<8 hex>H  len=<8 hex>H  attrib='<text>'\n" and
// "     0x<tag>,  0x<address>,  0x<length>,\n     ", in one write for the usual short
// name.
Status write_text_header(uint32_t tag, uint32_t address, uint32_t length, const char* name,
                         const char* attrib) {
    char line[kLineRoom];
    char* p = put_literal(line, "\n// section '");
    size_t name_length = std::strlen(name);
    if (name_length <= kInlineText) {
        p = put_comment_text(p, name, name_length);
    } else {
        Status st = emit(line, p);
        if (st == kOk) st = emit_comment_text(name, name_length);
        if (st != kOk) return st;
        p = line;
    }
    p = put_literal(p, "':  addr=");
    p = put_hex8_lower(p, address);
    p = put_literal(p, "H  len=");
    p = put_hex8_lower(p, length);
    p = put_literal(p, "H  attrib='");
    p = put_text(p, attrib);  // a few class words, never more than 16 characters
    p = put_literal(p, "'\n     0x");
    p = put_hex8_upper(p, tag);
    p = put_literal(p, ",  0x");
    p = put_hex8_upper(p, address);
    p = put_literal(p, ",  0x");
    p = put_hex8_upper(p, length);
    p = put_literal(p, ",\n     ");
    return emit(line, p);
}

// Formats n whole words from data_buffer as TEXT; `index` is the first word's index in
// the record. The staging area lives on this function's stack, which only the TEXT
// encoding enters.
Status write_text_words(uint32_t n, uint32_t index, uint32_t whole_words, bool partial_follows) {
    char text[kWordsPerChunk * kMaxTextPerWord];
    for (uint32_t done = 0; done < n; done += kWordsPerChunk) {
        uint32_t count = n - done < kWordsPerChunk ? n - done : kWordsPerChunk;
        char* end = format_text_words(text, run_state.data_buffer + size_t{done} * 4, count,
                                      index + done, whole_words, partial_follows);
        Status st = emit(text, end);
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
    if (!ends_within(address, length, 0xFFFFFFFFu)) return kAddressRangeExceeded;
    return kOk;
}

Status write_record(uint32_t address, uint32_t length, uint32_t byte_count, uint32_t tag,
                    const char* name, const char* attrib) {
    RunState& rs = run_state;
    Status st = rs.binary_mode ? write_header_triple(tag, address, length)
                               : write_text_header(tag, address, length, name, attrib);
    if (st != kOk) return st;

    uint32_t whole_words = byte_count / 4;
    uint32_t rest = byte_count % 4;
    for (uint32_t done = 0; done < whole_words;) {
        uint32_t n = whole_words - done < kPieceWords ? whole_words - done : kPieceWords;
        st = read_exact(rs.in_handle, rs.data_buffer, static_cast<int32_t>(n * 4));
        if (st != kOk) return st;
        if (rs.binary_mode) {
            size_t bytes = size_t{n} * 4;
            st = out_write(rs.out_stream, rs.data_buffer, bytes) == bytes ? kOk : kWriteError;
        } else {
            st = write_text_words(n, done, whole_words, rest != 0);
        }
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
        char line[kLineRoom];
        char* p = put_literal(line, "0x");
        p = put_hex8_upper(p, load_le32(word));
        p = put_literal(p, ",\n     ");
        return emit(line, p);
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
