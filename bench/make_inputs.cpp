// Writes the benchmark input set into a directory: make_inputs DIR
//
// Or one large ELF program for velm_dump's benchmark: make_inputs --elf FILE MIB SECTIONS
// [changed]: SECTIONS loaded sections holding MIB MiB of code in all (one PT_LOAD
// segment); with `changed`, one byte in the middle of the middle section differs, so
// that the images of the two programs differ in one record.
//
//   text.out      4,194,304 bytes, almost all of it one .text section
//   text.section  the raw bytes of that .text section (for the baselines)
//   cinit.out     4,194,304 bytes, one .cinit copy section holding as many of the
//                 smallest entries (length, address, one data word: 12 bytes) as fit
//   sections.out  4,194,304 bytes, 65,535 section headers, most of them small valid
//                 sections holding 4 to 32 bytes each
//   elf.out       an ELF executable whose one loaded section holds 4,194,304 bytes of
//                 code, with a name table and uninitialised data besides
//
// Every COFF2 file is exactly the largest input the tool accepts. The loader admits a
// file only while the headers plus all stored code and data contents fit in it, so each
// layout is computed from the fixed overhead below rather than guessed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/coff_builder.h"
#include "support/elf_builder.h"

using velm_test::Bytes;
using velm_test::Coff;
using velm_test::Section;

