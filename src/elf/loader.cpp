#include "elf/loader.h"

#include <cstring>

#include "core/range.h"
#include "core/run_state.h"
#include "elf/elf_format.h"
#include "elf/load_map.h"
#include "platform/input_file.h"
#include "platform/memory.h"

namespace velm {

namespace {

// Reads `size` bytes at file offset `offset`. Callers have checked that they lie inside
// the file, which is at most 0x7FFFFFFF bytes long.
Status read_at(uint64_t offset, uint8_t* dest, uint64_t size) {
    if (size == 0) return kOk;
    if (in_seek(run_state.in_handle, static_cast<int64_t>(offset)) < 0) return kReadError;
    return read_exact(run_state.in_handle, dest, static_cast<int32_t>(size));
}

// A little-endian 32-bit C6000 executable in the current ELF version, without extended
// section or program header numbering.
Status check_identity(const ElfHeader& h) {
    bool ok = h.e_ident[4] == kElfClass32 && h.e_ident[5] == kElfDataLittle &&
              h.e_ident[6] == kElfVersionCurrent && h.e_type == kElfTypeExec &&
              h.e_machine == kElfMachineC6000 && h.e_version == kElfVersionCurrent &&
              h.e_shnum >= 1 && h.e_shnum <= kElfMaxSections && h.e_phnum < kElfExtendedPhnum;
    return ok ? kOk : kUnsupportedElf;
}

// The record sizes the tool decodes by, and both header tables inside the file.
Status check_header_tables(const ElfHeader& h, uint32_t length) {
    if (h.e_ehsize < kElfHeaderSize) return kBadElfFormat;
    if (h.e_shentsize != kElfSectionHeaderSize) return kBadElfFormat;
    if (h.e_phnum != 0 && h.e_phentsize != kElfProgramHeaderSize) return kBadElfFormat;
    if (h.e_shstrndx >= h.e_shnum) return kBadElfFormat;
    if (!ends_within(h.e_shoff, uint64_t{h.e_shnum} * kElfSectionHeaderSize, length)) {
        return kBadElfFormat;
    }
    if (h.e_phnum != 0 &&
        !ends_within(h.e_phoff, uint64_t{h.e_phnum} * kElfProgramHeaderSize, length)) {
        return kBadElfFormat;
    }
    return kOk;
}

// Both header tables into one block, and a second block for the load map. Their sizes
// follow from e_shnum and e_phnum, which the checks above bound (at most 4.7 MB and
// 130 KB), never from a size field of the file.
Status read_header_tables() {
    RunState& rs = run_state;
    const ElfHeader& h = rs.elf_header;
    uint64_t sections = uint64_t{h.e_shnum} * kElfSectionHeaderSize;
    uint64_t programs = uint64_t{h.e_phnum} * kElfProgramHeaderSize;
    rs.elf_area = static_cast<uint8_t*>(block_alloc(sections + programs));
    if (rs.elf_area == nullptr) return kOutOfMemory;
    rs.elf_load_map = static_cast<uint16_t*>(block_alloc(size_t{h.e_shnum} * sizeof(uint16_t)));
    if (rs.elf_load_map == nullptr) return kOutOfMemory;
    Status st = read_at(h.e_shoff, rs.elf_area, sections);
    if (st == kOk) st = read_at(h.e_phoff, rs.elf_area + sections, programs);
    if (st != kOk) return st;
    rs.elf_section_table = rs.elf_area;
    rs.elf_program_table = rs.elf_area + sections;
    return kOk;
}

// The listing prints the name of every section that is part of the program image, and
// the TEXT image that of every loaded one, in full. A sound file stores each such name
// once, so together they are no longer than the file; a damaged one whose sections all
// name the same long text would make a small input print gigabytes. Each name is
// measured only as far as the budget left, so the work stays linear.
Status check_listed_names() {
    const RunState& rs = run_state;
    uint64_t budget = rs.in_length;
    for (uint32_t i = 1; i < rs.elf_header.e_shnum && rs.elf_names != nullptr; ++i) {
        ElfSectionHeader sh = elf_section_at(i);
        if ((sh.sh_flags & SHF_ALLOC) == 0 || sh.sh_size == 0) continue;
        const uint8_t* name = rs.elf_names + sh.sh_name;
        uint64_t room = rs.elf_names_size - sh.sh_name;
        size_t look = static_cast<size_t>(room < budget + 1 ? room : budget + 1);
        const void* end = std::memchr(name, 0, look);
        if (end == nullptr) return kBadElfFormat;
        budget -= static_cast<uint64_t>(static_cast<const uint8_t*>(end) - name);
    }
    return kOk;
}

// The section name table, read whole: it lies inside the file, so its size is bounded
// by the file's. Every section's name must start inside it and end with a zero byte
// inside it, which holds exactly when it starts at or before the table's last zero byte.
Status load_names() {
    RunState& rs = run_state;
    if (rs.elf_header.e_shstrndx == 0) return kOk;  // no name table: every name is empty
    ElfSectionHeader table = elf_section_at(rs.elf_header.e_shstrndx);
    if (!ends_within(table.sh_offset, table.sh_size, rs.in_length)) return kBadElfFormat;
    if (table.sh_size == 0) return kBadElfFormat;  // not even the null section's name fits
    rs.elf_names = static_cast<uint8_t*>(block_alloc(table.sh_size));
    if (rs.elf_names == nullptr) return kOutOfMemory;
    rs.elf_names_size = table.sh_size;
    Status st = read_at(table.sh_offset, rs.elf_names, table.sh_size);
    if (st != kOk) return st;

    uint32_t end = rs.elf_names_size;
    while (end > 0 && rs.elf_names[end - 1] != 0) --end;
    if (end == 0) return kBadElfFormat;  // no zero byte: no name ends inside the table
    uint32_t last_zero = end - 1;
    for (uint32_t i = 0; i < rs.elf_header.e_shnum; ++i) {
        if (elf_section_at(i).sh_name > last_zero) return kBadElfFormat;
    }
    return check_listed_names();
}

// Every PT_LOAD header's file bytes lie inside the file.
Status check_segments() {
    const RunState& rs = run_state;
    for (uint32_t j = 0; j < rs.elf_header.e_phnum; ++j) {
        ElfProgramHeader ph = elf_program_at(j);
        if (ph.p_type == PT_LOAD && !ends_within(ph.p_offset, ph.p_filesz, rs.in_length)) {
            return kBadElfFormat;
        }
    }
    return kOk;
}

// Decides which sections are loaded; each must end at or below address 0xFFFFFFFF (the
// bound every record is held to), and the headers and all loaded contents must fit in
// the file together. In a sound file they never share bytes; a damaged file whose
// sections all point at the same bytes must not make a small input write a huge image.
Status check_loaded_sections() {
    RunState& rs = run_state;
    const ElfHeader& h = rs.elf_header;
    // Working space for this step alone: at most 2.6 MB, from e_shnum and e_phnum.
    size_t work_entries = load_map_work_entries(h.e_shnum, h.e_phnum);
    uint64_t* work = static_cast<uint64_t*>(block_alloc(work_entries * sizeof(uint64_t)));
    if (work == nullptr) return kOutOfMemory;
    build_load_map(ByteSpan{rs.elf_section_table, size_t{h.e_shnum} * kElfSectionHeaderSize},
                   h.e_shnum,
                   ByteSpan{rs.elf_program_table, size_t{h.e_phnum} * kElfProgramHeaderSize},
                   h.e_phnum, rs.elf_load_map, work);
    block_free(work);
    uint64_t total = kElfHeaderSize + uint64_t{h.e_phnum} * kElfProgramHeaderSize +
                     uint64_t{h.e_shnum} * kElfSectionHeaderSize;
    for (uint32_t i = 1; i < h.e_shnum; ++i) {
        if (rs.elf_load_map[i] == kNotLoaded) continue;
        ElfSectionHeader sh = elf_section_at(i);
        uint64_t address = load_address_in(sh, elf_program_at(rs.elf_load_map[i]));
        if (!ends_within(address, sh.sh_size, 0xFFFFFFFFu)) return kBadElfFormat;
        total += sh.sh_size;
    }
    return total <= rs.in_length ? kOk : kBadElfFormat;
}

}  // namespace

Status load_elf_input(const uint8_t* first_bytes, uint32_t count) {
    RunState& rs = run_state;
    rs.input_format = InputFormat::elf;
    uint8_t raw[kElfHeaderSize];
    uint32_t have = count < kElfHeaderSize ? count : kElfHeaderSize;
    std::memcpy(raw, first_bytes, have);
    int64_t rest = kElfHeaderSize - have;
    if (in_read(rs.in_handle, raw + have, rest) != rest) return kReadError;
    decode_elf_header(ByteSpan{raw, sizeof raw}, &rs.elf_header);

    Status st = check_identity(rs.elf_header);
    if (st == kOk) st = check_header_tables(rs.elf_header, rs.in_length);
    if (st == kOk) st = read_header_tables();
    if (st == kOk) st = load_names();
    if (st == kOk) st = check_segments();
    if (st == kOk) st = check_loaded_sections();
    return st;
}

}  // namespace velm
