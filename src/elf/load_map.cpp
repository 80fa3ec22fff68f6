#include "elf/load_map.h"

#include <algorithm>

#include "elf/elf_format.h"

namespace velm {

namespace {

// Sort keys: a file offset (below 2^33, as an offset and a size of 32 bits each sum to
// at most that) above a 16-bit table index, so one plain sort of 64-bit numbers orders
// headers and sections by offset. Descending orders store the offset's complement.
constexpr int kIndexBits = 16;
constexpr uint64_t kOffsetMask = (uint64_t{1} << 34) - 1;

uint64_t key(uint64_t offset, uint32_t index) {
    return (offset << kIndexBits) | index;
}
uint64_t key_descending(uint64_t offset, uint32_t index) {
    return key(kOffsetMask - offset, index);
}
uint16_t index_of(uint64_t k) {
    return static_cast<uint16_t>(k & 0xFFFF);
}

// A Fenwick tree over positions 1..n keeping, for every prefix, the lowest value stored
// at a position inside it.
void tree_lower(uint64_t* tree, uint32_t n, uint32_t position, uint64_t value) {
    for (; position <= n; position += position & (0u - position)) {
        if (value < tree[position]) tree[position] = value;
    }
}

uint64_t tree_lowest(const uint64_t* tree, uint32_t position) {
    uint64_t lowest = kNotLoaded;
    for (; position > 0; position -= position & (0u - position)) {
        if (tree[position] < lowest) lowest = tree[position];
    }
    return lowest;
}

}  // namespace

size_t load_map_work_entries(uint32_t shnum, uint32_t phnum) {
    // Keys of the headers by start and by end and of the sections by end, each header's
    // rank by start, and the tree (from 1).
    return size_t{phnum} * 4 + shnum + 1;
}

void build_load_map(ByteSpan sections, uint32_t shnum, ByteSpan programs, uint32_t phnum,
                    uint16_t* load_of, uint64_t* work) {
    uint64_t* by_begin = work;
    uint64_t* by_end = by_begin + phnum;
    uint64_t* candidates = by_end + phnum;
    uint64_t* rank = candidates + shnum;
    uint64_t* tree = rank + phnum;

    uint32_t loads = 0;
    for (uint32_t j = 0; j < phnum; ++j) {
        ElfProgramHeader ph;
        decode_elf_program_header(table_entry(programs, kElfProgramHeaderSize, j), &ph);
        if (ph.p_type != PT_LOAD) continue;
        by_begin[loads] = key(ph.p_offset, j);
        by_end[loads] = key_descending(uint64_t{ph.p_offset} + ph.p_filesz, j);
        ++loads;
    }
    uint32_t count = 0;
    for (uint32_t i = 0; i < shnum; ++i) {
        load_of[i] = kNotLoaded;
        ElfSectionHeader sh;
        decode_elf_section_header(table_entry(sections, kElfSectionHeaderSize, i), &sh);
        if (i == 0 || (sh.sh_flags & SHF_ALLOC) == 0 || sh.sh_type == SHT_NOBITS ||
            sh.sh_size == 0) {
            continue;
        }
        candidates[count++] = key_descending(uint64_t{sh.sh_offset} + sh.sh_size, i);
    }
    std::sort(by_begin, by_begin + loads);
    std::sort(by_end, by_end + loads);
    std::sort(candidates, candidates + count);
    for (uint32_t r = 0; r < loads; ++r) rank[index_of(by_begin[r])] = r;
    std::fill(tree, tree + loads + 1, uint64_t{kNotLoaded});

    // Sections by decreasing end: before each, every header reaching at least as far is
    // in the tree, at its rank by start. (A smaller descending key is a larger end.)
    uint32_t entered = 0;
    for (uint32_t c = 0; c < count; ++c) {
        uint16_t i = index_of(candidates[c]);
        uint64_t end_key = candidates[c] >> kIndexBits;
        for (; entered < loads && (by_end[entered] >> kIndexBits) <= end_key; ++entered) {
            uint16_t j = index_of(by_end[entered]);
            tree_lower(tree, loads, static_cast<uint32_t>(rank[j]) + 1u, j);
        }
        // Headers that start at or before the section: a prefix of the order by start.
        ElfSectionHeader sh;
        decode_elf_section_header(table_entry(sections, kElfSectionHeaderSize, i), &sh);
        uint64_t* past = std::upper_bound(by_begin, by_begin + loads, key(sh.sh_offset, 0xFFFF));
        load_of[i] =
            static_cast<uint16_t>(tree_lowest(tree, static_cast<uint32_t>(past - by_begin)));
    }
}

}  // namespace velm
