#include "elf/elf_format.h"

#include <cstring>

#include "core/run_state.h"

namespace velm {

bool is_elf_magic(ByteSpan b) {
    static const uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
    return span_holds(b, 0, 4) && std::memcmp(b.data, kMagic, 4) == 0;
}

bool decode_elf_header(ByteSpan b, ElfHeader* h) {
    *h = ElfHeader{};
    if (!span_holds(b, 0, kElfHeaderSize)) return false;
    std::memcpy(h->e_ident, b.data, sizeof h->e_ident);
    read_le16(b, 16, &h->e_type);
    read_le16(b, 18, &h->e_machine);
    read_le32(b, 20, &h->e_version);
    read_le32(b, 24, &h->e_entry);
    read_le32(b, 28, &h->e_phoff);
    read_le32(b, 32, &h->e_shoff);
    read_le32(b, 36, &h->e_flags);
    read_le16(b, 40, &h->e_ehsize);
    read_le16(b, 42, &h->e_phentsize);
    read_le16(b, 44, &h->e_phnum);
    read_le16(b, 46, &h->e_shentsize);
    read_le16(b, 48, &h->e_shnum);
    read_le16(b, 50, &h->e_shstrndx);
    return true;
}

bool decode_elf_section_header(ByteSpan b, ElfSectionHeader* h) {
    *h = ElfSectionHeader{};
    if (!span_holds(b, 0, kElfSectionHeaderSize)) return false;
    read_le32(b, 0, &h->sh_name);
    read_le32(b, 4, &h->sh_type);
    read_le32(b, 8, &h->sh_flags);
    read_le32(b, 12, &h->sh_addr);
    read_le32(b, 16, &h->sh_offset);
    read_le32(b, 20, &h->sh_size);
    read_le32(b, 24, &h->sh_link);
    read_le32(b, 28, &h->sh_info);
    read_le32(b, 32, &h->sh_addralign);
    read_le32(b, 36, &h->sh_entsize);
    return true;
}

bool decode_elf_program_header(ByteSpan b, ElfProgramHeader* h) {
    *h = ElfProgramHeader{};
    if (!span_holds(b, 0, kElfProgramHeaderSize)) return false;
    read_le32(b, 0, &h->p_type);
    read_le32(b, 4, &h->p_offset);
    read_le32(b, 8, &h->p_vaddr);
    read_le32(b, 12, &h->p_paddr);
    read_le32(b, 16, &h->p_filesz);
    read_le32(b, 20, &h->p_memsz);
    read_le32(b, 24, &h->p_flags);
    read_le32(b, 28, &h->p_align);
    return true;
}

ByteSpan table_entry(ByteSpan table, uint32_t width, uint32_t index) {
    size_t at = size_t{index} * width;
    if (!span_holds(table, at, width)) return ByteSpan{nullptr, 0};
    return ByteSpan{table.data + at, table.size - at};
}

ElfSectionHeader elf_section_at(uint32_t index) {
    const RunState& rs = run_state;
    ElfSectionHeader h;
    ByteSpan table{rs.elf_section_table, size_t{rs.elf_header.e_shnum} * kElfSectionHeaderSize};
    decode_elf_section_header(table_entry(table, kElfSectionHeaderSize, index), &h);
    return h;
}

ElfProgramHeader elf_program_at(uint32_t index) {
    const RunState& rs = run_state;
    ElfProgramHeader h;
    ByteSpan table{rs.elf_program_table, size_t{rs.elf_header.e_phnum} * kElfProgramHeaderSize};
    decode_elf_program_header(table_entry(table, kElfProgramHeaderSize, index), &h);
    return h;
}

}  // namespace velm
