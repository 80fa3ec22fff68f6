#include "dump/image.h"

#include <algorithm>

#include "dump/crc32.h"
#include "dump/printf_string.h"

namespace velm::dump {

namespace {

void add(Image* image, Severity severity, uint32_t record, uint64_t word,
         const std::string& message) {
    Problem p;
    p.severity = severity;
    p.record = record;
    p.has_position = true;
    p.position = word_position(image->stream, word);
    p.message = message;
    image->problems.push_back(p);
}

// "1 byte", "2 bytes".
std::string count(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool kind_of_tag(uint32_t tag, RecordKind* kind) {
    switch (tag) {
        case kSectionRecordTag:
            *kind = RecordKind::section;
            return true;
        case kCinitRecordTag:
            *kind = RecordKind::cinit;
            return true;
        case kEndRecordTag:
            *kind = RecordKind::end;
            return true;
        default:
            return false;
    }
}

uint32_t data_crc(const WordStream& stream, uint64_t first_data_word, uint32_t length) {
    uint32_t state = crc32_begin();
    uint64_t left = length;
    for (uint64_t w = first_data_word; left > 0; ++w) {
        uint8_t bytes[4];
        store_le32(bytes, stream.words[w]);
        size_t n = left < 4 ? static_cast<size_t>(left) : 4;
        state = crc32_update(state, bytes, n);
        left -= n;
    }
    return crc32_end(state);
}

// One warning for every record whose range begins inside the range of a record before
// it in address order: at most one per record, however many records pile up on the
// same addresses, and each names a real pair.
void find_overlaps(Image* image) {
    std::vector<const Record*> by_address;
    for (const Record& r : image->records) {
        if (r.kind != RecordKind::end && r.length > 0) by_address.push_back(&r);
    }
    std::sort(by_address.begin(), by_address.end(), [](const Record* a, const Record* b) {
        return a->address != b->address ? a->address < b->address : a->index < b->index;
    });
    const Record* reach = nullptr;  // the record reaching highest so far
    for (const Record* r : by_address) {
        if (reach != nullptr && r->address <= last_address(*reach)) {
            const Record* first = reach->index < r->index ? reach : r;
            const Record* second = reach->index < r->index ? r : reach;
            uint64_t to = std::min(last_address(*reach), last_address(*r));
            std::string text = format(
                "records %u (%s at %s) and %u (%s at %s) overlap at 0x%08X..0x%08llX", first->index,
                kind_name(first->kind),
                position_text(image->stream, word_position(image->stream, first->first_word))
                    .c_str(),
                second->index, kind_name(second->kind),
                position_text(image->stream, word_position(image->stream, second->first_word))
                    .c_str(),
                r->address, static_cast<unsigned long long>(to));
            add(image, Severity::warning, second->index, second->first_word, text);
        }
        if (reach == nullptr || last_address(*r) > last_address(*reach)) reach = r;
    }
}

}  // namespace

const char* kind_name(RecordKind kind) {
    switch (kind) {
        case RecordKind::section:
            return "section";
        case RecordKind::cinit:
            return "cinit";
        case RecordKind::end:
            return "end";
    }
    return "?";
}

uint64_t word_position(const WordStream& stream, uint64_t word) {
    if (stream.encoding == Encoding::binary) return 4 * word;
    return word < stream.lines.size() ? stream.lines[word] : stream.end_position;
}

std::string position_text(const WordStream& stream, uint64_t position) {
    return (stream.encoding == Encoding::binary ? "byte offset " : "line ") +
           std::to_string(position);
}

std::vector<uint8_t> record_bytes(const Image& image, const Record& record) {
    std::vector<uint8_t> out;
    out.reserve(record.length);
    for (uint64_t i = 0; i < record.length; ++i) {
        uint32_t v = image.stream.words[record.first_word + 3 + i / 4];
        out.push_back(static_cast<uint8_t>(v >> (8 * (i % 4))));
    }
    return out;
}

namespace {

const char* end_of_data(const WordStream& s) {
    return s.encoding == Encoding::binary ? "the end of the file"
                                          : "the end of the initializer list";
}

std::string position_of_word(const WordStream& s, uint64_t word) {
    return position_text(s, word_position(s, word));
}

// Reports a record at word `w` that has not even its header: stray bytes, or a known
// tag without address or length. True when it did.
bool report_cut_header(Image* image, uint64_t w, uint32_t index) {
    const WordStream& s = image->stream;
    const uint64_t left = s.words.size() - w;
    RecordKind kind;
    if (left != 0 && (left >= 3 || !kind_of_tag(s.words[w], &kind))) return false;
    std::string have =
        s.encoding == Encoding::binary
            ? format("%llu of 12 bytes", static_cast<unsigned long long>(4 * left + s.stray_bytes))
            : format("%llu of 3 words", static_cast<unsigned long long>(left));
    add(image, Severity::error, index, w,
        format("record %u at %s: header cut short by %s: %s present", index,
               position_of_word(s, w).c_str(), end_of_data(s), have.c_str()));
    return true;
}

// The end record: address and length 0, and nothing after it.
void decode_end_record(Image* image, const Record& r) {
    const WordStream& s = image->stream;
    const std::string at = position_of_word(s, r.first_word);
    if (r.address != 0 || r.length != 0) {
        add(image, Severity::error, r.index, r.first_word,
            format("end record (record %u) at %s: address 0x%08X and length 0x%08X "
                   "must both be 0",
                   r.index, at.c_str(), r.address, r.length));
    }
    image->records.push_back(r);
    const uint64_t w = r.first_word + kRecordHeaderWords;
    const uint64_t words = s.words.size();
    if (w < words || s.stray_bytes > 0) {
        std::string more = s.encoding == Encoding::binary
                               ? count(4 * (words - w) + s.stray_bytes, "more byte", "more bytes")
                               : count(words - w, "more word", "more words");
        add(image, Severity::error, r.index, w,
            format("end record (record %u) at %s is followed by %s, from %s", r.index, at.c_str(),
                   more.c_str(), position_of_word(s, w).c_str()));
    }
}

// A section or cinit record: its length and address range, and whether all its data
// words are there. False when the next record's start is unknown: a length of
// 0xFFFFFFFF, or data cut short by the end of the stream.
bool decode_data_record(Image* image, Record* r) {
    const WordStream& s = image->stream;
    const uint64_t w = r->first_word;
    const std::string at = position_of_word(s, w);
    const std::string named =
        format("record %u (%s) at %s", r->index, kind_name(r->kind), at.c_str());
    if (r->length == 0 || r->length == 0xFFFFFFFFu) {
        add(image, Severity::error, r->index, w,
            format("%s: invalid length 0x%08X", named.c_str(), r->length));
        // With 0xFFFFFFFF announced, where the next record starts is anybody's guess.
        if (r->length != 0) return false;
    } else if (static_cast<uint64_t>(r->address) + r->length - 1 > 0xFFFFFFFFu) {
        add(image, Severity::error, r->index, w,
            format("%s: address range 0x%08X..0x%09llX passes 0xFFFFFFFF", named.c_str(),
                   r->address, static_cast<unsigned long long>(last_address(*r))));
    }
    r->data_words = static_cast<uint32_t>((static_cast<uint64_t>(r->length) + 3) / 4);
    const uint64_t left = s.words.size() - w - kRecordHeaderWords;
    if (left < r->data_words) {
        std::string announced = count(r->data_words, "data word", "data words");
        std::string have = s.encoding == Encoding::binary
                               ? format("%s (%llu bytes) announced, %s present", announced.c_str(),
                                        4ull * r->data_words,
                                        count(4 * left + s.stray_bytes, "byte", "bytes").c_str())
                               : format("%s announced, %llu present", announced.c_str(),
                                        static_cast<unsigned long long>(left));
        add(image, Severity::error, r->index, w,
            format("record %u (%s, address 0x%08X, length 0x%08X) at %s: cut short by %s: %s",
                   r->index, kind_name(r->kind), r->address, r->length, at.c_str(), end_of_data(s),
                   have.c_str()));
        return false;
    }
    r->crc32 = data_crc(s, w + kRecordHeaderWords, r->length);
    image->records.push_back(*r);
    return true;
}

// The stream ended, after `records` records, without an end record.
void report_missing_end(Image* image, uint64_t w, uint32_t records) {
    const WordStream& s = image->stream;
    const bool binary = s.encoding == Encoding::binary;
    const std::string at = position_text(s, s.end_position);
    if (records == 0 && binary) {
        add(image, Severity::error, 0, w, "no end record: the file is empty");
    } else if (records == 0) {
        add(image, Severity::error, 0, w,
            format("no end record: the initializer list ending at %s is empty", at.c_str()));
    } else {
        add(image, Severity::error, 0, w,
            format("no end record: %s at %s, after record %u",
                   binary ? "the file ends" : "the initializer list ends", at.c_str(), records));
    }
}

// The records of the word stream, in order, up to the end record or the first problem
// that hides where the next record starts.
void decode_stream(Image* image) {
    const WordStream& s = image->stream;
    uint64_t w = 0;
    uint32_t index = 0;
    while (w < s.words.size() || (s.encoding == Encoding::binary && s.stray_bytes > 0)) {
        ++index;
        if (report_cut_header(image, w, index)) return;
        Record r;
        r.index = index;
        r.tag = s.words[w];
        r.first_word = w;
        if (!kind_of_tag(r.tag, &r.kind)) {
            add(image, Severity::error, index, w,
                format("record %u at %s: unknown tag 0x%08X", index, position_of_word(s, w).c_str(),
                       r.tag));
            return;
        }
        // A known tag has its whole header: report_cut_header has seen to that.
        r.address = s.words[w + 1];
        r.length = s.words[w + 2];
        if (r.kind == RecordKind::end) {
            decode_end_record(image, r);
            return;
        }
        if (!decode_data_record(image, &r)) return;
        w += kRecordHeaderWords + r.data_words;
    }
    report_missing_end(image, w, index);
}

}  // namespace

void decode_records(Image* image) {
    decode_stream(image);
    find_overlaps(image);
}

Summary summarize(const Image& image) {
    Summary sum;
    for (const Record& r : image.records) {
        if (r.kind == RecordKind::end) continue;
        ++sum.records;
        ++(r.kind == RecordKind::section ? sum.section_records : sum.cinit_records);
        sum.bytes += r.length;
        if (r.length == 0) continue;
        if (!sum.has_range || r.address < sum.lowest) sum.lowest = r.address;
        if (!sum.has_range || last_address(r) > sum.highest) sum.highest = last_address(r);
        sum.has_range = true;
    }
    return sum;
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

}  // namespace velm::dump