namespace {

constexpr size_t kFileSize = 4194304;
constexpr size_t kFileHeader = 22;
constexpr size_t kOptHeader = 28;
constexpr size_t kSectionHeader = 48;
constexpr uint32_t kText = 0x20;
constexpr uint32_t kData = 0x40;
constexpr uint32_t kCopy = 0x10;
constexpr uint32_t kBss = 0x80;

// Bytes the builder adds around the section contents: the headers, the symbol table and
// the string table's length word plus its names.
size_t overhead(const Coff& c) {
    return kFileHeader + (c.has_opt_header ? kOptHeader : 0) + kSectionHeader * c.sections.size() +
           c.symbols.size() + 4 + c.string_names.size();
}

bool write_file(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

// (a) One .text section filling the file, a multiple of 4 bytes long.
Coff text_input() {
    Coff c;
    c.entry = 0x00000400;
    c.sections.push_back({".text", {}, 0x00000400, 0x00000400, kText, {}, {}, {}, 0});
    c.sections[0].data = velm_test::pattern(kFileSize - overhead(c), 3);
    return c;
}

// (b) One .cinit copy section: N entries of 12 bytes and the final zero word.
Coff cinit_input() {
    Coff c;
    c.entry = 0x00000400;
    c.sections.push_back({".cinit", {}, 0x80000000, 0x80000000, kCopy | kData, {}, {}, {}, 0});
    size_t room = kFileSize - overhead(c);
    size_t entries = (room - 4) / 12;
    Bytes& t = c.sections[0].data;
    t.reserve(room);
    Bytes values = velm_test::pattern(entries * 4, 5);
    for (size_t i = 0; i < entries; ++i) {
        velm_test::put_le32(&t, 4);
        velm_test::put_le32(&t, static_cast<uint32_t>(0x80100000u + 4 * i));
        t.insert(t.end(), values.begin() + 4 * i, values.begin() + 4 * i + 4);
    }
    // Filler words for whatever a 12-byte entry does not fill, then the final word.
    while (t.size() + 4 < room) velm_test::put_le32(&t, 0);
    velm_test::put_le32(&t, 0);
    return c;
}

// (c) 65,535 headers. Every eighth section is uninitialised (no contents stored), the
// rest are code or data sections of 4 to 32 bytes, some not a multiple of 4; the last
// stored one takes up whatever room remains (a few KiB).
Coff sections_input() {
    Coff c;
    c.entry = 0x00000400;
    const size_t n = 65535;
    c.sections.resize(n);
    size_t room = kFileSize - overhead(c);
    // Averages a little under the room per stored section (1,048,552 / 57,344 bytes).
    static const size_t kSizes[] = {4, 8, 12, 16, 20, 24, 28, 32, 13, 17, 21, 25, 30, 5};
    size_t used = 0;
    uint32_t address = 0x00010000;
    Bytes fill = velm_test::pattern(64, 9);
    for (size_t i = 0; i < n; ++i) {
        Section& s = c.sections[i];
        char name[16];
        std::snprintf(name, sizeof name, ".s%05zu", i);
        s.name = name;
        s.vaddr = s.paddr = address;
        if (i % 8 == 7) {
            s.flags = kBss;
            s.size = 64;
            address += 64;
            continue;
        }
        s.flags = (i % 2 == 0) ? kText : kData;
        size_t size = kSizes[i % (sizeof kSizes / sizeof kSizes[0])];
        if (i == n - 1) size = room - used;
        s.data.assign(fill.begin(),
                      fill.begin() + static_cast<std::ptrdiff_t>(size < 64 ? size : 64));
        s.data.resize(size, 0x5A);
        used += size;
        address += static_cast<uint32_t>((size + 3) / 4 * 4);
    }
    return c;
}

// (d) One 4 MiB code section in one PT_LOAD segment, as (a) but from ELF.
velm_test::Elf elf_input() {
    velm_test::Elf e;
    e.entry = 0x00800000;
    e.sections.push_back(velm_test::alloc_section(".text", velm_test::kShfExec, 0x00800000,
                                                  velm_test::pattern(kFileSize, 3)));
    velm_test::ElfSection bss =
        velm_test::alloc_section(".bss", velm_test::kShfWrite, 0x80000000, {});
    bss.type = velm_test::kShtNobits;
    bss.size = 0x10000;
    e.sections.push_back(bss);
    e.segments.push_back(velm_test::load_segment(0x00800000, {".text"}));
    return e;
}

// Sections of (mib MiB / sections) bytes each, back to back from 0x00800000.
velm_test::Elf large_elf(size_t mib, size_t sections, bool changed) {
    velm_test::Elf e;
    e.entry = 0x00800000;
    const size_t each = (mib << 20) / sections;
    const Bytes data = velm_test::pattern(each, 7);
    std::vector<std::string> names;
    for (size_t i = 0; i < sections; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, ".t%05zu", i);
        names.push_back(name);
        e.sections.push_back(velm_test::alloc_section(
            name, velm_test::kShfExec, static_cast<uint32_t>(0x00800000 + i * each), data));
        e.sections.back().data[i % 251] = static_cast<uint8_t>(i);  // no two alike
    }
    if (changed) e.sections[sections / 2].data[each / 2] ^= 0xFF;
    e.segments.push_back(velm_test::load_segment(0x00800000, names));
    return e;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 5 || argc == 6) && std::string(argv[1]) == "--elf") {
        const size_t mib = std::strtoul(argv[3], nullptr, 10);
        const size_t sections = std::strtoul(argv[4], nullptr, 10);
        const bool changed = argc == 6 && std::string(argv[5]) == "changed";
        if (mib == 0 || sections == 0 || sections > 0xFE00 || mib > 2000) {
            std::fprintf(stderr, "make_inputs: 1 to 2000 MiB in 1 to 65024 sections\n");
            return 2;
        }
        return write_file(argv[2], velm_test::build_elf(large_elf(mib, sections, changed))) ? 0 : 1;
    }
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: make_inputs DIR | make_inputs --elf FILE MIB SECTIONS [changed]\n");
        return 2;
    }
    std::string dir = argv[1];
    Coff text = text_input();
    Coff cinit = cinit_input();
    Coff sections = sections_input();
    Bytes files[] = {velm_test::build_coff(text), velm_test::build_coff(cinit),
                     velm_test::build_coff(sections)};
    const char* names[] = {"text.out", "cinit.out", "sections.out"};
    for (int i = 0; i < 3; ++i) {
        if (files[i].size() != kFileSize) {
            std::fprintf(stderr, "make_inputs: %s came out %zu bytes\n", names[i], files[i].size());
            return 1;
        }
        if (!write_file(dir + "/" + names[i], files[i])) return 1;
    }
    if (!write_file(dir + "/text.section", text.sections[0].data)) return 1;
    if (!write_file(dir + "/elf.out", velm_test::build_elf(elf_input()))) return 1;
    return 0;
}
