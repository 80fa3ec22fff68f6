#include "writer/convert.h"

#include <cstdint>
#include <cstring>

#include "core/byte_order.h"
#include "core/range.h"
#include "core/run_state.h"
#include "core/section_view.h"
#include "input/input.h"
#include "platform/input_file.h"
#include "platform/stream.h"
#include "writer/hex_format.h"
#include "writer/velm_writer.h"

namespace velm {

namespace {

// Reads one little-endian table word; kReadError when fewer than 4 bytes arrive.
Status read_table_word(uint32_t* word) {
    uint8_t b[4];
    if (in_read(run_state.in_handle, b, 4) != 4) return kReadError;
    *word = load_le32(b);
    return kOk;
}

// The .cinit table, read from the section's start:
//
//   { length L (non-zero, below 0x80000000), address A, L data bytes, 0-3 rounding bytes }
//   or a zero word (4 bytes of filler)
//   ... repeated, then one zero word that fills the section's last 4 bytes exactly.
//
// Every entry must leave room for at least the final word after it, so `cinit_left`
// stays positive and the walk ends only at the final word or with a failure. Entries
// are written as they are read: records before a faulty entry stay in the output.
Status expand_cinit(uint32_t section_size, const char* attrib) {
    RunState& rs = run_state;
    rs.cinit_left = static_cast<int32_t>(section_size);
    while (rs.cinit_left != 4) {
        if (rs.cinit_left < 4) return kBadCinitTable;
        uint32_t len_word;
        Status st = read_table_word(&len_word);
        if (st != kOk) return st;
        rs.cinit_len = static_cast<int32_t>(len_word);
        if (len_word == 0) {
            rs.cinit_left -= 4;
            continue;
        }
        // A length with the top bit set cannot describe bytes of a 4 MiB file.
        if (len_word >= 0x80000000u) return kBadCinitTable;
        int64_t padded = (int64_t{rs.cinit_len} + 3) / 4 * 4;
        rs.cinit_len_padded = static_cast<int32_t>(padded);
        if (rs.cinit_left < 12) return kBadCinitTable;
        st = read_table_word(&rs.cinit_addr);
        if (st != kOk) return st;
        // The entry's words, its rounded data and the final word after it must fit.
        if (!ends_within(static_cast<uint64_t>(padded), 12, static_cast<uint64_t>(rs.cinit_left)))
            return kBadCinitTable;
        st = check_record_length(rs.cinit_addr, len_word);
        if (st != kOk) return st;
        st = write_record(rs.cinit_addr, len_word, static_cast<uint32_t>(padded), kCinitRecordTag,
                          ".cinit", attrib);
        if (st != kOk) return st;
        rs.cinit_left -= static_cast<int32_t>(padded + 8);
    }
    uint32_t final_word;
    Status st = read_table_word(&final_word);
    if (st != kOk) return st;
    return final_word == 0 ? kOk : kBadCinitTable;
}

// "\rsection #<index> ...", once for every section: built with the lengths of its fixed
// parts known when compiling.
void print_progress(uint32_t index) {
    static const char kHead[] = "\rsection #";
    static const char kTail[] = " ...";
    char line[32];
    std::memcpy(line, kHead, sizeof kHead - 1);
    char* p = put_decimal(line + sizeof kHead - 1, index);
    std::memcpy(p, kTail, sizeof kTail - 1);
    p += sizeof kTail - 1;
    out_write(console(), line, static_cast<size_t>(p - line));
}

// One counted section whose contents the input stands at: its section record, or the
// records of its .cinit table. The attribute text serves the TEXT comment lines alone
// and depends on the flags and the record name: made once per section, however many
// records a .cinit table gives.
Status convert_section(const SectionView& v) {
    const char* record_name = v.use == SectionUse::cinit ? ".cinit" : view_name(v);
    char attrib[kAttributeTextSize];
    attrib[0] = '\0';
    if (!run_state.binary_mode) section_attributes(v, record_name, attrib, nullptr);
    if (v.use == SectionUse::cinit) return expand_cinit(v.size, attrib);
    Status st = check_record_length(v.load_address, v.size);
    if (st != kOk) return st;
    return write_record(v.load_address, v.size, v.size, kSectionRecordTag, record_name, attrib);
}

}  // namespace

Status convert_sections() {
    RunState& rs = run_state;
    rs.valid_sections = 0;
    uint32_t last = describe_input().last_section;
    for (uint32_t i = 1; i <= last; ++i) {
        print_progress(i);
        SectionView v = section_view(i);
        if (v.use == SectionUse::skip) continue;
        ++rs.valid_sections;
        if (v.use == SectionUse::unstored) continue;
        if (in_seek(rs.in_handle, v.file_offset) < 0) return kReadError;
        // Copy-data sections other than .cinit hold load-time tables for other tools.
        if (v.use == SectionUse::passed) continue;
        Status st = convert_section(v);
        if (st != kOk) return st;
    }
    return write_end_record();
}

}  // namespace velm
