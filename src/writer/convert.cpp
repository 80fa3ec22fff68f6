#include "writer/convert.h"

#include <cstdint>
#include <cstring>

#include "coff/cinit_table.h"
#include "coff/coff_section_view.h"
#include "core/range.h"
#include "core/run_state.h"
#include "core/section_view.h"
#include "input/input.h"
#include "platform/compiler.h"
#include "platform/input_file.h"
#include "platform/stream.h"
#include "writer/velm_writer.h"

namespace velm {

namespace {

// The common case of a .cinit table, hundreds of thousands of small entries, in BINARY:
// the entries the walk has in memory, each written as a record straight into room
// reserved in the output buffer, the walk's position, the bytes left and the room kept
// in registers; a full buffer is written out on the way. Stops, leaving the walk at the
// next step, at anything else (bytes not in memory, an entry larger than the room, the
// final word, a failed write), which cinit_next and the record writer take; ends the
// expansion at a table fault or a failed length check, after writing the entries before
// it.
constexpr size_t kEntryRoom = 4096;

Status write_binary_entries(CinitWalk* walk, uint32_t tag) {
    const uint8_t* p;
    size_t avail;
    if (!cinit_in_memory(walk, &p, &avail)) return kOk;
    OutStream* s = run_state.out_stream;
    char* out = out_room(s, kEntryRoom);
    if (out == nullptr) return kOk;
    char* room_end = out + kEntryRoom;
    const uint8_t* start = p;
    int32_t left = run_state.cinit_left;
    const uint8_t* last_record = nullptr;
    Status st = kOk;
    for (;;) {
        CinitEntry e;
        CinitStep step = cinit_step(p, avail, left, &e);
        size_t taken = 4;
        if (step == CinitStep::entry) {
            st = check_record_length(e.address, e.length);
            if (st != kOk) break;
            size_t size = 4 * kRecordHeaderWords + e.byte_count;
            if (size > static_cast<size_t>(room_end - out)) {
                out_commit(s, out);
                out = out_room(s, kEntryRoom);
                if (out == nullptr || size > kEntryRoom) break;
                room_end = out + kEntryRoom;
            }
            uint8_t* record = reinterpret_cast<uint8_t*>(out);
            put_binary_record(record, tag, e.address, e.length, e.data, e.byte_count);
            last_record = record;
            out += size;
            taken = 8 + e.byte_count;
        } else if (step != CinitStep::filler) {
            if (step == CinitStep::bad_table) st = kBadCinitTable;
            break;
        }
        p += taken;
        avail -= taken;
        left -= static_cast<int32_t>(taken);
    }
    if (out != nullptr) out_commit(s, out);
    cinit_skip(walk, static_cast<uint32_t>(p - start));
    run_state.cinit_left = left;
    if (last_record != nullptr) stage_record_header(last_record);
    return st;
}

// One record per entry of a .cinit table, its data taken where the walk found them. Its
// own loop, flattened like the pass, over up to hundreds of thousands of entries.
VELM_NOINLINE VELM_FLATTEN Status expand_cinit(uint32_t file_offset, uint32_t size,
                                               const RecordHeading& heading) {
    CinitWalk walk;
    cinit_begin(&walk, file_offset, size);
    const bool binary = run_state.binary_mode != 0;
    for (;;) {
        if (binary) {
            Status st = write_binary_entries(&walk, heading.tag);
            if (st != kOk) return st;
        }
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

// The common case of a long COFF2 section table in BINARY: runs of sections whose
// contents, held in memory by the input (its mapping or read-ahead window, in_window),
// become one small section record each. Each record is built straight in room reserved
// in the output buffer, with the table's position, the input's bytes and the room kept in
// registers. Stops at the end of its room (its caller then calls again: the room is
// fresh, a full buffer written out) and at anything else (another use, contents not
// wholly in memory or larger than the room, a record the length checks refuse, a failed
// write), which the general pass takes; *index is then the section to go on from, and
// every section before it is done.
constexpr size_t kSectionRoom = 4096;
constexpr uint32_t kQuickSectionSize = kSectionRoom - 4 * kRecordHeaderWords - 4;

VELM_NOINLINE Status write_binary_sections(uint32_t* index, uint32_t last,
                                           uint16_t* valid_sections) {
    RunState& rs = run_state;
    const InWindow window = in_window(rs.in_handle);
    char* out = out_room(rs.out_stream, kSectionRoom);
    if (window.size == 0 || out == nullptr) return kOk;
    char* room_end = out + kSectionRoom;
    const uint64_t window_begin = static_cast<uint64_t>(window.offset);
    const uint64_t window_end = window_begin + static_cast<uint64_t>(window.size);
    const uint8_t* const first = rs.section_table + size_t{*index - 1} * kSectionHeaderSize;
    const uint8_t* const end = rs.section_table + size_t{last} * kSectionHeaderSize;
    const uint8_t* header = first;
    const uint8_t* last_record = nullptr;  // the last record built
    uint16_t valid = *valid_sections;
    Status st = kOk;
    for (; header != end; header += kSectionHeaderSize) {
        prefetch_ahead(header, kTableAhead);
        CoffRecord r;
        SectionUse use = coff_record_at(header, &r);
        if (use != SectionUse::record) {
            if (use == SectionUse::skip) continue;
            if (use != SectionUse::unstored) break;
            ++valid;  // counted, nothing read
            continue;
        }
        // The contents rounded up to whole words, all in memory: the last word is
        // taken whole, and its bytes past the contents are then cleared.
        const uint64_t from = r.file_offset;
        const uint32_t padded = (r.size + 3) & ~3u;
        if (r.size > kQuickSectionSize || from < window_begin || from + padded > window_end) break;
        if (!ends_within(r.address, r.size, 0xFFFFFFFFu)) break;
        const size_t size = 4 * kRecordHeaderWords + padded;
        if (size > static_cast<size_t>(room_end - out)) break;
        if (in_window_view_fails()) {
            st = kReadError;
            break;
        }
        const uint8_t* bytes = window.data + (from - window_begin);
        uint8_t* record = reinterpret_cast<uint8_t*>(out);
        put_binary_record(record, kSectionRecordTag, r.address, r.size, bytes, padded);
        const uint32_t kept = 0xFFFFFFFFu >> ((0u - r.size) % 4 * 8);
        store_le32(record + size - 4, load_le32(bytes + padded - 4) & kept);
        out += size;
        last_record = record;
        ++valid;
    }
    if (out != nullptr) out_commit(rs.out_stream, out);
    *index += static_cast<uint32_t>((header - first) / kSectionHeaderSize);
    *valid_sections = valid;
    if (last_record != nullptr) stage_record_header(last_record);
    return st;
}

// The progress text "\rsection #<index> ..." of every section the pass reaches, from 1
// on. The texts are written when the pass stops, however it stops, for the sections it
// went through, the one that failed included: nothing else is written to the console
// while the pass runs, so the console receives the same bytes, in the same order, as if
// each text were written as its section began (the console is buffered either way).
//
// They are made ten at a time: the ten texts of a decade (10 to 19, 20 to 29, ...) are
// kept side by side, and differ from the next decade's in the digits before the last
// only; usually just the tens digit, which is then set in each of the ten.
constexpr char kProgressHead[] = "\rsection #";
constexpr char kProgressTail[] = " ...";
constexpr size_t kProgressHeadSize = sizeof kProgressHead - 1;
constexpr size_t kProgressTailSize = sizeof kProgressTail - 1;
constexpr size_t kProgressMaxSize = kProgressHeadSize + 10 + kProgressTailSize;

struct ProgressDecade {
    char texts[10 * kProgressMaxSize];  // the texts of last digit 0 to 9, each `size` bytes
    size_t size;
};

// Texts 1 to 9 made again from text 0, their last digit set.
void copy_decade_text(ProgressDecade* d) {
    const size_t last_digit = d->size - kProgressTailSize - 1;
    for (size_t k = 1; k < 10; ++k) {
        char* text = d->texts + k * d->size;
        std::memcpy(text, d->texts, d->size);
        text[last_digit] = static_cast<char>('0' + k);
    }
}

// Moves from one decade to the next: text 0 goes up by ten, and the other nine follow.
VELM_NOINLINE void progress_next_decade(ProgressDecade* d) {
    char* first = d->texts + kProgressHeadSize;
    char* const tens = d->texts + d->size - kProgressTailSize - 2;
    char* digit = tens;
    while (digit >= first && *digit == '9') *digit-- = '0';
    if (digit < first) {  // all nines, or no digit before the last: one digit more
        size_t digits = d->size - kProgressHeadSize - kProgressTailSize;
        first[0] = '1';
        std::memset(first + 1, '0', digits);
        std::memcpy(first + 1 + digits, kProgressTail, kProgressTailSize);
        ++d->size;
        copy_decade_text(d);
        return;
    }
    ++*digit;
    if (digit != tens) {  // a carry into the digits before
        copy_decade_text(d);
        return;
    }
    const size_t at = static_cast<size_t>(tens - d->texts);
    for (size_t k = 1; k < 10; ++k) d->texts[k * d->size + at] = *tens;
}

VELM_NOINLINE void print_progress(uint32_t sections, OutStream* console) {
    ProgressDecade d;
    std::memcpy(d.texts, kProgressHead, kProgressHeadSize);
    d.texts[kProgressHeadSize] = '0';
    std::memcpy(d.texts + kProgressHeadSize + 1, kProgressTail, kProgressTailSize);
    d.size = kProgressHeadSize + 1 + kProgressTailSize;
    copy_decade_text(&d);
    for (uint32_t decade = 0; decade <= sections; decade += 10) {
        uint32_t from = decade == 0 ? 1 : 0;  // there is no section 0
        uint32_t to = sections - decade < 9 ? sections - decade : 9;
        out_write_lines(console, d.texts + from * d.size, (to - from + 1) * d.size);
        progress_next_decade(&d);
    }
}

// The heading of a section's records. In TEXT it carries the comment line's name and
// attribute text, which depends on the flags and the record name: made once per section,
// however many records a .cinit table gives. Out of line, so that the BINARY pass stays a
// short loop.
VELM_NOINLINE void prepare_text_heading(SectionUse use, uint32_t flags, uint32_t type,
                                        const char* name, uint32_t tag, RecordHeading* heading) {
    // A COFF2 name is in the view's room of kShortNameSize bytes; ".cinit" in one as big.
    static const char kCinitName[kShortNameSize] = ".cinit";
    const bool cinit = use == SectionUse::cinit;
    const char* record_name = cinit ? kCinitName : name;
    size_t room = cinit || run_state.input_format != InputFormat::elf ? kShortNameSize : 0;
    char attrib[kAttributeTextSize];
    size_t attrib_size = section_attributes(use, flags, type, record_name, attrib, nullptr);
    prepare_heading(heading, tag, record_name, room, attrib, attrib_size);
}

// One counted section whose contents are stored: its section record, or the records of
// its .cinit table. The input is positioned at the contents first; contents small enough
// are used where the input holds them in memory (in_view).
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

// The sections 1 to `last` in order; the first failure ends the walk. *reached is the
// last section begun.
Status convert_each_section(uint32_t last, uint32_t* reached, uint16_t* valid_sections) {
    RunState& rs = run_state;
    const bool quick = rs.binary_mode && rs.input_format != InputFormat::elf;
    for (uint32_t i = 1; i <= last; ++i) {
        if (quick) {
            // One run after another while they make progress: each stops at the end of
            // its room in the output buffer.
            uint32_t from = i;
            uint32_t before;
            Status st;
            do {
                before = i;
                st = write_binary_sections(&i, last, valid_sections);
            } while (st == kOk && i > before && i <= last);
            if (i > from) *reached = i - 1;
            if (st != kOk) {
                *reached = i;  // the section whose contents could not be had
                return st;
            }
            if (i > last) break;
        }
        *reached = i;
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
VELM_FLATTEN Status convert_sections(OutStream* progress) {
    // Counted here and stored once the pass ends, however it ends: the record stores of
    // the loop would otherwise have them reloaded from the run state for every section.
    uint16_t valid_sections = 0;
    uint32_t reached = 0;
    Status st = convert_each_section(describe_input().last_section, &reached, &valid_sections);
    run_state.valid_sections = valid_sections;
    if (progress != nullptr) print_progress(reached, progress);
    return st == kOk ? write_end_record() : st;
}

}  // namespace velm
