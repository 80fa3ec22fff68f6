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
#include "writer/hex_format.h"
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

// The progress text "\rsection #<index> ...", printed for every section, its index
// counted up from one section to the next. It holds no line feed: it goes out as it is,
// built in the console's buffer where that has room.
void print_progress(const DecimalCounter& index, OutStream* console) {
    static const char kHead[] = "\rsection #";
    static const char kTail[] = " ...";
    char line[48];
    char* out = out_reserve(console, sizeof line);
    char* p = out != nullptr ? out : line;
    char* begin = p;
    std::memcpy(p, kHead, sizeof kHead - 1);
    p = put_counter(p + sizeof kHead - 1, index, 1);
    std::memcpy(p, kTail, sizeof kTail - 1);
    p += sizeof kTail - 1;
    if (out != nullptr) {
        out_commit(console, p);
    } else {
        out_write_lines(console, line, static_cast<size_t>(p - begin));
    }
}

// The heading of a section's records. In TEXT it carries the comment line's name and
// attribute text, which depends on the flags and the record name: made once per section,
// however many records a .cinit table gives. Out of line, so that the BINARY pass stays a
// short loop.
VELM_NOINLINE void prepare_text_heading(SectionUse use, uint32_t flags, uint32_t type,
                                        const char* name, uint32_t tag, RecordHeading* heading) {
    const char* record_name = use == SectionUse::cinit ? ".cinit" : name;
    char attrib[kAttributeTextSize];
    size_t attrib_size = section_attributes(use, flags, type, record_name, attrib, nullptr);
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
        prepare_text_heading(v.use, v.flags, v.type, v.name, tag, &heading);
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

// Flattened: one pass over up to 65,535 sections or hundreds of thousands of .cinit
// entries, with the walk, the record writer and the stream's buffer calls inlined.
VELM_FLATTEN Status convert_sections() {
    RunState& rs = run_state;
    rs.valid_sections = 0;
    uint32_t last = describe_input().last_section;
    DecimalCounter index;
    counter_start(&index);
    OutStream* const progress_to = console();
    for (uint32_t i = 1; i <= last; ++i) {
        counter_next(&index);
        print_progress(index, progress_to);
        char name_room[kShortNameSize];
        SectionView v = section_view(i, name_room);
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
