#include "elf/elf_section_view.h"

#include "core/run_state.h"
#include "elf/elf_format.h"

namespace velm {

namespace {

// A name from the loaded name table; the loader has checked that it starts inside the
// table and ends with a zero byte there. Without a table every name is empty.
const char* section_name(uint32_t sh_name) {
    const RunState& rs = run_state;
    if (rs.elf_names == nullptr || sh_name >= rs.elf_names_size) return "";
    return reinterpret_cast<const char*>(rs.elf_names + sh_name);
}

}  // namespace

SectionView elf_section_view(uint32_t index) {
    const RunState& rs = run_state;
    ElfSectionHeader sh = elf_section_at(index);
    uint16_t load = kNotLoaded;
    if (rs.elf_load_map != nullptr && index < rs.elf_header.e_shnum) load = rs.elf_load_map[index];
    bool loaded = load != kNotLoaded;
    SectionView v;
    v.use = loaded ? SectionUse::record : SectionUse::skip;
    v.listed = index != 0 && (sh.sh_flags & SHF_ALLOC) != 0 && sh.sh_size != 0;
    v.copy = false;
    v.load_address =
        loaded ? static_cast<uint32_t>(load_address_in(sh, elf_program_at(load))) : sh.sh_addr;
    v.run_address = sh.sh_addr;
    v.size = sh.sh_size;
    v.file_offset = sh.sh_offset;
    v.flags = sh.sh_flags;
    v.type = sh.sh_type;
    v.name = section_name(sh.sh_name);
    return v;
}

const char* elf_attribute_text(SectionUse use, uint32_t sh_flags, uint32_t sh_type) {
    if (sh_flags & SHF_EXECINSTR) return "exec";
    if (use == SectionUse::record) return "init";
    if (sh_type == SHT_NOBITS) return "uninit";
    return "";
}

}  // namespace velm
