#include "writer/convert.h"

#include <cstdint>
#include <cstring>

#include "coff/cinit_table.h"
#include "core/run_state.h"
#include "core/section_view.h"
#include "input/input.h"
#include "platform/compiler.h"
#include "platform/input_file.h"
#include "platform/stream.h"
#include "writer/velm_writer.h"

namespace velm {

namespace {

// One record per entry of a .cinit table, its data taken where the walk found them.
Status expand_cinit(const SectionView& v, const RecordHeading& heading) {
    CinitWalk walk;
    cinit_begin(&walk, v.file_offset, v.size);
    for (;;) {
        CinitEntry e;
        Status st = cinit_next(&walk, &e);
        if (st != kOk || e.length == 0) return st;
        st = check_record_length(e.address, e.length);
        if (st != kOk) return st;
        st = e.data != nullptr
                 ? write_record_from(heading, e.address, e.length, e.data, e.byte_count)
                 : write_record(heading, e.address, e.length, e.byte_count);
        if (st != kOk) return st;
    }
}

// The progress text "\rsection #<index> ...", printed for every section. The pass walks
// the sections in order from 1, so the text is kept from one section to the next and its
// index counted up in its digits. It holds no line feed: it goes out as it is.
constexpr char kProgressHead[] = "\rsection #";
constexpr char kProgressTail[] = " ...";
constexpr size_t kProgressHeadSize = sizeof kProgressHead - 1;
constexpr size_t kProgressTailSize = sizeof kProgressTail - 1;

struct ProgressLine {
    char text[32];  // the head, up to 10 digits, the tail
    size_t size;
};

void progress_start(ProgressLine* line) {
    std::memcpy(line->text, kProgressHead, kProgressHeadSize);
    line->text[kProgressHeadSize] = '0';
    std::memcpy(line->text + kProgressHeadSize + 1, kProgressTail, kProgressTailSize);
    line->size = kProgressHeadSize + 1 + kProgressTailSize;
}

// Counts the index up by one and prints the text to `console`, built in its buffer where
// it has room.
void print_next_progress(ProgressLine* line, OutStream* console) {
    char* first = line->text + kProgressHeadSize;
    char* digit = line->text + line->size - kProgressTailSize - 1;
    while (digit >= first && *digit == '9') *digit-- = '0';
    if (digit >= first) {
        ++*digit;
    } else {
        // All nines: one digit more, a 1 before the zeros.
        size_t digits = line->size - kProgressHeadSize - kProgressTailSize;
        first[0] = '1';
        std::memset(first + 1, '0', digits);
        std::memcpy(first + 1 + digits, kProgressTail, kProgressTailSize);
        ++line->size;
    }
    char* out = out_reserve(console, sizeof line->text);
    if (out != nullptr) {
        std::memcpy(out, line->text, sizeof line->text);
        out_commit(console, out + line->size);
    } else {
        out_write_lines(console, line->text, line->size);
    }
}

// The heading of a section's records. In TEXT it carries the comment line's name and
// attribute text, which depends on the flags and the record name: made once per section,
// however many records a .cinit table gives. Out of line, and given a copy of the view,
// so that the BINARY pass keeps the view in registers and stays a short loop.
VELM_NOINLINE void prepare_text_heading(const SectionView v, uint32_t tag, RecordHeading* heading) {
    const char* record_name = v.use == SectionUse::cinit ? ".cinit" : view_name(v);
    char attrib[kAttributeTextSize];
    size_t attrib_size = section_attributes(v, record_name, attrib, nullptr);
    prepare_heading(heading, tag, record_name, attrib, attrib_size);
}

// One counted section whose contents are stored: its section record, or the records of
// its .cinit table. The input is positioned at the contents first; contents small enough
// are used where the input's read-ahead window holds them.
Status convert_section(const SectionView& v) {
    bool cinit = v.use == SectionUse::cinit;
    uint32_t tag = cinit ? kCinitRecordTag : kSectionRecordTag;
    RecordHeading heading;
    if (run_state.binary_mode) {
        prepare_heading(&heading, tag, nullptr, nullptr, 0);
    } else {
        prepare_text_heading(v, tag, &heading);
    }
    int16_t handle = run_state.in_handle;
    if (v.size < kViewLimit && !cinit) {
        // Checked before the contents are read, as a read error would only follow it.
        Status st = check_record_length(v.load_address, v.size);
        if (st != kOk) return st;
        int64_t available = 0;
        const uint8_t* bytes = in_view(handle, v.file_offset, v.size, &available);
        if (bytes == nullptr || available < v.size) return kReadError;
        return write_record_from(heading, v.load_address, v.size, bytes, v.size);
    }
    if (in_seek(handle, v.file_offset) < 0) return kReadError;
    if (cinit) return expand_cinit(v, heading);
    Status st = check_record_length(v.load_address, v.size);
    if (st != kOk) return st;
    return write_record(heading, v.load_address, v.size, v.size);
}

}  // namespace

Status convert_sections() {
    RunState& rs = run_state;
    rs.valid_sections = 0;
    uint32_t last = describe_input().last_section;
    ProgressLine progress;
    progress_start(&progress);
    OutStream* const progress_to = console();
    for (uint32_t i = 1; i <= last; ++i) {
        print_next_progress(&progress, progress_to);
        SectionView v = section_view(i);
        if (v.use == SectionUse::skip) continue;
        ++rs.valid_sections;
        if (v.use == SectionUse::unstored) continue;
        // Copy-data sections other than .cinit hold load-time tables for other tools:
        // the input is positioned at them, nothing more.
        Status st = v.use == SectionUse::passed
                        ? (in_seek(rs.in_handle, v.file_offset) < 0 ? kReadError : kOk)
                        : convert_section(v);
        if (st != kOk) return st;
    }
    return write_end_record();
}

}  // namespace velm
