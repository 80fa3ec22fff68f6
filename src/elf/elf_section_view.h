// Each section of an ELF executable as the conversion pass and the listing see it (its
// SectionView), and its attribute text.
#ifndef C6X_VELM_ELF_ELF_SECTION_VIEW_H
#define C6X_VELM_ELF_ELF_SECTION_VIEW_H

#include <cstdint>

#include "core/section_view.h"

namespace velm {

// Section `index` (from 1 to e_shnum - 1) of the loaded file. A loaded section (see
// elf/load_map.h) becomes one section record of its file bytes at its load address: the
// loading segment's p_paddr plus the section's distance from the segment's start. Nothing
// else is written: not uninitialised data, not debug or symbol sections, and not the
// .cinit table either, which the EABI start-up code reads from memory itself, so it is
// loaded as the ordinary data it is. Every section with SHF_ALLOC and contents is listed;
// one that is not loaded shows its run address sh_addr twice.
SectionView elf_section_view(uint32_t index);

// "exec" (SHF_EXECINSTR), "init" (loaded: `use` record), "uninit" (SHT_NOBITS) or "",
// the first that applies.
const char* elf_attribute_text(SectionUse use, uint32_t sh_flags, uint32_t sh_type);

}  // namespace velm

#endif
