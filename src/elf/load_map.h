// Which PT_LOAD header loads each section of an ELF executable.
//
// A section is loaded when it is part of the program image (SHF_ALLOC), has contents in
// the file (not SHT_NOBITS, sh_size not 0), and its file bytes (sh_offset, sh_size) lie
// wholly inside the file bytes (p_offset, p_filesz) of a PT_LOAD header; the first such
// header in table order loads it. The null section 0 is never loaded.
#ifndef C6X_VELM_ELF_LOAD_MAP_H
#define C6X_VELM_ELF_LOAD_MAP_H

#include <cstddef>
#include <cstdint>

#include "core/byte_order.h"

namespace velm {

// The 64-bit entries of working space build_load_map needs for the given table sizes.
size_t load_map_work_entries(uint32_t shnum, uint32_t phnum);

// Fills load_of[0 .. shnum - 1] with the index of the PT_LOAD header that loads each
// section, or kNotLoaded. `sections` holds shnum section headers and `programs` phnum
// program headers, as stored; `work` has load_map_work_entries(shnum, phnum) entries.
//
// Comparing every section with every header would take 4 billion steps for a damaged
// file of 65,279 sections and 65,534 headers, so the sections are swept in order of
// their end with the headers that reach at least as far, kept in a tree ordered by
// their start that yields the lowest index among those starting early enough:
// O((shnum + phnum) log phnum).
void build_load_map(ByteSpan sections, uint32_t shnum, ByteSpan programs, uint32_t phnum,
                    uint16_t* load_of, uint64_t* work);

}  // namespace velm

#endif
