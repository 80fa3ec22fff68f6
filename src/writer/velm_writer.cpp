#include "writer/velm_writer.h"

#include <cstring>

#include "core/byte_order.h"
#include "core/range.h"
#include "core/run_state.h"
#include "core/version.h"
#include "input/input.h"
#include "platform/compiler.h"
#include "platform/input_file.h"
#include "platform/memory.h"
#include "platform/path_resolve.h"
#include "platform/stream.h"
#include "writer/hex_format.h"

namespace velm {

namespace {

constexpr uint32_t kWordsPerChunk = 512;  // TEXT is formatted this many words at a time
constexpr size_t kLineRoom = 256;         // a header line pair, or a line of short texts
// A record's header lines and a chunk of its words, formatted before they are written,
// with room for a last partial word after them.
constexpr size_t kStageRoom = kLineRoom + kWordsPerChunk * kMaxTextPerWord + kLineRoom;
// A TEXT record of at most this many whole words is built straight in the output buffer
// when the buffer has room for it (a BINARY record from memory, of any size).
constexpr uint32_t kDirectWords = 64;
constexpr size_t kDirectRoom = kLineRoom + kDirectWords * kMaxTextPerWord + kLineRoom;

// The fixed texts of the TEXT encoding, with their line ends as stored.
constexpr auto kCommentOpen = line_text("\n// section '");
constexpr auto kAddressText = line_text("':  addr=");
constexpr auto kLengthText = line_text("H  len=");
constexpr auto kAttribText = line_text("H  attrib='");
constexpr auto kAttribClose = line_text("'\n     0x");
constexpr auto kNextWord = line_text(",  0x");
constexpr auto kHeaderEnd = line_text(",\n     ");
constexpr auto kLineBreak = line_text("\n     ");
// A whole line of four words, digits to be filled in at kWordDigits.
constexpr auto kWordLine = line_text("0x________,  0x________,  0x________,  0x________,  \n     ");
constexpr size_t kWordDigits[4] = {2, 15, 28, 41};
constexpr size_t kWordText = 13;  // "0x" 8 digits ",  "

Status emit(const char* begin, const char* end) {
    size_t n = static_cast<size_t>(end - begin);
    return out_write_lines(run_state.out_stream, begin, n) == n ? kOk : kWriteError;
}

template <size_t N>
Status emit(const LineText<N>& text) {
    return emit(text.text, text.text + text.size);
}

Status write_bytes(const void* bytes, size_t n) {
    return out_write(run_state.out_stream, bytes, n) == n ? kOk : kWriteError;
}

// Stages the header triple in record_header and stores its 12 bytes at `out`.
uint8_t* put_header_triple(uint8_t* out, uint32_t tag, uint32_t address, uint32_t length) {
    RunState& rs = run_state;
    rs.record_header[0] = tag;
    rs.record_header[1] = address;
    rs.record_header[2] = length;
    store_le32(out, tag);
    store_le32(out + 4, address);
    store_le32(out + 8, length);
    return out + 4 * kRecordHeaderWords;
}

// BINARY header triple or end record, written as 12 bytes.
Status write_header_triple(uint32_t tag, uint32_t address, uint32_t length) {
    uint8_t bytes[4 * kRecordHeaderWords];
    put_header_triple(bytes, tag, address, length);
    return write_bytes(bytes, sizeof bytes);
}

// The last 1 to 3 data bytes as a word whose high bytes are zero.
uint32_t partial_word(const uint8_t* bytes, uint32_t rest) {
    uint32_t word = bytes[0];
    if (rest > 1) word |= uint32_t{bytes[1]} << 8;
    if (rest > 2) word |= uint32_t{bytes[2]} << 16;
    return word;
}

// Text shown inside a // comment line: a section name (damaged files can hold any byte
// in one) or the input path. A CR or LF byte would end the comment and leave the rest of
// the line as C code: the source would not compile, or would hold words that are not in
// the image. Such a byte is shown as '?'.
struct CommentBytes {
    char shown[256];
    constexpr CommentBytes() : shown() {
        for (int i = 0; i < 256; ++i) shown[i] = static_cast<char>(i);
        shown[static_cast<unsigned char>('\r')] = '?';
        shown[static_cast<unsigned char>('\n')] = '?';
    }
};
constexpr CommentBytes kComment;

char* put_comment_text(char* out, const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) *out++ = kComment.shown[static_cast<unsigned char>(text[i])];
    return out;
}

// Copies a terminated name as put_comment_text shows it, as it measures it: `out` gets at
// most limit + 1 characters (and 8 bytes at least). Returns the name's length, more than
// `limit` for a name too long to keep. A name with `room` bytes of at least 9 readable
// (a COFF2 name, at most 8 characters and its terminator) is looked at in one 8-byte
// word, and copied as that word when it holds no CR or LF: a table of tens of thousands
// of sections makes a heading for each.
size_t put_comment_name(char* out, const char* name, size_t limit, size_t room) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHighs = 0x8080808080808080u;
    if (room >= 9) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(name);
        uint64_t w = load_le64(bytes);
        // A byte of w is zero (or CR, or LF) where this marks its high bit; the lowest mark
        // is exact, and any mark has an exact one at or below it.
        auto marks = [&](uint64_t x) { return (x - kOnes) & ~x & kHighs; };
        uint64_t zero = marks(w);
        size_t length =
            zero != 0 ? static_cast<size_t>(lowest_set_bit(zero)) / 8 : (bytes[8] == 0 ? 8 : 9);
        if (length <= 8) {
            uint64_t in_name = length == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * length)) - 1;
            uint64_t line_end = (marks(w ^ (kOnes * '\r')) | marks(w ^ (kOnes * '\n'))) & in_name;
            if (line_end == 0) {
                store_le64(reinterpret_cast<uint8_t*>(out), w);
                return length;
            }
        }
    }
    size_t i = 0;
    for (; i <= limit; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == 0) return i;
        out[i] = kComment.shown[c];
    }
    return i + std::strlen(name + i);
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
    static constexpr auto kTitle =
        line_text("// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. ");
    static constexpr auto kSource =
        line_text("\n// Copyright (C) Kestrane Systems Ltd.\n// \n// source C6xxx COFF file: ");
    static constexpr auto kFormat = line_text("\n// source file  format   : ");
    static constexpr auto kTotal = line_text("\n// total sections        : ");
    static constexpr auto kEntry = line_text("\n// entry point           : 0x");
    static constexpr auto kEnd = line_text("\n");
    static constexpr auto kOpening = line_text(
        "// \n// \n// 32-bit UNSIGNED data array derived from source C6xxx COFF file\n\n"
        "unsigned int C6XXX_VELM_DATA[] = \n{");
    const RunState& rs = run_state;
    char line[kLineRoom];
    char* p = put_lines(line, kTitle);
    p = put_text(p, kToolVersion);
    p = put_lines(p, kSource);
    Status st = emit(line, p);
    if (st == kOk) st = emit_comment_text(rs.in_path.data(), rs.in_path.size());
    if (st != kOk) return st;
    const InputDescription input = describe_input();
    p = put_lines(line, kFormat);
    p = put_text(p, input.format);
    p = put_lines(p, kTotal);
    p = put_decimal(p, input.total_sections);
    if (input.has_entry_point) {
        p = put_lines(p, kEntry);
        p = put_hex_min(p, input.entry_point);
    }
    p = put_lines(p, kEnd);
    st = emit(line, p);
    if (st != kOk) return st;
    return emit(kOpening);
}

