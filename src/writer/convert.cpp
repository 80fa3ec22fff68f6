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

// One record per entry of a .cinit table, its data taken where the walk found them. Its
// own loop, flattened like the pass, over up to hundreds of thousands of entries.
VELM_NOINLINE VELM_FLATTEN Status expand_cinit(uint32_t file_offset, uint32_t size,
                                               const RecordHeading& heading) {
    CinitWalk walk;
    cinit_begin(&walk, file_offset, size);
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
//
// The texts are built straight in the console's buffer, in room reserved there for many
// of them and handed over when the room is used up and before the pass returns. Nothing
// else is written to the console while the pass runs, so it receives the same bytes, in
// the same order, as if each text were written by itself.
constexpr char kProgressHead[] = "\rsection #";
constexpr char kProgressTail[] = " ...";
constexpr size_t kProgressHeadSize = sizeof kProgressHead - 1;
constexpr size_t kProgressTailSize = sizeof kProgressTail - 1;
constexpr size_t kProgressRoom = 4096;

struct ProgressLine {
    char text[32];  // the head, up to 10 digits, the tail
    size_t size;
    OutStream* console;
    char* room;  // where the next text goes in the console's buffer; null when none is reserved
    char* room_end;
};

void progress_start(ProgressLine* line, OutStream* console) {
    std::memcpy(line->text, kProgressHead, kProgressHeadSize);
    line->text[kProgressHeadSize] = '0';
    std::memcpy(line->text + kProgressHeadSize + 1, kProgressTail, kProgressTailSize);
    line->size = kProgressHeadSize + 1 + kProgressTailSize;
    line->console = console;
    line->room = nullptr;
    line->room_end = nullptr;
}

// Hands the texts built in the reserved room over to the console.
void progress_commit(ProgressLine* line) {
    if (line->room != nullptr) out_commit(line->console, line->room);
    line->room = nullptr;
    line->room_end = nullptr;
}

// Counts up an index whose last digit is 9: the carry, and one digit more after all nines.
VELM_NOINLINE void progress_carry(ProgressLine* line) {
    char* first = line->text + kProgressHeadSize;
    char* digit = line->text + line->size - kProgressTailSize - 1;
    while (digit >= first && *digit == '9') *digit-- = '0';
    if (digit >= first) {
        ++*digit;
        return;
    }
    size_t digits = line->size - kProgressHeadSize - kProgressTailSize;
    first[0] = '1';
    std::memset(first + 1, '0', digits);
    std::memcpy(first + 1 + digits, kProgressTail, kProgressTailSize);
    ++line->size;
}

// Prints the text when the reserved room is used up: hands that over and reserves more,
// or, near the end of the console's buffer, writes the text by itself.
VELM_NOINLINE void progress_print_outside_room(ProgressLine* line) {
    progress_commit(line);
    char* out = out_reserve(line->console, kProgressRoom);
    if (out == nullptr) {
        out_write_lines(line->console, line->text, line->size);
        return;
    }
    std::memcpy(out, line->text, sizeof line->text);
    line->room = out + line->size;
    line->room_end = out + kProgressRoom;
}

// Counts the index up by one and prints the text.
void print_next_progress(ProgressLine* line) {
    char* last_digit = line->text + line->size - kProgressTailSize - 1;
    if (*last_digit != '9') {
        ++*last_digit;
    } else {
        progress_carry(line);
    }
    if (static_cast<size_t>(line->room_end - line->room) < sizeof line->text) {
        progress_print_outside_room(line);
        return;
    }
    std::memcpy(line->room, line->text, sizeof line->text);
    line->room += line->size;
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
        heading.tag = tag;  // all BINARY needs
    } else {
        prepare_text_heading(v.use, v.flags, v.type, v.name, tag, &heading);
    }
    int16_t handle = run_state.in_handle;
    if (v.size < kViewLimit && !cinit) {
        // Checked before the contents are read, as a read error would only follow it.
        Status st = check_record_length(v.load_address, v.size);
        if (st != kOk) return st;
        int64_t available;
        const uint8_t* bytes = in_view(handle, v.file_offset, v.size, &available);
        if (bytes == nullptr || available < v.size) return kReadError;
        return write_record_from(heading, v.load_address, v.size, bytes, v.size);
    }
    if (in_seek(handle, v.file_offset) < 0) return kReadError;
    if (cinit) return expand_cinit(v.file_offset, v.size, heading);
    Status st = check_record_length(v.load_address, v.size);
    if (st != kOk) return st;
    return write_record(heading, v.load_address, v.size, v.size);
}

// The sections 1 to `last` in order; the first failure ends the walk.
Status convert_each_section(uint32_t last, ProgressLine* progress, uint16_t* valid_sections) {
    RunState& rs = run_state;
    for (uint32_t i = 1; i <= last; ++i) {
        print_next_progress(progress);
        char name_room[kShortNameSize];
        SectionView v = section_view(i, name_room);
        if (v.use == SectionUse::skip) continue;
        ++*valid_sections;
        if (v.use == SectionUse::unstored) continue;
        // Copy-data sections other than .cinit hold load-time tables for other tools:
        // the input is positioned at them, nothing more.
        if (v.use == SectionUse::passed) {
            if (in_seek(rs.in_handle, v.file_offset) < 0) return kReadError;
            continue;
        }
        Status st = convert_section(v);
        if (st != kOk) return st;
    }
    return kOk;
}

}  // namespace

// Flattened: one pass over up to 65,535 sections, with the view, the record writer and the
// stream's buffer calls inlined; what is not on the path of a short BINARY section record
// is kept out of line, so that the loop stays short.
VELM_FLATTEN Status convert_sections() {
    ProgressLine progress;
    progress_start(&progress, console());
    // Counted here and stored once the pass ends, however it ends: the record stores of
    // the loop would otherwise have it reloaded from the run state for every section.
    uint16_t valid_sections = 0;
    Status st = convert_each_section(describe_input().last_section, &progress, &valid_sections);
    run_state.valid_sections = valid_sections;
    progress_commit(&progress);
    return st == kOk ? write_end_record() : st;
}

}  // namespace velm
