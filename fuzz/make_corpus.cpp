// Writes the fuzzer's seed corpus: make_corpus DIR.
//
// Valid programs that reach every kind of record and every branch of the .cinit walk,
// inputs just inside and just outside each loader and record check, and one section
// larger than the 0x40000-byte data buffer; the same for ELF input. The fuzzer mutates
// from here, so each seed sits next to a boundary.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/coff_builder.h"
#include "support/elf_builder.h"

using velm_test::alloc_section;
using velm_test::Bytes;
using velm_test::cinit_table;
using velm_test::Coff;
using velm_test::Elf;
using velm_test::ElfSection;
using velm_test::load_segment;
using velm_test::pattern;
using velm_test::Section;
using velm_test::stored_section;
using velm_test::words;

namespace {

constexpr uint32_t kText = 0x20;
constexpr uint32_t kData = 0x40;
constexpr uint32_t kCopyData = 0x50;

std::vector<std::pair<std::string, Bytes>> seeds;

void add(const std::string& name, const Bytes& bytes) {
    seeds.emplace_back(name, bytes);
}
void add(const std::string& name, const Coff& coff) {
    add(name, velm_test::build_coff(coff));
}
void add(const std::string& name, const Elf& elf) {
    add(name, velm_test::build_elf(elf));
}

Coff program(std::vector<Section> sections) {
    Coff c;
    c.entry = 0x400;
    c.sections = std::move(sections);
    return c;
}

Coff with_cinit(const Bytes& table, std::optional<uint32_t> size = {}) {
    Section s = stored_section(".cinit", 0x80000100, kCopyData, table);
    s.size = size;
    return program({stored_section(".text", 0x400, kText, pattern(20, 3)), s});
}

void valid_programs() {
    add("example.out", velm_test::example_program());
    Coff no_opt = velm_test::example_program();
    no_opt.has_opt_header = false;
    add("example-no-opthdr.out", no_opt);
    add("one-byte.out", program({stored_section(".text", 0x400, kText, {0xAB})}));

    std::vector<Section> partial;
    uint32_t address = 0x1000;
    for (size_t n : {1, 2, 3, 4, 16, 17}) {
        partial.push_back(stored_section(".d" + std::to_string(n), address, kData, pattern(n, 5)));
        address += 0x100;
    }
    add("partial-words.out", program(partial));

    // Every combination of the four tested flag bits, and two with other bits.
    std::vector<Section> flags;
    uint32_t f = 0;
    for (; f <= 0xF0; f += 0x10) {
        char name[9];
        std::snprintf(name, sizeof name, ".f%02X", f);
        Bytes data =
            (f & 0x50) == 0x50 ? cinit_table({{4, 0x2000, words({0x1234})}}) : pattern(8, f + 1);
        flags.push_back(stored_section(name, 0x10000 + f * 0x100, f, data));
    }
    flags.push_back(
        stored_section(".cinit", 0x30000, kCopyData, cinit_table({{4, 0x3000, words({7})}})));
    flags.push_back(stored_section(".CiNiT", 0x30100, 0xD0, cinit_table({{1, 0x3100, {0x55}}})));
    flags.push_back(stored_section(".cinitxx", 0x30200, kCopyData, pattern(8, 9)));
    flags.push_back(stored_section(".odd", 0x30300, 0x1010, pattern(8, 10)));
    flags.push_back(stored_section("8charnam", 0x30400, 0x2, pattern(8, 11)));
    add("all-flags.out", program(flags));

    // A heap section of a real-time kernel: flags 0, contents not stored in the file.
    Section heap = stored_section(".sysmem", 0x80008000, 0, {});
    heap.size = 0x8000;
    add("heap-not-stored.out",
        program({stored_section(".text", 0x400, kText, pattern(32, 4)), heap}));

    // More than one data-buffer piece (0x40000 bytes) in one section, plus a .cinit table.
    Bytes big(0x40000 + 7, 0);
    Bytes head = pattern(256, 21);
    std::copy(head.begin(), head.end(), big.begin());
    Bytes tail = pattern(256, 22);
    std::copy(tail.begin(), tail.end(), big.end() - 256);
    add("big-section.out",
        program({stored_section(".text", 0x400, kText, big),
                 stored_section(".cinit", 0x80000000, kCopyData,
                                cinit_table({{9, 0x80001000, pattern(9, 23)}, {0, 0, {}}}))}));

    // Section indexes of four digits widen the listing.
    std::vector<Section> many;
    for (int i = 0; i < 1001; ++i) {
        Section s =
            stored_section(".s" + std::to_string(i), 0x1000u + static_cast<uint32_t>(i) * 16,
                           i % 250 == 0 ? kData : 0x80, {});
        if (i % 250 == 0) s.data = pattern(12, static_cast<uint32_t>(i));
        many.push_back(s);
    }
    add("many-sections.out", program(many));
}

void cinit_tables() {
    add("cinit-final-word-only.out", with_cinit(words({0})));
    add("cinit-final-word-nonzero.out", with_cinit(words({1})));
    add("cinit-rounding.out",
        with_cinit(cinit_table(
            {{5, 0x80001000, {1, 2, 3, 4, 5}}, {0, 0, {}}, {3, 0x80001010, {9, 8, 7}}})));
    add("cinit-top-bit.out", with_cinit(cinit_table({{0x80000000u, 0x80001000, pattern(8, 2)}})));
    add("cinit-length-max.out", with_cinit(cinit_table({{0x7FFFFFFF, 0x80001000, pattern(8, 2)}})));
    add("cinit-no-room-for-address.out", with_cinit(words({4, 0x80001000})));
    add("cinit-entry-too-long.out", with_cinit(cinit_table({{64, 0x80001000, pattern(8, 2)}})));
    add("cinit-no-final-word.out",
        with_cinit(cinit_table({{4, 0x80001000, words({5})}}, /*final_word=*/false)));
    add("cinit-odd-size.out", with_cinit(cinit_table({{4, 0x80001000, words({5})}}), 18));
    add("cinit-address-range.out", with_cinit(cinit_table({{0x10, 0xFFFFFFF0, pattern(16, 3)}})));
    add("cinit-length-all-ones.out", with_cinit(cinit_table({{0xFFFFFFFF, 0x0, pattern(8, 3)}})));
}

void record_checks() {
    add("address-range-edge.out",
        program({stored_section(".hi", 0xFFFFFFF0, kData, pattern(15, 6))}));
    add("address-range-over.out",
        program({stored_section(".hi", 0xFFFFFFF0, kData, pattern(16, 6))}));
    // Flags 0 are converted but not bounds-checked by the loader: the read comes up short.
    Section past = stored_section(".rdata", 0x2000, 0, pattern(8, 7));
    past.size = 0x100;
    add("rdata-past-end.out",
        program({stored_section(".text", 0x400, kText, pattern(8, 8)), past}));
    Section huge = stored_section(".rdata", 0x2000, 0, pattern(8, 9));
    huge.size = 0xFFFFFFFF;
    add("rdata-length-all-ones.out", program({huge}));
}

void loader_checks() {
    Coff base = program({stored_section(".text", 0x400, kText, pattern(40, 12))});
    Bytes good = velm_test::build_coff(base);

    add("length-69.out", Bytes(good.begin(), good.begin() + 69));
    Coff seventy;
    seventy.has_opt_header = false;
    seventy.symptr = 0;
    seventy.symbols.clear();
    seventy.sections = {stored_section(".text", 0x400, kText, {})};
    Bytes b70 = velm_test::build_coff(seventy);
    b70.resize(70);
    add("length-70.out", b70);

    Coff c = base;
    c.version = 0x00C1;
    add("bad-version.out", c);
    c = base;
    c.target = 0x0098;
    add("bad-target.out", c);
    c = base;
    c.opthdr = 27;
    add("bad-opthdr-size.out", c);
    c = base;
    c.nscns = 0;
    add("no-sections.out", c);
    c = base;
    c.symptr = static_cast<uint32_t>(good.size());
    add("symptr-at-end.out", c);
    c = base;
    c.flags = 0x0101;
    add("not-executable.out", c);
    c = base;
    c.o_magic = 0x0107;
    add("bad-opt-magic.out", c);
    c = base;
    c.nscns = 40;
    add("table-past-end.out", c);
    c = base;
    c.sections[0].scnptr = static_cast<uint32_t>(good.size());
    add("contents-at-end.out", c);
    c = base;
    c.sections[0].size = 0xFFFFFF00;
    c.sections[0].scnptr = 0x200;
    add("contents-wrap.out", c);
    c = base;
    c.sections.push_back(stored_section(".dup", 0x800, kData, {}));
    c.sections[1].size = 40;
    c.sections[1].scnptr = 22 + 28 + 96;  // overlaps the first section's contents
    c.symbols = Bytes(4, 0);
    add("contents-total-over.out", c);
}

// ELF: sound programs, then one seed next to each check.
Elf elf_program() {
    Elf e;
    e.entry = 0x400;
    e.sections = {alloc_section(".text", velm_test::kShfExec, 0x400, pattern(40, 31)),
                  alloc_section(".data", velm_test::kShfWrite, 0x80000000, pattern(13, 32))};
    e.segments = {load_segment(0x400, {".text"}), load_segment(0x90000000, {".data"})};
    return e;
}

void elf_programs() {
    add("elf-example.out", velm_test::elf_example_program());
    Elf e = elf_program();
    e.name_table = false;
    add("elf-no-name-table.out", e);
    // A later PT_LOAD holding the same bytes, and one holding two sections.
    e = elf_program();
    e.segments.push_back(load_segment(0x00A00000, {".text"}));
    e.segments.push_back(load_segment(0x00B00000, {".text", ".data"}));
    add("elf-overlapping-segments.out", e);
    e = elf_program();
    e.sections[0].name = ".text:" + std::string(300, 'x');
    e.segments[0].covers = {e.sections[0].name};
    add("elf-long-name.out", e);
    e = elf_program();
    e.sections[0].data = pattern(0x40000 + 7, 33);
    add("elf-big-section.out", e);
    // Section indexes of four digits widen the listing; a few sections are loaded.
    e = elf_program();
    for (int i = 0; i < 1000; ++i) {
        ElfSection s = alloc_section(".s" + std::to_string(i), 0, 0x1000u + 16u * i, {});
        s.type = velm_test::kShtNobits;
        s.size = 16;
        e.sections.push_back(s);
    }
    add("elf-many-sections.out", e);
}

void elf_checks() {
    Elf e = elf_program();
    const Bytes good = velm_test::build_elf(e);
    add("elf-length-69.out", Bytes(good.begin(), good.begin() + 69));
    e.ei_class = 2;
    add("elf-class-64.out", e);
    e = elf_program();
    e.machine = 3;
    add("elf-machine-x86.out", e);
    e = elf_program();
    e.shnum = 0;
    add("elf-no-sections.out", e);
    e = elf_program();
    e.shentsize = 64;
    add("elf-shentsize.out", e);
    e = elf_program();
    e.shoff = static_cast<uint32_t>(good.size()) - 39;
    add("elf-section-table-past-end.out", e);
    e = elf_program();
    e.sections[1].name_at = 0x10000;
    add("elf-name-outside-table.out", e);
    e = elf_program();
    e.segments[1].filesz = static_cast<uint32_t>(good.size());
    add("elf-segment-past-end.out", e);
    e = elf_program();
    e.segments[1].paddr = 0xFFFFFFF3;  // .data's last byte would lie at 0xFFFFFFFF
    add("elf-address-range-over.out", e);
    e = elf_program();
    e.segments[1].paddr = 0xFFFFFFF2;  // ... and here at 0xFFFFFFFE
    add("elf-address-range-edge.out", e);
    e = elf_program();
    for (const char* name : {".again", ".more"}) {
        ElfSection s = alloc_section(name, 0, 0x400, {});
        s.offset = velm_test::elf_layout(e).section_offset[0];
        s.size = 40;
        e.sections.push_back(s);
    }
    add("elf-shared-contents.out", e);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIR\n");
        return 2;
    }
    valid_programs();
    cinit_tables();
    record_checks();
    loader_checks();
    elf_programs();
    elf_checks();
    for (const auto& [name, bytes] : seeds) {
        std::string path = std::string(argv[1]) + "/" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
            std::fclose(f) != 0) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
