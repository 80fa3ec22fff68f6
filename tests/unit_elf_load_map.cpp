// Which PT_LOAD header loads each section: the sweep against the definition, applied
// header by header, on many random tables, and on tables too large to compare pairwise.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "elf/elf_format.h"
#include "elf/load_map.h"
#include "support/coff_builder.h"

namespace {

using velm::ByteSpan;
using velm::kNotLoaded;
using velm_test::Bytes;
using velm_test::put_le32;

struct Section {
    uint32_t type, flags, offset, size;
};
struct Segment {
    uint32_t type, offset, filesz;
};

Bytes section_table(const std::vector<Section>& sections) {
    Bytes b;
    for (const Section& s : sections) {
        for (uint32_t v : {0u, s.type, s.flags, 0u, s.offset, s.size, 0u, 0u, 0u, 0u}) {
            put_le32(&b, v);
        }
    }
    return b;
}

Bytes program_table(const std::vector<Segment>& segments) {
    Bytes b;
    for (const Segment& p : segments) {
        for (uint32_t v : {p.type, p.offset, 0u, 0u, p.filesz, 0u, 0u, 0u}) put_le32(&b, v);
    }
    return b;
}

std::vector<uint16_t> load_map(const std::vector<Section>& sections,
                               const std::vector<Segment>& segments) {
    Bytes st = section_table(sections);
    Bytes pt = program_table(segments);
    uint32_t shnum = static_cast<uint32_t>(sections.size());
    uint32_t phnum = static_cast<uint32_t>(segments.size());
    std::vector<uint16_t> map(shnum, 0x1234);
    std::vector<uint64_t> work(velm::load_map_work_entries(shnum, phnum));
    velm::build_load_map(ByteSpan{st.data(), st.size()}, shnum, ByteSpan{pt.data(), pt.size()},
                         phnum, map.data(), work.data());
    return map;
}

// The definition, header by header: the first PT_LOAD whose file bytes hold the
// section's, for an allocated section other than the null one with contents in the file.
std::vector<uint16_t> first_holding(const std::vector<Section>& sections,
                                    const std::vector<Segment>& segments) {
    std::vector<uint16_t> map(sections.size(), kNotLoaded);
    for (size_t i = 1; i < sections.size(); ++i) {
        const Section& s = sections[i];
        if (!(s.flags & 2) || s.type == 8 || s.size == 0) continue;
        for (size_t j = 0; j < segments.size(); ++j) {
            const Segment& p = segments[j];
            if (p.type == 1 && p.offset <= s.offset &&
                uint64_t{s.offset} + s.size <= uint64_t{p.offset} + p.filesz) {
                map[i] = static_cast<uint16_t>(j);
                break;
            }
        }
    }
    return map;
}

TEST(ElfLoadMap, TheFirstHeaderHoldingTheSectionLoadsIt) {
    const uint32_t A = 2;  // SHF_ALLOC
    const std::vector<Section> sections = {
        {0, A, 0x100, 8},          // the null section, even allocated: never loaded
        {1, A, 0x100, 8},          // exactly the second header's bytes
        {1, A, 0x104, 4},          // inside the second and the fourth: the second
        {1, A, 0x108, 1},          // one past the second: the fourth
        {8, A, 0x100, 8},          // NOBITS
        {1, 0, 0x100, 8},          // not allocated
        {1, A, 0x100, 0},          // empty
        {1, A, 0xFFFFFFF0, 0x20},  // ends beyond 2^32: in no header
        {1, A, 0x0FF, 2},          // starts before every header
    };
    const std::vector<Segment> segments = {
        {4, 0x000, 0x1000},  // a note holding everything: not a PT_LOAD
        {1, 0x100, 8},
        {1, 0x100, 0},  // no file bytes: holds nothing
        {1, 0x0F0, 0x20},
    };
    const std::vector<uint16_t> expected = {kNotLoaded, 1,          1,          3, kNotLoaded,
                                            kNotLoaded, kNotLoaded, kNotLoaded, 3};
    EXPECT_EQ(load_map(sections, segments), expected);
    EXPECT_EQ(first_holding(sections, segments), expected);
}

TEST(ElfLoadMap, AgreesWithTheDefinitionOnRandomTables) {
    std::mt19937 rng(20261207);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    for (int round = 0; round < 3000; ++round) {
        // Offsets and sizes from a small range, so that headers overlap, nest and tie.
        std::vector<Section> sections(1 + pick(30));
        for (Section& s : sections) {
            s = {pick(5) == 0 ? 8u : 1u, pick(4) == 0 ? 0u : 2u, pick(64), pick(24)};
        }
        std::vector<Segment> segments(pick(12));
        for (Segment& p : segments) p = {pick(4) == 0 ? 6u : 1u, pick(64), pick(48)};
        ASSERT_EQ(load_map(sections, segments), first_holding(sections, segments))
            << "round " << round;
    }
}

TEST(ElfLoadMap, LargestTablesWithoutComparingEveryPair) {
    // 65,279 sections and 65,534 headers: 4 billion pairs. Every header but the last holds
    // one byte that no section starts at; the last holds them all.
    std::vector<Section> sections(0xFEFF);
    for (size_t i = 0; i < sections.size(); ++i) {
        sections[i] = {1, 2, 0x100000 + static_cast<uint32_t>(i % 4096) * 16, 16};
    }
    std::vector<Segment> segments(0xFFFE);
    for (size_t j = 0; j + 1 < segments.size(); ++j) {
        segments[j] = {1, static_cast<uint32_t>(j) * 16 + 8, 1};
    }
    segments.back() = {1, 0x100000, 0x10000};
    std::vector<uint16_t> map = load_map(sections, segments);
    EXPECT_EQ(map[0], kNotLoaded);
    for (size_t i = 1; i < map.size(); ++i) ASSERT_EQ(map[i], 0xFFFD) << i;
}

}  // namespace
