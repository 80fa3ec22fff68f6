// The three records of an ELF32 executable that c6x_velm reads, decoded, with the System
// V ABI's field names.
//
// The run state holds the ELF header; the section and program headers are read from the
// ELF tables' area when needed. Their on-disk layout and the decoders live with the ELF
// reader (elf/elf_format.h).
#ifndef C6X_VELM_CORE_ELF_RECORDS_H
#define C6X_VELM_CORE_ELF_RECORDS_H

#include <cstdint>

namespace velm {

struct ElfHeader {
    uint8_t e_ident[16];
    uint16_t e_type;
    uint16_t e_machine;
    uint32_t e_version;
    uint32_t e_entry;
    uint32_t e_phoff;
    uint32_t e_shoff;
    uint32_t e_flags;
    uint16_t e_ehsize;
    uint16_t e_phentsize;
    uint16_t e_phnum;
    uint16_t e_shentsize;
    uint16_t e_shnum;
    uint16_t e_shstrndx;
};

struct ElfSectionHeader {
    uint32_t sh_name;
    uint32_t sh_type;
    uint32_t sh_flags;
    uint32_t sh_addr;
    uint32_t sh_offset;
    uint32_t sh_size;
    uint32_t sh_link;
    uint32_t sh_info;
    uint32_t sh_addralign;
    uint32_t sh_entsize;
};

struct ElfProgramHeader {
    uint32_t p_type;
    uint32_t p_offset;
    uint32_t p_vaddr;
    uint32_t p_paddr;
    uint32_t p_filesz;
    uint32_t p_memsz;
    uint32_t p_flags;
    uint32_t p_align;
};

}  // namespace velm

#endif
