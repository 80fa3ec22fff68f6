// TI COFF version 2 records, as stored little-endian in a C6000 executable.
//
// Records are decoded field by field through bounds-checked readers; a buffer is never
// reinterpreted as a struct.
//
// File header, 22 bytes at offset 0:
//   off width field        check
//    0   2    f_version    must be 0x00C2 (COFF2)
//    2   2    f_nscns      section headers; must not be 0
//    4   4    f_timdat     -
//    8   4    f_symptr     must be below the file length (the table is never read)
//   12   4    f_nsyms      -
//   16   2    f_opthdr     0 (no optional header) or 28
//   18   2    f_flags      F_RELFLG|F_EXEC|F_LITTLE (0x0103) all set
//   20   2    f_target_id  must be 0x0099 (TMS320C6000)
//
// Optional header, 28 bytes at offset 22 when f_opthdr is 28:
//    0   2    o_magic      must be 0x0108
//    2   2    o_vstamp; 4 o_tsize; 8 o_dsize; 12 o_bsize   -
//   16   4    o_entry      entry point, printed
//   20   4    o_text_start; 24 o_data_start                 -
//
// Section header, 48 bytes each, directly after the optional (or file) header:
//    0   8    s_name       NUL-padded; a string-table name starts with 4 zero bytes
//    8   4    s_paddr      run address
//   12   4    s_vaddr      load address, the address of the section's record
//   16   4    s_size       contents in bytes; 0 = empty
//   20   4    s_scnptr     file offset of the contents; 0 = not stored in the file
//   24   4    s_relptr; 28 s_lnnoptr; 32 s_nreloc; 36 s_nlnno  -
//   40   4    s_flags      STYP_* bits
//   44   2    s_reserved; 46 s_page                       -
#ifndef C6X_VELM_COFF_COFF_FORMAT_H
#define C6X_VELM_COFF_COFF_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/byte_order.h"
#include "core/coff_records.h"
#include "core/run_state.h"

namespace velm {

constexpr uint16_t kCoff2Version = 0x00C2;
constexpr uint16_t kC6000Target = 0x0099;
constexpr uint16_t kOptMagic = 0x0108;
constexpr uint16_t kRequiredFlags = 0x0103;  // F_RELFLG | F_EXEC | F_LITTLE
constexpr uint32_t kFileHeaderSize = 22;
constexpr uint32_t kOptHeaderSize = 28;
constexpr uint32_t kSectionHeaderSize = 48;

// Offsets of the section header fields read for every section of a long table.
constexpr size_t kVaddrField = 12;   // s_vaddr
constexpr size_t kSizeField = 16;    // s_size
constexpr size_t kScnptrField = 20;  // s_scnptr
constexpr size_t kFlagsField = 40;   // s_flags

constexpr uint32_t STYP_COPY = 0x10;
constexpr uint32_t STYP_TEXT = 0x20;
constexpr uint32_t STYP_DATA = 0x40;
constexpr uint32_t STYP_BSS = 0x80;

// Decoders: false when `b` is shorter than the record; the record is then zeroed.
bool decode_file_header(ByteSpan b, FileHeader* h);
bool decode_opt_header(ByteSpan b, OptHeader* h);

// The section header decoders are inline: the loader, the conversion and the listing
// decode every header of a table of up to 65,535, and each uses a few fields only.
//
// Header `index` (from 0) of a table of headers: false, and zeroed, when it does not lie
// wholly inside `table`.
inline bool read_section_header(ByteSpan table, uint32_t index, SectionHeader* h) {
    size_t offset = size_t{index} * kSectionHeaderSize;
    if (!span_holds(table, offset, kSectionHeaderSize)) {
        *h = SectionHeader{};
        return false;
    }
    const uint8_t* p = table.data + offset;
    std::memcpy(h->s_name, p, 8);
    h->s_paddr = load_le32(p + 8);
    h->s_vaddr = load_le32(p + 12);
    h->s_size = load_le32(p + kSizeField);
    h->s_scnptr = load_le32(p + kScnptrField);
    h->s_relptr = load_le32(p + 24);
    h->s_lnnoptr = load_le32(p + 28);
    h->s_nreloc = load_le32(p + 32);
    h->s_nlnno = load_le32(p + 36);
    h->s_flags = load_le32(p + kFlagsField);
    h->s_reserved = load_le16(p + 44);
    h->s_page = load_le16(p + 46);
    return true;
}

inline bool decode_section_header(ByteSpan b, SectionHeader* h) {
    return read_section_header(b, 0, h);
}

// Header `index` (from 1 to f_nscns) of the loaded section table: false, and zeroed,
// when there is no such header.
inline bool loaded_section_header(uint32_t index, SectionHeader* h) {
    const RunState& rs = run_state;
    if (rs.section_table == nullptr || index == 0 || index > rs.file_header.f_nscns) {
        *h = SectionHeader{};
        return false;
    }
    const uint8_t* p = rs.section_table + size_t{index - 1} * kSectionHeaderSize;
    return read_section_header(ByteSpan{p, kSectionHeaderSize}, 0, h);
}

// The loaded section table (f_nscns headers in the run state's header area); empty
// before it is loaded.
inline ByteSpan section_table() {
    const RunState& rs = run_state;
    if (rs.section_table == nullptr) return ByteSpan{nullptr, 0};
    return ByteSpan{rs.section_table, size_t{rs.file_header.f_nscns} * kSectionHeaderSize};
}

// The loaded file's optional header; zeroed when the file has none.
OptHeader optional_header();

}  // namespace velm

#endif
