#include "support/roundtrip_inputs.h"

namespace velm_test {

bool operator==(const Placed& a, const Placed& b) {
    return a.address == b.address && a.data == b.data;
}

void PrintTo(const Placed& p, std::ostream* os) {
    *os << "{address 0x" << std::hex << p.address << std::dec << ", " << p.data.size() << " bytes}";
}

void PrintTo(const RoundTripInput& input, std::ostream* os) {
    *os << input.name;
}

std::vector<RoundTripInput> roundtrip_inputs() {
    std::vector<RoundTripInput> out;

    out.push_back({"example",
                   example_program(),
                   {{0x80001000, words({0x00000001, 0x0000FFFF})},
                    {0x80001010, {0x48, 0x65, 0x6C, 0x6C, 0x6F}},
                    {0x80001020, words({0x12345678})}}});

    // Every partial-word case and the line-break cases of the TEXT encoding, with the
    // flag combinations that convert as plain sections.
    Coff small;
    small.entry = 0x1000;
    small.sections = {stored_section(".s1", 0x1000, 0x20, pattern(1, 1)),
                      stored_section(".s2", 0x2000, 0x40, pattern(2, 2)),
                      stored_section(".s3", 0x3000, 0x00, pattern(3, 3)),
                      stored_section(".s4", 0x4000, 0x30, pattern(4, 4)),
                      stored_section(".s16", 0x5000, 0x60, pattern(16, 5)),
                      stored_section(".s17", 0x6000, 0xC0, pattern(17, 6))};
    out.push_back({"small_sections", small, {}});

    // Records of just under, exactly and just over 64 words (256 bytes), the piece in
    // which velm_boot hands a BINARY record on.
    Coff pieces;
    uint32_t address = 0x10000;
    uint32_t seed = 1;
    for (uint32_t length : {5u, 255u, 256u, 257u, 1023u}) {
        pieces.sections.push_back(stored_section(".p" + std::to_string(length), address,
                                                 seed % 2 ? 0x20 : 0x40, pattern(length, seed)));
        address += 0x1000;
        ++seed;
    }
    out.push_back({"loader_pieces", pieces, {}});

    // Above the 0x40000-byte piece of the writer, and not a multiple of 4.
    Coff large;
    large.sections = {stored_section(".text", 0x00800000, 0x20, pattern(0x40000 + 0x1235, 9)),
                      stored_section(".data", 0x80000000, 0x40, pattern(8, 10))};
    out.push_back({"large_section", large, {}});

    // .cinit tables: lengths 1, 2, 3, 5 and 12, filler words, rounding bytes 0xEE that
    // must not reach memory; a .cinit flagged DATA only is one plain section record; a
    // copy-data section of another name and a section without stored contents give no
    // record.
    Coff cinit;
    cinit.entry = 0x20;
    Bytes table = cinit_table({{1, 0x80000000, {0xA1}},
                               {2, 0x80000010, {0xB1, 0xB2}},
                               {0, 0, {}},
                               {3, 0x80000020, {0xC1, 0xC2, 0xC3}},
                               {5, 0x80000030, {1, 2, 3, 4, 5}},
                               {0, 0, {}},
                               {12, 0x80000040, pattern(12, 12)}});
    Section heap = stored_section(".sysmem", 0x80008000, 0x00, {});
    heap.size = 0x8000;
    heap.scnptr = 0;
    cinit.sections = {stored_section(".text", 0x20, 0x20, pattern(40, 13)),
                      stored_section(".cinit", 0x90000000, 0x50, table),
                      stored_section(".switch", 0x80000100, 0x50, pattern(16, 14)),
                      stored_section(".CINIT", 0x90001000, 0x40, cinit_table({})), heap};
    out.push_back({"cinit_tables",
                   cinit,
                   {{0x80000000, {0xA1}},
                    {0x80000010, {0xB1, 0xB2}},
                    {0x80000020, {0xC1, 0xC2, 0xC3}},
                    {0x80000030, {1, 2, 3, 4, 5}},
                    {0x80000040, pattern(12, 12)}}});

    Coff no_opt;
    no_opt.has_opt_header = false;
    no_opt.sections = {stored_section(".text", 0x400, 0x20, pattern(30, 15)),
                       stored_section(".const", 0x800, 0x40, pattern(7, 16))};
    out.push_back({"no_optional_header", no_opt, {}});

    // The lowest address, and the highest record c6x_velm writes: its last byte at
    // 0xFFFFFFFE (address + length = 0xFFFFFFFF).
    Coff edges;
    edges.sections = {stored_section(".vectors", 0, 0x20, pattern(6, 18)),
                      stored_section(".top", 0xFFFFFF00, 0x40, pattern(0xFF, 19))};
    out.push_back({"address_edges", edges, {}});

    // Nothing qualifies: the image is the end record alone.
    Coff none;
    Section bss = stored_section(".bss", 0x80000000, 0x80, {});
    bss.size = 0x100;
    Section copy = stored_section(".vectors", 0, 0x10, {});
    copy.size = 0x200;
    none.sections = {bss, copy, stored_section(".empty", 0x100, 0x40, {})};
    out.push_back({"no_qualifying_section", none, {}});
    return out;
}

}  // namespace velm_test
