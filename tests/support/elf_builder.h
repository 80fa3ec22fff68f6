// Builds ELF32 executables for the C6000 (little-endian, EABI) for the tests, the fuzz
// corpus and the benchmark.
//
// The layout is what a linker writes: the ELF header, the program header table, the
// section contents in table order (4-byte aligned), the section name table, then the
// section header table. Section 0 is the null section; `sections[k]` becomes section
// k + 1 and the name table the last one. Every field can be overridden, so a test can
// build exactly the damaged file it needs.
#ifndef C6X_VELM_TESTS_SUPPORT_ELF_BUILDER_H
#define C6X_VELM_TESTS_SUPPORT_ELF_BUILDER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/coff_builder.h"

namespace velm_test {

constexpr uint32_t kShtProgbits = 1;
constexpr uint32_t kShtSymtab = 2;
constexpr uint32_t kShtStrtab = 3;
constexpr uint32_t kShtNobits = 8;
constexpr uint32_t kShfWrite = 0x1;
constexpr uint32_t kShfAlloc = 0x2;
constexpr uint32_t kShfExec = 0x4;
constexpr uint32_t kPtLoad = 1;
constexpr uint32_t kPtNote = 4;

struct ElfSection {
    std::string name;
    uint32_t type = kShtProgbits;
    uint32_t flags = 0;
    uint32_t addr = 0;                // sh_addr, the run address
    Bytes data;                       // contents stored in the file (none for SHT_NOBITS)
    std::optional<uint32_t> size;     // sh_size; default data.size()
    std::optional<uint32_t> offset;   // sh_offset; default where data is placed
    std::optional<uint32_t> name_at;  // sh_name; default the name's offset in the table
};

// A program header. By default its file bytes run from the start of the first to the end
// of the last section named in `covers`.
struct ElfSegment {
    uint32_t type = kPtLoad;
    uint32_t paddr = 0;  // load address of its first byte
    uint32_t vaddr = 0;
    std::vector<std::string> covers;  // section names
    std::optional<uint32_t> offset;   // p_offset
    std::optional<uint32_t> filesz;   // p_filesz
};

struct Elf {
    uint8_t ei_class = 1;
    uint8_t ei_data = 1;
    uint8_t ei_version = 1;
    uint16_t type = 2;
    uint16_t machine = 140;
    uint32_t version = 1;
    uint32_t entry = 0;
    std::vector<ElfSection> sections;
    std::vector<ElfSegment> segments;
    bool name_table = true;  // a .shstrtab after the sections; without one e_shstrndx is 0
    Bytes tail;              // raw bytes after the section header table
    std::optional<uint16_t> ehsize, phentsize, phnum, shentsize, shnum, shstrndx;
    std::optional<uint32_t> phoff, shoff;
};

Bytes build_elf(const Elf& elf);

// Where build_elf puts things, for tests that patch the bytes.
struct ElfLayout {
    uint32_t phoff = 0;
    uint32_t shoff = 0;
    std::vector<uint32_t> section_offset;  // of sections[k], as placed
    uint32_t names_offset = 0;             // of the name table
};
ElfLayout elf_layout(const Elf& elf);

// A loaded section: contents `data`, flags SHF_ALLOC plus `flags`, run address `addr`.
ElfSection alloc_section(const std::string& name, uint32_t flags, uint32_t addr, Bytes data);

// One PT_LOAD segment for each section named, loaded at `paddr`.
ElfSegment load_segment(uint32_t paddr, std::vector<std::string> covers);

// A realistic EABI program: code, constants, initialised data copied from flash (loaded
// at another address than it runs), the .cinit table as loaded data, uninitialised data
// and stack, and debug, symbol and string sections outside every segment.
Elf elf_example_program();

}  // namespace velm_test

#endif
