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

#include "core/byte_order.h"
#include "core/coff_records.h"

namespace velm {

constexpr uint16_t kCoff2Version = 0x00C2;
constexpr uint16_t kC6000Target = 0x0099;
constexpr uint16_t kOptMagic = 0x0108;
constexpr uint16_t kRequiredFlags = 0x0103;  // F_RELFLG | F_EXEC | F_LITTLE
constexpr uint32_t kFileHeaderSize = 22;
constexpr uint32_t kOptHeaderSize = 28;
constexpr uint32_t kSectionHeaderSize = 48;

constexpr uint32_t STYP_COPY = 0x10;
constexpr uint32_t STYP_TEXT = 0x20;
constexpr uint32_t STYP_DATA = 0x40;
constexpr uint32_t STYP_BSS = 0x80;

// Decoders: false when `b` is shorter than the record; the record is then zeroed.
bool decode_file_header(ByteSpan b, FileHeader* h);
bool decode_opt_header(ByteSpan b, OptHeader* h);
bool decode_section_header(ByteSpan b, SectionHeader* h);

// The section header at `at`, a position inside the run state's header area; zeroed if
// `at` is not a whole header inside it.
SectionHeader section_at(const uint8_t* at);

// The loaded file's optional header; zeroed when the file has none.
OptHeader optional_header();

}  // namespace velm

#endif
