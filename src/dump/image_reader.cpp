#include "dump/image_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "core/byte_order.h"
#include "dump/crc32.h"
#include "dump/printf_string.h"
#include "velm_boot.h"

namespace velm::dump {

namespace {

constexpr size_t kWindow = 256 * 1024;
constexpr size_t kHead = 64;  // read before deciding: enough for both program headers

Problem make_problem(Severity severity, uint32_t record, bool has_position, uint64_t position,
                     std::string message) {
    Problem p;
    p.severity = severity;
    p.record = record;
    p.has_position = has_position;
    p.position = position;
    p.message = std::move(message);
    return p;
}

// "1 byte", "2 bytes".
std::string count(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

RecordKind kind_of_tag(uint32_t tag) {
    return tag == kEndRecordTag     ? RecordKind::end
           : tag == kCinitRecordTag ? RecordKind::cinit
                                    : RecordKind::section;
}

// The problem of a record whose header breaks velm_boot's rule (`check`).
std::string record_problem(Encoding encoding, uint32_t index, RecordKind kind, uint64_t position,
                           uint32_t address, uint32_t length, int check) {
    const std::string at = position_text(encoding, position);
    if (kind == RecordKind::end) {
        return format(
            "end record (record %u) at %s: address 0x%08X and length 0x%08X must both be 0", index,
            at.c_str(), address, length);
    }
    const std::string named = format("record %u (%s) at %s", index, kind_name(kind), at.c_str());
    if (check == VELM_ERR_BAD_LENGTH) {
        return format("%s: invalid length 0x%08X", named.c_str(), length);
    }
    // The last byte may lie at 0xFFFFFFFE at the highest.
    const uint64_t last = static_cast<uint64_t>(address) + length - 1;
    if (last > 0xFFFFFFFFu) {
        return format("%s: address range 0x%08X..0x%09llX passes 0xFFFFFFFF", named.c_str(),
                      address, static_cast<unsigned long long>(last));
    }
    return format("%s: address range 0x%08X..0xFFFFFFFF reaches 0xFFFFFFFF", named.c_str(),
                  address);
}

}  // namespace

// ---- the record decoder ------------------------------------------------------------------

// The state of one pass over the record stream, fed BINARY bytes or TEXT words in file
// order. A record enters the table once its last data word has come.
struct Decoder {
    enum class Phase { header, data, after_end, stopped };
    ImageRead* out = nullptr;
    Encoding encoding = Encoding::binary;
    bool crc = true;
    bool plain = false;  // BINARY without a table or CRCs: see pass_plain_records
    bool out_of_memory = false;
    bool again = false;  // without a table: a record came out of address order
    // Without a table: the overlap sweep as the records come.
    bool swept = false;     // a record with bytes has come
    uint32_t previous = 0;  // its address
    uint64_t reach = 0;     // the highest last address so far, and its record
    ImageRead::Noted reaching = {0, Record()};
    Phase phase = Phase::header;
    uint32_t index = 0;  // records begun
    // The record being read.
    uint8_t header_bytes[12] = {};  // BINARY
    uint32_t header_words[3] = {};  // TEXT
    uint32_t header_have = 0;       // bytes (BINARY) or words (TEXT) of its header so far
    uint64_t position = 0;          // of its tag
    uint64_t resume = 0;
    RecordKind kind = RecordKind::section;
    // Built when its header has come, and copied into the table (or noted) whole when its
    // data have: reading back the fields one by one stalls on the stores just made.
    Record current = {};
    int check = VELM_OK;      // velm_check_record's verdict on its header
    uint64_t data_total = 0;  // data announced: bytes (BINARY, 4 a word) or words (TEXT)
    uint64_t data_left = 0;
    uint32_t crc_left = 0;  // data bytes not yet in the CRC (the rounding bytes never are)
    uint32_t crc_state = 0;
    // After the end record.
    uint64_t after = 0;  // bytes (BINARY) or words (TEXT)
    uint64_t after_position = 0;
    uint64_t offset = 0;  // BINARY: file offset of the next byte
};

namespace {

void add_tail(Decoder* d, uint32_t record, uint64_t position, std::string message) {
    d->out->tail.push_back(
        make_problem(Severity::error, record, true, position, std::move(message)));
    d->out->errors = true;
}

std::string at(const Decoder* d, uint64_t position) {
    return position_text(d->encoding, position);
}

void start_record(Decoder* d, uint64_t position, uint64_t resume) {
    ++d->index;
    d->position = position;
    d->resume = resume;
}

// The tag of the record begun. False (decoding stops) when it is unknown.
bool tag_arrived(Decoder* d, uint32_t tag) {
    if (velm_check_record(tag, 0, 0) == VELM_ERR_UNKNOWN_TAG) {
        add_tail(d, d->index, d->position,
                 format("record %u at %s: unknown tag 0x%08X", d->index, at(d, d->position).c_str(),
                        tag));
        d->phase = Decoder::Phase::stopped;
        return false;
    }
    d->kind = kind_of_tag(tag);
    return true;
}

// Far below what a table of the records would take: past it, reading again with the
// table is cheaper than noting more.
constexpr size_t kNotedLimit = size_t{1} << 20;

// Without a table: notes the record if a problem names it, and sweeps it for overlaps.
void note_record(Decoder* d, const Record& r) {
    ImageRead* out = d->out;
    const uint32_t i = d->index - 1;
    if (d->check != VELM_OK) {
        out->noted.push_back({i, r});
        out->errors = true;
    }
    if (kind_of(r) != RecordKind::end && r.length > 0) {
        if (d->swept && r.address < d->previous) d->again = true;
        if (d->swept && r.address <= d->reach) {
            out->overlapping.push_back(d->reaching);
            out->overlapping.push_back({i, r});
            out->warnings = true;
        }
        if (!d->swept || last_address(r) > d->reach) {
            d->reach = last_address(r);
            d->reaching = {i, r};
        }
        d->previous = r.address;
        d->swept = true;
    }
    if (out->noted.size() + out->overlapping.size() > kNotedLimit) d->again = true;
    if (d->again) {
        d->phase = Decoder::Phase::stopped;
        return;
    }
    d->phase = d->kind == RecordKind::end ? Decoder::Phase::after_end : Decoder::Phase::header;
}

void complete_record(Decoder* d) {
    Record r = d->current;
    r.crc32 = d->crc ? crc32_end(d->crc_state) : 0;
    if (d->out->tableless) {
        note_record(d, r);
        return;
    }
    if (!d->out->records.append(r)) {
        d->out_of_memory = true;
        d->phase = Decoder::Phase::stopped;
        return;
    }
    if (d->check != VELM_OK) {
        ++d->out->record_problems;
        d->out->errors = true;
    }
    d->phase = d->kind == RecordKind::end ? Decoder::Phase::after_end : Decoder::Phase::header;
}

// The rest of the header of a record whose tag is known; `check` is velm_check_record's
// verdict on the whole header.
void header_arrived(Decoder* d, uint32_t address, uint32_t length, int check) {
    d->current = make_record(d->kind, d->position, d->resume, address, length);
    d->check = check;
    if (d->kind == RecordKind::end) {
        d->after = 0;
        complete_record(d);
        return;
    }
    if (length == 0xFFFFFFFFu) {
        // With 0xFFFFFFFF announced, where the next record starts is anybody's guess.
        add_tail(
            d, d->index, d->position,
            record_problem(d->encoding, d->index, d->kind, d->position, address, length, d->check));
        d->phase = Decoder::Phase::stopped;
        return;
    }
    const uint64_t words = (static_cast<uint64_t>(length) + 3) / 4;
    d->data_total = d->encoding == Encoding::binary ? 4 * words : words;
    d->data_left = d->data_total;
    d->crc_left = length;
    d->crc_state = crc32_begin();
    if (d->data_left == 0) {
        complete_record(d);
    } else {
        d->phase = Decoder::Phase::data;
    }
}

const char* end_of_data(const Decoder* d) {
    return d->encoding == Encoding::binary ? "the end of the file"
                                           : "the end of the initializer list";
}

// The file or the list has ended (at byte offset d->offset, or on line `end_line`).
void finish(Decoder* d, uint64_t end_line) {
    const bool binary = d->encoding == Encoding::binary;
    const uint64_t end = binary ? d->offset : end_line;
    switch (d->phase) {
        case Decoder::Phase::header:
            if (d->header_have == 0) {
                std::string text;
                if (d->index == 0 && binary) {
                    text = "no end record: the file is empty";
                } else if (d->index == 0) {
                    text = format("no end record: the initializer list ending at %s is empty",
                                  at(d, end).c_str());
                } else {
                    text = format("no end record: %s at %s, after record %u",
                                  binary ? "the file ends" : "the initializer list ends",
                                  at(d, end).c_str(), d->index);
                }
                add_tail(d, 0, end, text);
            } else {
                std::string have = binary ? format("%u of 12 bytes", d->header_have)
                                          : format("%u of 3 words", d->header_have);
                add_tail(d, d->index, d->position,
                         format("record %u at %s: header cut short by %s: %s present", d->index,
                                at(d, d->position).c_str(), end_of_data(d), have.c_str()));
            }
            break;
        case Decoder::Phase::data: {
            if (d->check != VELM_OK) {
                add_tail(d, d->index, d->position,
                         record_problem(d->encoding, d->index, d->kind, d->position,
                                        d->current.address, d->current.length, d->check));
            }
            const uint64_t words = (static_cast<uint64_t>(d->current.length) + 3) / 4;
            const uint64_t present = d->data_total - d->data_left;
            const std::string announced = count(words, "data word", "data words");
            const std::string have =
                binary ? format("%s (%llu bytes) announced, %s present", announced.c_str(),
                                static_cast<unsigned long long>(4 * words),
                                count(present, "byte", "bytes").c_str())
                       : format("%s announced, %llu present", announced.c_str(),
                                static_cast<unsigned long long>(present));
            add_tail(d, d->index, d->position,
                     format("record %u (%s, address 0x%08X, length 0x%08X) at %s: cut short by "
                            "%s: %s",
                            d->index, kind_name(d->kind), d->current.address, d->current.length,
                            at(d, d->position).c_str(), end_of_data(d), have.c_str()));
            break;
        }
        case Decoder::Phase::after_end:
            if (d->after > 0) {
                const std::string more = binary ? count(d->after, "more byte", "more bytes")
                                                : count(d->after, "more word", "more words");
                const uint64_t from = binary ? d->position + 12 : d->after_position;
                add_tail(d, d->index, from,
                         format("end record (record %u) at %s is followed by %s, from %s", d->index,
                                at(d, d->position).c_str(), more.c_str(), at(d, from).c_str()));
            }
            break;
        case Decoder::Phase::stopped:
            break;
    }
}

// Words a TEXT decoder needs only counted from here: data words whose CRC is not wanted,
// and anything after the end record but the first word's line.
uint64_t countable(const Decoder* d) {
    if (d->phase == Decoder::Phase::data && !d->crc) return d->data_left;
    if (d->phase == Decoder::Phase::after_end && d->after > 0) return UINT64_MAX;
    if (d->phase == Decoder::Phase::stopped) return UINT64_MAX;
    return 0;
}

// TEXT: a batch of words from the initializer list.
uint64_t text_words(void* ctx, const TextWords& batch) {
    Decoder* d = static_cast<Decoder*>(ctx);
    if (batch.counted > 0) {
        if (d->phase == Decoder::Phase::data) {
            d->data_left -= batch.counted;
            if (d->data_left == 0) complete_record(d);
        } else if (d->phase == Decoder::Phase::after_end) {
            d->after += batch.counted;
        }
    }
    size_t i = 0;
    while (i < batch.count) {
        switch (d->phase) {
            case Decoder::Phase::header:
                if (d->header_have == 0) {
                    start_record(d, batch.line[i], batch.offset[i]);
                    if (!tag_arrived(d, batch.value[i])) return countable(d);
                }
                d->header_words[d->header_have++] = batch.value[i++];
                if (d->header_have == 3) {
                    d->header_have = 0;
                    const uint32_t* h = d->header_words;
                    header_arrived(d, h[1], h[2], velm_check_record(h[0], h[1], h[2]));
                }
                break;
            case Decoder::Phase::data: {
                const size_t take =
                    static_cast<size_t>(std::min<uint64_t>(d->data_left, batch.count - i));
                if (d->crc && d->crc_left > 0) {
                    uint8_t bytes[4 * TextWords::kMax];
                    for (size_t k = 0; k < take; ++k) store_le32(bytes + 4 * k, batch.value[i + k]);
                    const size_t n = std::min<size_t>(4 * take, d->crc_left);
                    d->crc_state = crc32_update(d->crc_state, bytes, n);
                    d->crc_left -= static_cast<uint32_t>(n);
                }
                i += take;
                d->data_left -= take;
                if (d->data_left == 0) complete_record(d);
                break;
            }
            case Decoder::Phase::after_end:
                if (d->after == 0) d->after_position = batch.line[i];
                d->after += batch.count - i;
                return countable(d);
            case Decoder::Phase::stopped:
                return countable(d);
        }
    }
    return countable(d);
}

// Where the first token of a C source would start: after an optional byte order mark
// and white space. It must be a comment, a line splice or the first identifier of the
// declaration.
size_t first_token(const uint8_t* data, size_t size) {
    size_t i = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF ? 3 : 0;
    while (i < size && (data[i] == ' ' || (data[i] >= '\t' && data[i] <= '\r'))) ++i;
    return i;
}

// Why an encoding was taken when the file's start did not decide it.
std::string reason_binary_assumed(const uint8_t* data, size_t size) {
    const size_t at = first_token(data, size);
    return format(
        "read as BINARY: the file starts with neither the bytes 09 3B of a BINARY "
        "image nor C source text (byte 0x%02X at byte offset %llu)",
        data[at], static_cast<unsigned long long>(at));
}

const char* reason_text() {
    return "read as TEXT: the file starts with text, not with the bytes 09 3B of a BINARY "
           "image, but holds no C declaration";
}

}  // namespace

Decoder* decoder_new(ImageRead* out, Encoding encoding, bool crc) {
    Decoder* d = new (std::nothrow) Decoder;
    if (d == nullptr) return nullptr;
    d->out = out;
    d->encoding = encoding;
    d->crc = crc;
    d->plain = encoding == Encoding::binary && out->tableless && !crc;
    return d;
}

bool decoder_out_of_memory(const Decoder* d) {
    return d->out_of_memory;
}

void decoder_free(Decoder* d) {
    delete d;
}

namespace {

// Without a table or CRCs (--check of a file), a record that is sound, in address order
// and overlaps no record before it leaves nothing behind but where the overlap sweep
// stands. Every record c6x_velm writes is of this kind, and a .cinit table gives
// hundreds of thousands of them, 16 bytes each. So while such records lie whole, header
// and data, in the bytes at hand, they are passed over here, and only the last one's
// header is decoded again for the sweep. Anything else (a record with a problem, the end
// record, one out of order or overlapping, one running past these bytes) ends the loop
// and goes the general way, one record at a time, which would have said the same of the
// records passed here. Returns the bytes passed.
//
// Records come in runs of one length (a .cinit table of scalars gives a record per
// 4-byte word). Within a run the next header's place is known before this one's length
// has been loaded, so the processor reads the headers ahead instead of waiting for each
// length in turn, which takes about three times as long.
size_t pass_plain_records(Decoder* d, const uint8_t* p, size_t n) {
    if (!d->plain || !d->swept) return 0;
    uint64_t reach = d->reach;
    size_t at = 0;
    size_t last = 0;
    uint32_t passed = 0;
    bool plain = true;
    while (plain && n - at >= 12) {
        const uint32_t length = load_le32(p + at + 8);
        const uint64_t size = 12 + 4 * ((uint64_t{length} + 3) / 4);
        for (; n - at >= 12; at += size) {
            const uint8_t* h = p + at;
            if (load_le32(h + 8) != length) break;  // the next run
            const uint32_t tag = load_le32(h);
            const uint32_t address = load_le32(h + 4);
            // Sound, so 1 <= length <= 0xFFFFFFFF - address. The reach is at least the
            // previous record's address: a record starting at or below it is out of order
            // or overlaps, and so is a sound end record, whose address is 0.
            if (velm_check_record(tag, address, length) != VELM_OK || address <= reach ||
                size > n - at) {
                plain = false;
                break;
            }
            reach = uint64_t{address} + length - 1;
            last = at;
            ++passed;
        }
    }
    if (passed == 0) return 0;
    const uint8_t* h = p + last;
    const uint64_t position = d->offset + last;
    const Record r = make_record(kind_of_tag(load_le32(h)), position, position, load_le32(h + 4),
                                 load_le32(h + 8));
    d->reaching = {d->index + passed - 1, r};
    d->index += passed;
    d->reach = reach;
    d->previous = r.address;
    d->offset += at;
    return at;
}

}  // namespace

void binary_feed(Decoder* d, const uint8_t* p, size_t n) {
    while (n > 0) {
        switch (d->phase) {
            case Decoder::Phase::header: {
                if (d->header_have == 0) {
                    const size_t passed = pass_plain_records(d, p, n);
                    p += passed;
                    n -= passed;
                    if (n == 0) return;
                }
                if (d->header_have == 0 && n >= 12) {
                    // The whole header at hand, as nearly always: one look at it.
                    start_record(d, d->offset, d->offset);
                    const uint32_t tag = load_le32(p);
                    const int check = velm_check_record(tag, load_le32(p + 4), load_le32(p + 8));
                    if (check == VELM_ERR_UNKNOWN_TAG) {
                        tag_arrived(d, tag);
                        return;
                    }
                    d->kind = kind_of_tag(tag);
                    d->offset += 12;
                    header_arrived(d, load_le32(p + 4), load_le32(p + 8), check);
                    p += 12;
                    n -= 12;
                    break;
                }
                if (d->header_have == 0) start_record(d, d->offset, d->offset);
                const size_t take = std::min<size_t>(12 - d->header_have, n);
                std::memcpy(d->header_bytes + d->header_have, p, take);
                const uint32_t had = d->header_have;
                d->header_have += static_cast<uint32_t>(take);
                p += take;
                n -= take;
                d->offset += take;
                if (had < 4 && d->header_have >= 4 && !tag_arrived(d, load_le32(d->header_bytes))) {
                    return;
                }
                if (d->header_have == 12) {
                    d->header_have = 0;
                    const uint8_t* h = d->header_bytes;
                    header_arrived(
                        d, load_le32(h + 4), load_le32(h + 8),
                        velm_check_record(load_le32(h), load_le32(h + 4), load_le32(h + 8)));
                }
                break;
            }
            case Decoder::Phase::data: {
                const size_t take = static_cast<size_t>(std::min<uint64_t>(d->data_left, n));
                if (d->crc && d->crc_left > 0) {
                    const size_t c = std::min<size_t>(take, d->crc_left);
                    d->crc_state = crc32_update(d->crc_state, p, c);
                    d->crc_left -= static_cast<uint32_t>(c);
                }
                p += take;
                n -= take;
                d->offset += take;
                d->data_left -= take;
                if (d->data_left == 0) complete_record(d);
                break;
            }
            case Decoder::Phase::after_end:
                d->after += n;
                d->offset += n;
                return;
            case Decoder::Phase::stopped:
                return;
        }
    }
}

void binary_finish(Decoder* d) {
    finish(d, 0);
}

namespace {

// Bytes the decoder needs to see no more than count: data whose CRC is not wanted, and
// whatever follows the end record.
uint64_t binary_skippable(const Decoder* d) {
    if (d->phase == Decoder::Phase::data && !d->crc) return d->data_left;
    if (d->phase == Decoder::Phase::after_end) return UINT64_MAX;
    return 0;
}

void binary_skipped(Decoder* d, uint64_t n) {
    d->offset += n;
    if (d->phase == Decoder::Phase::after_end) {
        d->after += n;
        return;
    }
    d->data_left -= n;
    if (d->data_left == 0) complete_record(d);
}

}  // namespace

// ---- the pass ------------------------------------------------------------------------------

ImageRead::ImageRead(ImageRead&& other) noexcept
    : encoding(other.encoding),
      records(std::move(other.records)),
      head(std::move(other.head)),
      tail(std::move(other.tail)),
      record_problems(other.record_problems),
      errors(other.errors),
      warnings(other.warnings),
      by_address(std::exchange(other.by_address, nullptr)),
      by_address_count(std::exchange(other.by_address_count, 0)),
      in_address_order(other.in_address_order),
      program(other.program),
      failure(std::move(other.failure)),
      tableless(other.tableless),
      noted(std::move(other.noted)),
      overlapping(std::move(other.overlapping)) {}

ImageRead& ImageRead::operator=(ImageRead&& other) noexcept {
    if (this != &other) {
        index_free(by_address, by_address_count);
        encoding = other.encoding;
        records = std::move(other.records);
        head = std::move(other.head);
        tail = std::move(other.tail);
        record_problems = other.record_problems;
        errors = other.errors;
        warnings = other.warnings;
        by_address = std::exchange(other.by_address, nullptr);
        by_address_count = std::exchange(other.by_address_count, 0);
        in_address_order = other.in_address_order;
        program = other.program;
        failure = std::move(other.failure);
        tableless = other.tableless;
        noted = std::move(other.noted);
        overlapping = std::move(other.overlapping);
    }
    return *this;
}

ImageRead::~ImageRead() {
    index_free(by_address, by_address_count);
}

ImageReader::~ImageReader() {
    std::free(window);
    decoder_free(decoder);
    text_scanner_free(&text);
}

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

Encoding detect_encoding(const uint8_t* data, size_t size, bool* assumed) {
    if (assumed != nullptr) *assumed = false;
    if (size == 0) return Encoding::binary;  // read as BINARY: "the file is empty"
    if (data[0] == 0x09 && (size == 1 || data[1] == 0x3B)) return Encoding::binary;
    const size_t i = first_token(data, size);
    if (i == size) return Encoding::text;
    const uint8_t c = data[i];
    if (c == '/' || c == '\\' || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return Encoding::text;
    }
    if (assumed != nullptr) *assumed = true;
    return Encoding::binary;
}

ReadStatus read_begin(ImageReader* r, Source* src, const ReadOptions& options, ImageRead* out) {
    r->src = src;
    r->options = options;
    r->out = out;
    r->window = static_cast<uint8_t*>(std::malloc(kWindow));
    if (r->window == nullptr) return ReadStatus::no_memory;
    while (r->head < kHead) {
        int64_t got = source_read(src, r->window + r->head, kWindow - r->head);
        if (got < 0) {
            out->failure = src->error;
            return ReadStatus::io_error;
        }
        if (got == 0) break;
        r->head += static_cast<size_t>(got);
    }
    out->program = program_kind(r->window, r->head);
    if (out->program != nullptr) return ReadStatus::program;
    bool assumed = false;
    out->encoding = detect_encoding(r->window, r->head, &assumed);
    if (assumed) {
        out->head.push_back(
            make_problem(Severity::error, 0, false, 0, reason_binary_assumed(r->window, r->head)));
        out->errors = true;
    }
    out->tableless = !options.table;
    r->decoder = decoder_new(out, out->encoding, options.crc);
    return r->decoder == nullptr ? ReadStatus::no_memory : ReadStatus::ok;
}

ReadStatus read_rest(ImageReader* r) {
    ImageRead* out = r->out;
    Decoder* d = r->decoder;
    Source* src = r->src;
    if (out->encoding == Encoding::binary) {
        binary_feed(d, r->window, r->head);
        for (;;) {
            if (r->options.progress != nullptr) r->options.progress(r->options.ctx);
            if (d->phase == Decoder::Phase::stopped) break;
            const uint64_t skip = binary_skippable(d);
            if (skip > 0) {
                const int64_t passed = source_skip(src, skip);
                if (passed < 0) break;
                binary_skipped(d, static_cast<uint64_t>(passed));
                if (static_cast<uint64_t>(passed) < skip) break;  // the end of the file
                continue;
            }
            const int64_t got = source_read(src, r->window, kWindow);
            if (got <= 0) {
                if (got < 0) {
                    out->failure = src->error;
                    return ReadStatus::io_error;
                }
                break;
            }
            binary_feed(d, r->window, static_cast<size_t>(got));
        }
        if (!src->error.empty()) {
            out->failure = src->error;
            return ReadStatus::io_error;
        }
        if (d->out_of_memory) return ReadStatus::no_memory;
        if (d->again) return ReadStatus::again;
        binary_finish(d);
        return ReadStatus::ok;
    }
    if (!text_scanner_begin(&r->text, src, r->window, r->head)) return ReadStatus::no_memory;
    TextRead t = read_text_image(&r->text, TextSink{text_words, d}, &out->head);
    if (r->text.failed) {
        out->failure = src->error;
        return ReadStatus::io_error;
    }
    if (d->out_of_memory) return ReadStatus::no_memory;
    if (!out->head.empty()) out->errors = true;
    if (t.list == ListEnd::broken) {
        // The words read so far are not decoded: where a list is broken, nothing in it
        // can be trusted to be what was meant.
        out->records.clear();
        out->tail.clear();
        out->record_problems = 0;
        out->noted.clear();
        out->overlapping.clear();
        out->warnings = false;
        if (!t.declaration) {
            out->head.insert(out->head.begin(),
                             make_problem(Severity::error, 0, false, 0, reason_text()));
        }
        return ReadStatus::ok;
    }
    if (d->again) return ReadStatus::again;
    finish(d, t.end_line);
    return ReadStatus::ok;
}

bool find_overlaps(ImageRead* image, bool index) {
    if (image->tableless) return true;  // found as the records came
    const RecordTable& records = image->records;
    index_free(image->by_address, image->by_address_count);
    image->by_address = nullptr;
    image->by_address_count = 0;
    // In file order, which is address order more often than not: then one pass finds the
    // overlaps, and nothing needs sorting.
    bool sorted = true;
    bool overlap = false;
    uint64_t reach = 0;  // the highest last address so far
    uint32_t previous = 0;
    uint32_t n = 0;
    for (const Record& r : records) {
        if (kind_of(r) == RecordKind::end || r.length == 0) continue;
        if (n > 0) {
            sorted = sorted && previous <= r.address;
            overlap = overlap || r.address <= reach;
        }
        if (n == 0 || last_address(r) > reach) reach = last_address(r);
        previous = r.address;
        ++n;
    }
    image->in_address_order = sorted;
    image->warnings = sorted && overlap;
    if (sorted && !index) return true;
    image->by_address = index_alloc(n);
    if (image->by_address == nullptr) return false;
    image->by_address_count = n;
    uint32_t k = 0;
    for (uint32_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        if (kind_of(r) != RecordKind::end && r.length > 0) image->by_address[k++] = i;
    }
    if (sorted) return true;
    std::sort(image->by_address, image->by_address + n, [&records](uint32_t a, uint32_t b) {
        return records[a].address != records[b].address ? records[a].address < records[b].address
                                                        : a < b;
    });
    for (k = 0; k < n; ++k) {
        const Record& r = records[image->by_address[k]];
        if (k > 0 && r.address <= reach) image->warnings = true;
        if (k == 0 || last_address(r) > reach) reach = last_address(r);
    }
    return true;
}

namespace {

// Records a (earlier) and b overlap from `from` to `to`.
Problem overlap_problem(Encoding encoding, const ImageRead::Noted& a, const ImageRead::Noted& b,
                        uint32_t from, uint64_t to) {
    return make_problem(
        Severity::warning, b.index + 1, true, position_of(b.record),
        format("records %u (%s at %s) and %u (%s at %s) overlap at "
               "0x%08X..0x%08llX",
               a.index + 1, kind_name(kind_of(a.record)),
               position_text(encoding, position_of(a.record)).c_str(), b.index + 1,
               kind_name(kind_of(b.record)), position_text(encoding, position_of(b.record)).c_str(),
               from, static_cast<unsigned long long>(to)));
}

}  // namespace

bool next_problem(const ImageRead& image, ProblemWalk* w, Problem* p) {
    const RecordTable& records = image.records;
    for (;;) {
        switch (w->phase) {
            case 0:
                if (w->i < image.head.size()) {
                    *p = image.head[w->i++];
                    return true;
                }
                break;
            case 1:
                // Each record's own problem, in file order: a bad length or address range,
                // an end record with an address or length.
                while (image.tableless ? w->i < image.noted.size()
                                       : image.record_problems > 0 && w->i < records.size()) {
                    const uint32_t i =
                        image.tableless ? image.noted[w->i].index : static_cast<uint32_t>(w->i);
                    const Record& r = image.tableless ? image.noted[w->i].record : records[i];
                    ++w->i;
                    const int check = velm_check_record(tag_of(kind_of(r)), r.address, r.length);
                    if (check == VELM_OK) continue;
                    *p = make_problem(Severity::error, i + 1, true, position_of(r),
                                      record_problem(image.encoding, i + 1, kind_of(r),
                                                     position_of(r), r.address, r.length, check));
                    return true;
                }
                break;
            case 2:
                if (w->i < image.tail.size()) {
                    *p = image.tail[w->i++];
                    return true;
                }
                break;
            case 3:
                // One warning for every record whose range begins inside the range of a
                // record before it in address order: at most one per record, however many
                // records pile up on the same addresses, and each names a real pair.
                if (image.tableless && w->i + 1 < image.overlapping.size()) {
                    const ImageRead::Noted& a = image.overlapping[w->i];
                    const ImageRead::Noted& b = image.overlapping[w->i + 1];
                    w->i += 2;
                    *p = overlap_problem(image.encoding, a, b, b.record.address,
                                         std::min(last_address(a.record), last_address(b.record)));
                    return true;
                }
                // The records with bytes in address order: the index, or the table itself
                // when they stand in that order.
                while (image.warnings &&
                       w->i < (image.in_address_order ? records.size() : image.by_address_count)) {
                    const uint32_t k = image.in_address_order ? static_cast<uint32_t>(w->i++)
                                                              : image.by_address[w->i++];
                    const Record& r = records[k];
                    if (kind_of(r) == RecordKind::end || r.length == 0) continue;
                    const uint32_t reach = w->reach;
                    if (reach == 0 || last_address(r) > last_address(records[reach - 1])) {
                        w->reach = k + 1;
                    }
                    if (reach == 0 || r.address > last_address(records[reach - 1])) continue;
                    const uint32_t first = std::min(reach - 1, k);
                    const uint32_t second = std::max(reach - 1, k);
                    *p = overlap_problem(
                        image.encoding, {first, records[first]}, {second, records[second]},
                        r.address, std::min(last_address(records[reach - 1]), last_address(r)));
                    return true;
                }
                break;
            default:
                return false;
        }
        ++w->phase;
        w->i = 0;
    }
}

// ---- a second read of one record ----------------------------------------------------------

RecordCursor::~RecordCursor() {
    std::free(window);
    text_scanner_free(&text);
}

namespace {

constexpr size_t kCursorWindow = 16 * 1024;

bool cursor_read_at(RecordCursor* c, uint8_t* dest, size_t n, uint64_t offset) {
    if (n == 0) return true;
    if (offset >= c->window_base && offset - c->window_base <= c->window_length &&
        n <= c->window_length - (offset - c->window_base)) {
        std::memcpy(dest, c->window + (offset - c->window_base), n);
        return true;
    }
    if (n >= kCursorWindow)
        return source_read_at(c->src, dest, n, offset) == static_cast<int64_t>(n);
    if (c->window == nullptr) {
        c->window = static_cast<uint8_t*>(std::malloc(kCursorWindow));
        if (c->window == nullptr) return false;
    }
    const int64_t got = source_read_at(c->src, c->window, kCursorWindow, offset);
    c->window_base = offset;
    c->window_length = got > 0 ? static_cast<size_t>(got) : 0;
    if (c->window_length < n) return false;
    std::memcpy(dest, c->window, n);
    return true;
}

}  // namespace

bool record_open(RecordCursor* c, Source* src, Encoding encoding, const Record& record) {
    c->encoding = encoding;
    c->left = 4 * static_cast<uint64_t>(data_words_of(record));
    c->word_left = 0;
    if (c->src != src) c->window_length = 0;
    c->src = src;
    uint32_t header[3];
    if (encoding == Encoding::binary) {
        uint8_t bytes[12];
        if (!cursor_read_at(c, bytes, sizeof bytes, record.resume)) return false;
        for (int i = 0; i < 3; ++i) header[i] = load_le32(bytes + 4 * i);
        c->next = record.resume + 12;
    } else {
        if (!text_cursor_begin(&c->text, src, record.resume)) return false;
        for (uint32_t& w : header) {
            if (!text_cursor_next(&c->text, &w)) return false;
        }
    }
    return header[0] == tag_of(kind_of(record)) && header[1] == record.address &&
           header[2] == record.length;
}

bool record_read(RecordCursor* c, uint8_t* dest, size_t n) {
    if (n > c->left) return false;
    c->left -= n;
    if (c->encoding == Encoding::binary) {
        if (!cursor_read_at(c, dest, n, c->next)) return false;
        c->next += n;
        return true;
    }
    while (n > 0) {
        if (c->word_left == 0 && n >= 4) {
            uint32_t words[1024];
            const size_t k = std::min<size_t>(n / 4, 1024);
            if (!text_cursor_words(&c->text, words, k)) return false;
            for (size_t i = 0; i < k; ++i) store_le32(dest + 4 * i, words[i]);
            dest += 4 * k;
            n -= 4 * k;
            continue;
        }
        if (c->word_left == 0) {
            uint32_t w;
            if (!text_cursor_next(&c->text, &w)) return false;
            store_le32(c->word, w);
            c->word_left = 4;
        }
        const size_t take = std::min(n, c->word_left);
        std::memcpy(dest, c->word + (4 - c->word_left), take);
        c->word_left -= take;
        dest += take;
        n -= take;
    }
    return true;
}

// ---- whole images in memory -----------------------------------------------------------------

Image read_image(const std::string& bytes) {
    Image image;
    image.bytes = bytes;
    Source src =
        memory_source("", reinterpret_cast<const uint8_t*>(image.bytes.data()), image.bytes.size());
    ImageReader reader;
    ReadStatus st = read_begin(&reader, &src, ReadOptions(), &image);
    if (st == ReadStatus::ok) st = read_rest(&reader);
    if (st == ReadStatus::program) {
        image.head.push_back(make_problem(Severity::error, 0, false, 0,
                                          std::string(image.program) + ", not a VELM image"));
    }
    find_overlaps(&image);
    ProblemWalk walk;
    Problem p;
    while (next_problem(image, &walk, &p)) image.problems.push_back(p);
    return image;
}

std::vector<uint8_t> record_bytes(const Image& image, const Record& record) {
    Source src =
        memory_source("", reinterpret_cast<const uint8_t*>(image.bytes.data()), image.bytes.size());
    RecordCursor cursor;
    std::vector<uint8_t> out(record.length);
    if (!record_open(&cursor, &src, image.encoding, record) ||
        !record_read(&cursor, out.data(), out.size())) {
        out.clear();
    }
    return out;
}

bool has_errors(const Image& image) {
    for (const Problem& p : image.problems) {
        if (p.severity == Severity::error) return true;
    }
    return false;
}

bool has_warnings(const Image& image) {
    for (const Problem& p : image.problems) {
        if (p.severity == Severity::warning) return true;
    }
    return false;
}

namespace {

uint64_t collect_words(void* ctx, const TextWords& batch) {
    WordStream* out = static_cast<WordStream*>(ctx);
    out->words.insert(out->words.end(), batch.value, batch.value + batch.count);
    out->lines.insert(out->lines.end(), batch.line, batch.line + batch.count);
    return 0;
}

}  // namespace

bool read_text(const uint8_t* data, size_t size, WordStream* out, std::vector<Problem>* problems) {
    *out = WordStream();
    Source src = memory_source("", data, size);
    TextScanner s;
    if (!text_scanner_begin(&s, &src, data, 0)) return false;
    TextRead t = read_text_image(&s, TextSink{collect_words, out}, problems);
    text_scanner_free(&s);
    out->end_position = t.end_line;
    return t.list != ListEnd::broken;
}

}  // namespace velm::dump