// One whole word, word `index` of a record whose line-ending last word is `last`:
// "0x<word>,  ", laid down as 16 bytes of which the last 3 are scratch, and the line
// break after it where a line ends.
inline char* put_word_text(char* out, const uint8_t* word, uint32_t index, uint32_t last) {
    std::memcpy(out, kWordLine.text, 16);
    put_hex8_upper(out + 2, load_le32(word));
    out += kWordText;
    if (index % 4 == 3 || index == last) out = put_lines(out, kLineBreak);
    return out;
}

// Copies `size` bytes in blocks of 16, so the copy needs no call: `from` must have the
// bytes up to the next multiple of 16 and `to` room for them.
inline char* copy_blocks(char* to, const char* from, size_t size) {
    for (size_t done = 0; done < size; done += 16) std::memcpy(to + done, from + done, 16);
    return to + size;
}

// The comment line and the header line of a record from its section's heading:
//   \n// section '<name>':  addr=<address>H  len=<length>H  attrib='<text>'\n
//        0x<tag>,  0x<address>,  0x<length>,\n
// and the five spaces that start the next line. A long name has been written already.
char* put_text_header(char* p, const RecordHeading& h, uint32_t address, uint32_t length) {
    if (h.long_name == nullptr) {
        p = put_lines(p, kCommentOpen);
        p = copy_blocks(p, h.name, h.name_size);
    }
    p = put_lines(p, kAddressText);
    p = put_hex8_lower(p, address);
    p = put_lines(p, kLengthText);
    p = put_hex8_lower(p, length);
    p = put_lines(p, kAttribText);
    p = copy_blocks(p, h.attrib, h.attrib_size);
    p = put_lines(p, kAttribClose);
    std::memcpy(p, h.tag_digits, 8);
    p = put_lines(p + 8, kNextWord);
    p = put_hex8_upper(p, address);
    p = put_lines(p, kNextWord);
    p = put_hex8_upper(p, length);
    return put_lines(p, kHeaderEnd);
}

