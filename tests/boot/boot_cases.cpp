#include "boot_cases.h"

namespace velm_boot_test {

using velm_test::Bytes;
using velm_test::Coff;
using velm_test::pattern;
using velm_test::Section;
using velm_test::stored_section;
using velm_test::words;

std::vector<BootCase> boot_cases() {
    std::vector<BootCase> out;

    out.push_back({"example",
                   velm_test::example_program(),
                   {{0x80001000, words({0x00000001, 0x0000FFFF})},
                    {0x80001010, {0x48, 0x65, 0x6C, 0x6C, 0x6F}},
                    {0x80001020, words({0x12345678})}}});

    // Every partial-word length, and records of just under, exactly and just over the
    // 64 words (256 bytes) that a BINARY piece holds.
    Coff partial;
    uint32_t address = 0x1000;
    uint32_t seed = 1;
    for (uint32_t length : {1u, 2u, 3u, 4u, 5u, 255u, 256u, 257u, 1023u}) {
        partial.sections.push_back(stored_section(".s" + std::to_string(length), address,
                                                  seed % 2 ? 0x20 : 0x40, pattern(length, seed)));
        address += 0x1000;
        ++seed;
    }
    out.push_back({"partial_words", partial, {}});

    // Larger than the converter's 0x40000-byte piece, not a multiple of 4.
    Coff large;
    large.sections = {stored_section(".text", 0x00800000, 0x20, pattern(0x40000 + 0x1235, 9)),
                      stored_section(".data", 0x80000000, 0x40, pattern(8, 10))};
    out.push_back({"large_section", large, {}});

    // .cinit entries of 1, 2, 3, 5 and 12 bytes, padded with 0xEE in the table (padding
    // that must not reach memory), with filler words between them; a copy-data section
    // of another name loads nothing.
    Coff cinit;
    Bytes table = velm_test::cinit_table({{1, 0x80000000, {0xA1}},
                                          {2, 0x80000010, {0xB1, 0xB2}},
                                          {0, 0, {}},
                                          {3, 0x80000020, {0xC1, 0xC2, 0xC3}},
                                          {5, 0x80000030, {1, 2, 3, 4, 5}},
                                          {0, 0, {}},
                                          {12, 0x80000040, pattern(12, 12)}});
    cinit.sections = {stored_section(".text", 0x20, 0x20, pattern(40, 13)),
                      stored_section(".cinit", 0x90000000, 0x50, table),
                      stored_section(".switch", 0x80000100, 0x50, pattern(16, 14))};
    out.push_back({"cinit_tables",
                   cinit,
                   {{0x80000000, {0xA1}},
                    {0x80000010, {0xB1, 0xB2}},
                    {0x80000020, {0xC1, 0xC2, 0xC3}},
                    {0x80000030, {1, 2, 3, 4, 5}},
                    {0x80000040, pattern(12, 12)}}});

    // The lowest address, and the highest record c6x_velm writes: its last byte at
    // 0xFFFFFFFE (address + length = 0xFFFFFFFF).
    Coff edges;
    edges.sections = {stored_section(".vectors", 0, 0x20, pattern(6, 18)),
                      stored_section(".top", 0xFFFFFF00, 0x40, pattern(0xFF, 19))};
    out.push_back({"address_edges", edges, {}});

    // Nothing to load: the image is the end record alone.
    Coff none;
    Section bss = stored_section(".bss", 0x80000000, 0x80, {});
    bss.size = 0x100;
    none.sections = {bss};
    out.push_back({"end_record_only", none, {}});
    return out;
}

}  // namespace velm_boot_test
