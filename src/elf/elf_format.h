// ELF32 records, as stored little-endian in a C6000 executable (the C6000 EABI).
//
// Records are decoded field by field through bounds-checked readers; a buffer is never
// reinterpreted as a struct. Only the fields the tool uses are checked.
//
// ELF header, 52 bytes at offset 0:
//   off width field         check
//    0  16    e_ident       0x7F 'E' 'L' 'F'; [4] EI_CLASS 1 (32-bit); [5] EI_DATA 1
//                           (little-endian); [6] EI_VERSION 1; the rest is not examined
//   16   2    e_type        2 (ET_EXEC)
//   18   2    e_machine     140 (EM_TI_C6000)
//   20   4    e_version     1
//   24   4    e_entry       entry point, printed
//   28   4    e_phoff       program header table; inside the file when e_phnum is not 0
//   32   4    e_shoff       section header table; inside the file
//   36   4    e_flags       -
//   40   2    e_ehsize      at least 52
//   42   2    e_phentsize   32 when e_phnum is not 0
//   44   2    e_phnum       below 0xFFFF (PN_XNUM: extended numbering is not read)
//   46   2    e_shentsize   40
//   48   2    e_shnum       1 to 0xFEFF (0 would mean extended numbering)
//   50   2    e_shstrndx    below e_shnum; 0 means no name table, every name empty
//
// Section header, 40 bytes each at e_shoff; section 0 is the null section:
//    0   4    sh_name       offset of the name in the name table; the name and its
//                           terminating zero byte lie inside the table
//    4   4    sh_type       SHT_NOBITS (8): no contents in the file
//    8   4    sh_flags      SHF_ALLOC (0x2): part of the program image;
//                           SHF_EXECINSTR (0x4): code
//   12   4    sh_addr       run address
//   16   4    sh_offset     file offset of the contents
//   20   4    sh_size       size in bytes
//   24  16    sh_link, sh_info, sh_addralign, sh_entsize   -
//
// Program header, 32 bytes each at e_phoff:
//    0   4    p_type        PT_LOAD (1): a segment loaded from the file
//    4   4    p_offset      file offset of the segment's bytes; with p_filesz inside the
//                           file for every PT_LOAD header
//    8   4    p_vaddr       -
//   12   4    p_paddr       load address of the segment's first byte
//   16   4    p_filesz      bytes of the segment stored in the file
//   20  12    p_memsz, p_flags, p_align   -
#ifndef C6X_VELM_ELF_ELF_FORMAT_H
#define C6X_VELM_ELF_ELF_FORMAT_H

#include <cstdint>

#include "core/byte_order.h"
#include "core/elf_records.h"

namespace velm {

constexpr uint32_t kElfHeaderSize = 52;
constexpr uint32_t kElfSectionHeaderSize = 40;
constexpr uint32_t kElfProgramHeaderSize = 32;

constexpr uint8_t kElfClass32 = 1;
constexpr uint8_t kElfDataLittle = 1;
constexpr uint8_t kElfVersionCurrent = 1;
constexpr uint16_t kElfTypeExec = 2;
constexpr uint16_t kElfMachineC6000 = 140;
constexpr uint16_t kElfMaxSections = 0xFEFF;  // below SHN_LORESERVE
constexpr uint16_t kElfExtendedPhnum = 0xFFFF;

constexpr uint32_t SHT_NOBITS = 8;
constexpr uint32_t SHF_ALLOC = 0x2;
constexpr uint32_t SHF_EXECINSTR = 0x4;
constexpr uint32_t PT_LOAD = 1;

// The load map's entry for a section that no PT_LOAD header loads. e_phnum is below
// 0xFFFF, so no header has this index.
constexpr uint16_t kNotLoaded = 0xFFFF;

// True when `b` begins with the ELF magic 0x7F 'E' 'L' 'F'.
bool is_elf_magic(ByteSpan b);

// Decoders: false when `b` is shorter than the record; the record is then zeroed.
bool decode_elf_header(ByteSpan b, ElfHeader* h);
bool decode_elf_section_header(ByteSpan b, ElfSectionHeader* h);
bool decode_elf_program_header(ByteSpan b, ElfProgramHeader* h);

// Entry `index` of a table of `width`-byte entries, as the span from its first byte to
// the table's end; empty when the entry does not lie wholly inside `table`.
ByteSpan table_entry(ByteSpan table, uint32_t width, uint32_t index);

// The load address of a section's first byte when the segment `ph` loads it (its file
// bytes lie inside the segment's): the segment's address plus the section's distance
// from the segment's start in the file. 64 bits: a damaged file may place it past 2^32.
inline uint64_t load_address_in(const ElfSectionHeader& sh, const ElfProgramHeader& ph) {
    return uint64_t{ph.p_paddr} + (uint64_t{sh.sh_offset} - ph.p_offset);
}

// Section `index` and program header `index` of the loaded file's tables; zeroed when
// the index lies outside the table.
ElfSectionHeader elf_section_at(uint32_t index);
ElfProgramHeader elf_program_at(uint32_t index);

}  // namespace velm

#endif