// Writes what comes before put_text_header's text: nothing, or for a long name the start
// of the comment line and the name, in pieces.
Status emit_long_name(const RecordHeading& h) {
    if (h.long_name == nullptr) return kOk;
    Status st = emit(kCommentOpen);
    return st == kOk ? emit_comment_text(h.long_name, h.long_name_size) : st;
}

// "0x<word>,\n     ": a last partial word on a line of its own.
char* put_partial_text(char* p, uint32_t word) {
    *p++ = '0';
    *p++ = 'x';
    p = put_hex8_upper(p, word);
    return put_lines(p, kHeaderEnd);
}

// Formats n whole words at `bytes` (word `index` onwards of a record) into `stage` after
// the `*end - stage` bytes already there, writing the stage out whenever a chunk fills
// it. What is left unwritten stays at the start of the stage, *end after it.
Status stage_text_words(char* stage, char** end, const uint8_t* bytes, uint32_t n, uint32_t index,
                        uint32_t whole_words, bool partial_follows) {
    char* p = *end;
    for (uint32_t done = 0; done < n;) {
        if (static_cast<size_t>(p - stage) > kLineRoom) {
            Status st = emit(stage, p);
            if (st != kOk) return st;
            p = stage;
        }
        uint32_t count = n - done < kWordsPerChunk ? n - done : kWordsPerChunk;
        p = format_text_words(p, bytes + size_t{done} * 4, count, index + done, whole_words,
                              partial_follows);
        done += count;
    }
    *end = p;
    return kOk;
}

}  // namespace

char* format_text_words(char* out, const uint8_t* bytes, uint32_t count, uint32_t first_index,
                        uint32_t whole_words, bool partial_follows) {
    // Besides every fourth word, the record's last whole word ends a line when no partial
    // word follows it; a whole line of four never holds it anywhere but at its end.
    uint32_t last = partial_follows ? 0xFFFFFFFFu : whole_words - 1;
    uint32_t i = 0;
    for (; i < count && (first_index + i) % 4 != 0; ++i) {
        out = put_word_text(out, bytes + size_t{i} * 4, first_index + i, last);
    }
    for (; count - i >= 4; i += 4) {
        const uint8_t* w = bytes + size_t{i} * 4;
        std::memcpy(out, kWordLine.text, kWordLine.size);
        for (int k = 0; k < 4; ++k) put_hex8_upper(out + kWordDigits[k], load_le32(w + 4 * k));
        out += kWordLine.size;
    }
    for (; i < count; ++i) out = put_word_text(out, bytes + size_t{i} * 4, first_index + i, last);
    return out;
}

