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

struct FileHeader {
    uint16_t f_version;
    uint16_t f_nscns;
    uint32_t f_timdat;
    uint32_t f_symptr;
    uint32_t f_nsyms;
    uint16_t f_opthdr;
    uint16_t f_flags;
    uint16_t f_target_id;
};

struct OptHeader {
    uint16_t o_magic;
    uint16_t o_vstamp;
    uint32_t o_tsize;
    uint32_t o_dsize;
    uint32_t o_bsize;
    uint32_t o_entry;
    uint32_t o_text_start;
    uint32_t o_data_start;
};

struct SectionHeader {
    uint8_t s_name[8];
    uint32_t s_paddr;
    uint32_t s_vaddr;
    uint32_t s_size;
    uint32_t s_scnptr;
    uint32_t s_relptr;
    uint32_t s_lnnoptr;
    uint32_t s_nreloc;
    uint32_t s_nlnno;
    uint32_t s_flags;
    uint16_t s_reserved;
    uint16_t s_page;
};

// A read-only view of bytes. Readers check every access against `size`.
struct ByteSpan {
    const uint8_t* data;
    size_t size;
};

// Little-endian readers: false (and *out = 0) when the field does not lie inside `b`.
bool read_le16(ByteSpan b, size_t offset, uint16_t* out);
bool read_le32(ByteSpan b, size_t offset, uint32_t* out);

// Decoders: false when `b` is shorter than the record; the record is then zeroed.
bool decode_file_header(ByteSpan b, FileHeader* h);
bool decode_opt_header(ByteSpan b, OptHeader* h);
bool decode_section_header(ByteSpan b, SectionHeader* h);

}  // namespace velm

#endif