namespace {

// The TEXT parts of a heading.
void prepare_text_heading(RecordHeading* h, uint32_t tag, const char* name, size_t name_room,
                          const char* attrib, size_t attrib_size) {
    // The name is copied as it is measured; one too long to keep is written in pieces.
    size_t name_length = put_comment_name(h->name, name, kHeadingNameSize, name_room);
    h->long_name = nullptr;
    h->long_name_size = 0;
    h->name_size = 0;
    if (name_length <= kHeadingNameSize) {
        h->name_size = name_length;
    } else {
        h->long_name = name;
        h->long_name_size = name_length;
    }
    std::memcpy(h->attrib, attrib, 16);  // a few class words, never more than 16 characters
    h->attrib_size = attrib_size;
    put_hex8_upper(h->tag_digits, tag);
}

}  // namespace

void prepare_heading(RecordHeading* h, uint32_t tag, const char* name, size_t name_room,
                     const char* attrib, size_t attrib_size) {
    h->tag = tag;
    if (!run_state.binary_mode) prepare_text_heading(h, tag, name, name_room, attrib, attrib_size);
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

Status open_output_into(OutStream* stream) {
    RunState& rs = run_state;
    rs.out_stream = stream;
    rs.data_buffer = static_cast<uint8_t*>(block_alloc(kDataBufferSize));
    if (rs.data_buffer == nullptr || rs.out_stream == nullptr) return kOutOfMemory;
    return rs.binary_mode ? kOk : write_text_prologue();
}

void stage_record_header(const uint8_t* record) {
    for (uint32_t i = 0; i < kRecordHeaderWords; ++i) {
        run_state.record_header[i] = load_le32(record + 4 * i);
    }
}

Status check_record_length(uint32_t address, uint32_t length) {
    if (length == 0 || length == 0xFFFFFFFFu) return kBadDataLength;
    if (!ends_within(address, length, 0xFFFFFFFFu)) return kAddressRangeExceeded;
    return kOk;
}

VELM_NOINLINE Status write_record(const RecordHeading& heading, uint32_t address, uint32_t length,
                                  uint32_t byte_count) {
    RunState& rs = run_state;
    char stage[kStageRoom];
    char* p = stage;
    Status st;
    if (rs.binary_mode) {
        st = write_header_triple(heading.tag, address, length);
    } else {
        st = emit_long_name(heading);
        if (st == kOk) st = emit(stage, put_text_header(stage, heading, address, length));
    }
    if (st != kOk) return st;

    uint32_t whole_words = byte_count / 4;
    uint32_t rest = byte_count % 4;
    for (uint32_t done = 0; done < whole_words;) {
        uint32_t n = whole_words - done < kPieceWords ? whole_words - done : kPieceWords;
        st = read_exact(rs.in_handle, rs.data_buffer, static_cast<int32_t>(n * 4));
        if (st != kOk) return st;
        if (rs.binary_mode) {
            st = write_bytes(rs.data_buffer, size_t{n} * 4);
        } else {
            st = stage_text_words(stage, &p, rs.data_buffer, n, done, whole_words, rest != 0);
            if (st == kOk) st = emit(stage, p);
            p = stage;
        }
        if (st != kOk) return st;
        done += n;
    }
    if (rest != 0) {
        uint8_t word[4] = {0, 0, 0, 0};
        st = read_exact(rs.in_handle, word, static_cast<int32_t>(rest));
        if (st != kOk) return st;
        if (rs.binary_mode) return write_bytes(word, 4);
        return emit(stage, put_partial_text(stage, load_le32(word)));
    }
    return kOk;
}

namespace {

// The BINARY record in parts: header, whole words, the partial word.
VELM_NOINLINE Status write_binary_parts(uint32_t tag, uint32_t address, uint32_t length,
                                        const uint8_t* bytes, uint32_t byte_count) {
    uint32_t whole_bytes = byte_count & ~3u;
    uint32_t rest = byte_count % 4;
    Status st = write_header_triple(tag, address, length);
    if (st == kOk) st = write_bytes(bytes, whole_bytes);
    if (st != kOk || rest == 0) return st;
    uint8_t word[4];
    store_le32(word, partial_word(bytes + whole_bytes, rest));
    return write_bytes(word, 4);
}

// The BINARY record, built in the output buffer where it has room.
Status write_binary_from(uint32_t tag, uint32_t address, uint32_t length, const uint8_t* bytes,
                         uint32_t byte_count) {
    uint32_t whole_bytes = byte_count & ~3u;
    uint32_t rest = byte_count % 4;
    OutStream* s = run_state.out_stream;
    size_t size = 4 * kRecordHeaderWords + whole_bytes + (rest != 0 ? 4 : 0);
    char* out = out_reserve(s, size);
    if (out == nullptr) return write_binary_parts(tag, address, length, bytes, byte_count);
    uint8_t* record = reinterpret_cast<uint8_t*>(out);
    uint8_t* p = put_binary_record(record, tag, address, length, bytes, whole_bytes);
    if (rest != 0) store_le32(p, partial_word(bytes + whole_bytes, rest));
    stage_record_header(record);
    out_commit(s, out + size);
    return kOk;
}

// The TEXT record through a stage, a chunk of words at a time.
VELM_NOINLINE Status write_text_staged(const RecordHeading& h, uint32_t address, uint32_t length,
                                       const uint8_t* bytes, uint32_t byte_count) {
    uint32_t whole_words = byte_count / 4;
    uint32_t rest = byte_count % 4;
    Status st = emit_long_name(h);
    if (st != kOk) return st;
    char stage[kStageRoom];
    char* p = put_text_header(stage, h, address, length);
    st = stage_text_words(stage, &p, bytes, whole_words, 0, whole_words, rest != 0);
    if (st != kOk) return st;
    if (rest != 0) p = put_partial_text(p, partial_word(bytes + whole_words * 4, rest));
    return emit(stage, p);
}

// The TEXT record: a short one is formatted straight into the output buffer. Flattened:
// a table of tens of thousands of sections writes one of these for each.
VELM_NOINLINE VELM_FLATTEN Status write_text_from(const RecordHeading& h, uint32_t address,
                                                  uint32_t length, const uint8_t* bytes,
                                                  uint32_t byte_count) {
    uint32_t whole_words = byte_count / 4;
    uint32_t rest = byte_count % 4;
    char* out = nullptr;
    if (h.long_name == nullptr && whole_words <= kDirectWords) {
        out = out_reserve(run_state.out_stream, kDirectRoom);
    }
    if (out == nullptr) return write_text_staged(h, address, length, bytes, byte_count);
    char* p = put_text_header(out, h, address, length);
    p = format_text_words(p, bytes, whole_words, 0, whole_words, rest != 0);
    if (rest != 0) p = put_partial_text(p, partial_word(bytes + whole_words * 4, rest));
    out_commit(run_state.out_stream, p);
    return kOk;
}

}  // namespace

Status write_record_from(const RecordHeading& heading, uint32_t address, uint32_t length,
                         const uint8_t* bytes, uint32_t byte_count) {
    if (run_state.binary_mode) {
        return write_binary_from(heading.tag, address, length, bytes, byte_count);
    }
    return write_text_from(heading, address, length, bytes, byte_count);
}

Status write_end_record() {
    if (run_state.binary_mode) return write_header_triple(kEndRecordTag, 0, 0);
    static constexpr auto kEnd = line_text(
        "\n// VELM32 termination section\n     0xFFFF3B09,  0x00000000,  0x00000000\n};\n");
    return emit(kEnd);
}

}  // namespace velm
