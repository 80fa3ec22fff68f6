// ELF input end to end: every check with its exact message and in its order, the bounds
// on the file's length, which sections become records at which address, and the listing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/elf_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

namespace {

using namespace velm_test;

// Field offsets in a section header.
constexpr size_t kShName = 0;
constexpr size_t kShOffset = 16;
constexpr size_t kShSize = 20;

// One 8-byte code section loaded where it runs: sections 0 (null), 1 .text, 2 .shstrtab.
Elf base() {
    Elf e;
    e.entry = 0x400;
    e.sections.push_back(alloc_section(".text", kShfExec, 0x400, words({0x04030201, 0x08070605})));
    e.segments.push_back(load_segment(0x400, {".text"}));
    return e;
}

Bytes with(const std::function<void(Elf*)>& edit) {
    Elf e = base();
    edit(&e);
    return build_elf(e);
}

// The file of `e` with its section header `index`'s field at `field` set to `value`.
Bytes with_section_field(size_t index, size_t field, uint32_t value, const Elf& e = base()) {
    Bytes b = build_elf(e);
    set_le32(&b, elf_layout(e).shoff + 40 * index + field, value);
    return b;
}

std::string listing_line(unsigned n, const std::string& name, uint32_t load, uint32_t run,
                         uint32_t size, const char* attrib, bool loaded) {
    return fmt("  %.3u   ", n) + name + std::string(name.size() < 8 ? 8 - name.size() : 0, ' ') +
           fmt("    0x%.8x 0x%.8x   0x%.8x   %-11.11s   %s\n", load, run, size, attrib,
               loaded ? "LOAD" : "");
}

const std::string kTextLine = listing_line(1, ".text", 0x400, 0x400, 8, "exec", true);

// The whole console text of `in -d` for an ELF file that passes.
std::string listing(unsigned total, uint32_t entry, const std::string& lines) {
    return listing_text(fmt("input file    : IN.OUT\ntotal sections: %u\nfile format   : ELF\n"
                            "entry point   : 0x%X\n",
                            total, entry),
                        "ELF", lines);
}

// ---------------------------------------------------------------------------------------
// Files that fail: the message and exit status 1 in all three modes; an existing file at
// the output path keeps its bytes.

TEST(ElfLoaderRejects, WhatIsNotALittleEndian32BitC6000Executable) {
    const Rejected cases[] = {
        {"64-bit class", [] { return with([](Elf* e) { e->ei_class = 2; }); }, kMsgElfUnsupported},
        {"big-endian", [] { return with([](Elf* e) { e->ei_data = 2; }); }, kMsgElfUnsupported},
        {"EI_VERSION 0", [] { return with([](Elf* e) { e->ei_version = 0; }); },
         kMsgElfUnsupported},
        {"relocatable object", [] { return with([](Elf* e) { e->type = 1; }); },
         kMsgElfUnsupported},
        {"x86 machine", [] { return with([](Elf* e) { e->machine = 3; }); }, kMsgElfUnsupported},
        {"machine byte-swapped", [] { return with([](Elf* e) { e->machine = 0x8C00; }); },
         kMsgElfUnsupported},
        {"e_version 0", [] { return with([](Elf* e) { e->version = 0; }); }, kMsgElfUnsupported},
        // 0 and 0xFF00 and above would need the extended numbering of section 0.
        {"e_shnum 0", [] { return with([](Elf* e) { e->shnum = 0; }); }, kMsgElfUnsupported},
        {"e_shnum 0xFF00", [] { return with([](Elf* e) { e->shnum = 0xFF00; }); },
         kMsgElfUnsupported},
        {"e_phnum 0xFFFF", [] { return with([](Elf* e) { e->phnum = 0xFFFF; }); },
         kMsgElfUnsupported},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

TEST(ElfLoaderRejects, HeaderTables) {
    const uint32_t shoff = elf_layout(base()).shoff;
    const uint32_t length = static_cast<uint32_t>(build_elf(base()).size());
    const Rejected cases[] = {
        {"e_ehsize 51", [] { return with([](Elf* e) { e->ehsize = 51; }); }, kMsgElfFormat},
        {"e_shentsize 64", [] { return with([](Elf* e) { e->shentsize = 64; }); }, kMsgElfFormat},
        {"e_phentsize 56", [] { return with([](Elf* e) { e->phentsize = 56; }); }, kMsgElfFormat},
        {"e_shstrndx equal to e_shnum", [] { return with([](Elf* e) { e->shstrndx = 3; }); },
         kMsgElfFormat},
        {"section header table one byte past the end",
         [shoff] { return with([shoff](Elf* e) { e->shoff = shoff + 1; }); }, kMsgElfFormat},
        {"e_shoff + e_shnum * 40 beyond 2^32",
         [] { return with([](Elf* e) { e->shoff = 0xFFFFFFF0; }); }, kMsgElfFormat},
        {"program header table past the end",
         [length] { return with([length](Elf* e) { e->phoff = length - 31; }); }, kMsgElfFormat},
        {"65,534 program headers in a small file",
         [] { return with([](Elf* e) { e->phnum = 0xFFFE; }); }, kMsgElfFormat},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

TEST(ElfLoaderRejects, NameTable) {
    const ElfLayout l = elf_layout(base());
    const uint32_t names = static_cast<uint32_t>(std::string("\0.text\0.shstrtab\0", 17).size());
    const uint32_t length = static_cast<uint32_t>(build_elf(base()).size());
    const Rejected cases[] = {
        {"name table past the end", [length] { return with_section_field(2, kShSize, length); },
         kMsgElfFormat},
        {"name table offset beyond 2^32 with its size",
         [] { return with_section_field(2, kShOffset, 0xFFFFFFFF); }, kMsgElfFormat},
        {"empty name table", [] { return with_section_field(2, kShSize, 0); }, kMsgElfFormat},
        {"name offset at the table's end",
         [names] { return with_section_field(1, kShName, names); }, kMsgElfFormat},
        {"the null section's name outside the table",
         [names] { return with_section_field(0, kShName, names + 100); }, kMsgElfFormat},
        // The table's last byte is not zero: ".shstrtab" runs off its end.
        {"last name without its zero byte",
         [l, names] {
             Bytes b = build_elf(base());
             b[l.names_offset + names - 1] = 'x';
             return b;
         },
         kMsgElfFormat},
        // Two hundred listed sections all naming one 300-byte text would print more name
        // than the whole file holds.
        {"listed sections sharing one long name",
         [] {
             return with([](Elf* e) {
                 e->sections[0].name = ".text" + std::string(295, 'n');
                 for (int i = 0; i < 200; ++i) {
                     ElfSection s = alloc_section("", kShfWrite, 0x8000, {});
                     s.type = kShtNobits;
                     s.size = 4;
                     s.name_at = 1;  // the .text name
                     e->sections.push_back(s);
                 }
             });
         },
         kMsgElfFormat},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

TEST(ElfLoaderRejects, SegmentsAndLoadedSections) {
    const uint32_t length = static_cast<uint32_t>(build_elf(base()).size());
    const Rejected cases[] = {
        {"PT_LOAD bytes one past the end",
         [length] {
             return with([length](Elf* e) {
                 e->segments[0].offset = 84;
                 e->segments[0].filesz = length - 84 + 1;
             });
         },
         kMsgElfFormat},
        {"PT_LOAD offset + size beyond 2^32",
         [] {
             return with([](Elf* e) {
                 e->segments[0].offset = 0x10;
                 e->segments[0].filesz = 0xFFFFFFF8;
             });
         },
         kMsgElfFormat},
        // 0xFFFFFFF8 + 8: its last byte would lie at 0xFFFFFFFF, where no record may end.
        {"loaded section reaching past 0xFFFFFFFF",
         [] { return with([](Elf* e) { e->segments[0].paddr = 0xFFFFFFF8; }); }, kMsgElfFormat},
        // .tail starts 0x20 bytes into a segment loaded at 0xFFFFFFF0 (debug bytes lie
        // between): its load address is 0x100000010, which 32 bits would wrap to 0x10.
        {"load address beyond 2^32",
         [] {
             return with([](Elf* e) {
                 e->sections.push_back({".pad", kShtProgbits, 0, 0, pattern(24, 3), {}, {}, {}});
                 e->sections.push_back(alloc_section(".tail", 0, 0x800, words({7})));
                 e->segments[0] = load_segment(0xFFFFFFF0, {".text", ".tail"});
             });
         },
         kMsgElfFormat},
        // Three sections on the same 4,000 bytes: loaded, they add up to more than the
        // file, which a sound file's headers and contents never do.
        {"loaded sections sharing their bytes",
         [] {
             Elf e = base();
             e.sections[0].data = pattern(4000, 2);
             uint32_t at = elf_layout(e).section_offset[0];
             for (const char* name : {".again", ".more"}) {
                 ElfSection s = alloc_section(name, 0, 0x400, {});
                 s.offset = at;
                 s.size = 4000;
                 e.sections.push_back(s);
             }
             return build_elf(e);
         },
         kMsgElfFormat},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

TEST(ElfLoaderRejects, FirstFailingCheckWins) {
    // Only checks with different messages can show their order from outside.
    const Rejected cases[] = {
        {"69 bytes of an ELF header",
         [] {
             Bytes b = build_elf(base());
             b.resize(69);
             return b;
         },
         kMsgFileLength},
        {"64-bit class and a short e_ehsize",
         [] {
             return with([](Elf* e) {
                 e->ei_class = 2;
                 e->ehsize = 0;
             });
         },
         kMsgElfUnsupported},
        {"x86 machine and a section table outside the file",
         [] {
             return with([](Elf* e) {
                 e->machine = 3;
                 e->shoff = 0xFFFFFF00;
             });
         },
         kMsgElfUnsupported},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

// ---------------------------------------------------------------------------------------
// Files that pass: `in -d` lists them, exit status 0.

TEST(ElfLoaderAccepts, Boundaries) {
    const uint32_t names = static_cast<uint32_t>(std::string("\0.text\0.shstrtab\0", 17).size());
    const Accepted cases[] = {
        {"a plain executable", [] { return build_elf(base()); }, listing(3, 0x400, kTextLine)},
        {"e_ehsize above 52", [] { return with([](Elf* e) { e->ehsize = 64; }); },
         listing(3, 0x400, kTextLine)},
        // No program headers: their entry size is not looked at, and nothing is loaded.
        {"no program headers, any e_phentsize",
         [] {
             return with([](Elf* e) {
                 e->segments.clear();
                 e->phentsize = 0;
             });
         },
         listing(3, 0x400, listing_line(1, ".text", 0x400, 0x400, 8, "exec", false))},
        // Only PT_LOAD headers must lie inside the file.
        {"a note segment far outside the file",
         [] {
             return with([](Elf* e) {
                 ElfSegment note;
                 note.type = kPtNote;
                 note.offset = 0xFFFFFF00;
                 note.filesz = 0x1000;
                 e->segments.push_back(note);
             });
         },
         listing(3, 0x400, kTextLine)},
        {"no name table: every name empty",
         [] { return with([](Elf* e) { e->name_table = false; }); },
         listing(2, 0x400, listing_line(1, "", 0x400, 0x400, 8, "exec", true))},
        {"a name starting on the table's last zero byte: the empty name",
         [names] { return with_section_field(1, kShName, names - 1); },
         listing(3, 0x400, listing_line(1, "", 0x400, 0x400, 8, "exec", true))},
        // The most sections a file may have without extended numbering (with the null
        // section and the name table); 0xFF00 is refused above.
        {"0xFEFF sections", [] { return with([](Elf* e) { e->sections.resize(0xFEFF - 2); }); },
         listing(0xFEFF, 0x400, kTextLine)},
        // 0xFFFFFFF7 + 8 = 0xFFFFFFFF: the last byte at 0xFFFFFFFE, as high as a record goes.
        {"loaded section ending as high as a record may",
         [] { return with([](Elf* e) { e->segments[0].paddr = 0xFFFFFFF7; }); },
         listing(3, 0x400, listing_line(1, ".text", 0xFFFFFFF7, 0x400, 8, "exec", true))},
    };
    for (const Accepted& c : cases) expect_accepted(c);
}

// The headers (52 + 32 + 3 x 40 bytes) and the loaded contents may fill the file exactly;
// one byte more is refused. A second section inside the first one's bytes grows the
// loaded total without growing the file.
TEST(ElfLoaderAccepts, HeadersAndLoadedContentsFillingTheFile) {
    auto overlapped = [](uint32_t extra) {
        Elf e = base();
        e.sections[0].data = pattern(64, 4);
        ElfSection inner = alloc_section(".in", 0, 0x500, {});
        inner.offset = elf_layout(e).section_offset[0];
        e.sections.push_back(inner);
        const uint32_t headers = 52 + 32 + 4 * 40;
        const uint32_t length = static_cast<uint32_t>(build_elf(e).size());
        e.sections[1].size = length - headers - 64 + extra;
        return e;
    };
    Elf fits = overlapped(0);
    ASSERT_LE(*fits.sections[1].size, 64u) << "the inner section must stay inside .text";
    const uint32_t inner = *fits.sections[1].size;
    expect_accepted({"exactly the file's length", [&] { return build_elf(fits); },
                     listing(4, 0x400,
                             listing_line(1, ".text", 0x400, 0x400, 64, "exec", true) +
                                 listing_line(2, ".in", 0x400, 0x500, inner, "init", true))});
    expect_rejected({"one byte more", [&] { return build_elf(overlapped(1)); }, kMsgElfFormat});
}

// An ELF file may be up to 0x7FFFFFFF bytes long; the 4 MiB bound belongs to COFF2.
TEST(ElfLength, DebugBuildsAboveFourMebibytes) {
    Elf big = base();
    big.tail = pattern(0x400000, 5);  // debug information after the section table
    expect_accepted(
        {"ELF of 4 MiB and more", [&] { return build_elf(big); }, listing(3, 0x400, kTextLine)});
    Coff coff;
    coff.sections.push_back(stored_section(".text", 0x400, 0x20, pattern(8, 6)));
    Bytes large_coff = build_coff(coff);
    large_coff.resize(0x400001, 0);
    expect_rejected({"COFF2 above 4 MiB", [&] { return large_coff; }, kMsgFileLength});
}

TEST(ElfLength, TwoGibibyteBound) {
    // Extended without writing: the file system keeps the gap as a hole.
    for (uint64_t length : {uint64_t{0x7FFFFFFF}, uint64_t{0x80000000}}) {
        TempDir dir;
        dir.write("in.out", build_elf(base()));
        std::filesystem::resize_file(dir.file("in.out"), length);
        RunResult r = run_in(dir.path(), {"in", "-d"});
        if (length == 0x7FFFFFFF) {
            EXPECT_EQ(r.exit_status, 0) << r.out;
            EXPECT_EQ(r.out, listing(3, 0x400, kTextLine));
        } else {
            EXPECT_EQ(r.exit_status, 1);
            EXPECT_EQ(r.out, banner() + failure(kMsgFileLength));
        }
    }
}

// ---------------------------------------------------------------------------------------
// Conversion: records for loaded sections only, at their load addresses.

const std::string kLongName =
    ".text:_ZN3dsp6filterILi64EE7processEPKfPfj_and_a_few_more_characters_to_pass_64";
const std::string kOddName = ".odd\rname\n";

// Sections 1 to 9 and the name table (11 with the null section); what each shows is in
// the records and the listing below.
Elf program() {
    Elf e;
    e.entry = 0x00800000;
    e.sections.push_back(alloc_section(".text", kShfExec, 0x00800000, pattern(22, 1)));
    e.sections.push_back(alloc_section(".data", kShfWrite, 0x80000000, pattern(16, 2)));
    e.sections.push_back(alloc_section(".cinit", 0, 0x00820000,
                                       cinit_table({{8, 0x80000000, pattern(8, 3)}})));  // 20 bytes
    ElfSection bss = alloc_section(".bss", kShfWrite, 0x80001000, {});
    bss.type = kShtNobits;
    bss.size = 0x100;
    e.sections.push_back(bss);
    e.sections.push_back({".debug_info", kShtProgbits, 0, 0, pattern(12, 4), {}, {}, {}});
    e.sections.push_back(alloc_section(".far", kShfWrite, 0x80002000, pattern(8, 5)));
    e.sections.push_back(alloc_section(kLongName, kShfExec, 0x00801000, pattern(5, 6)));
    e.sections.push_back(alloc_section(".empty", 0, 0x00802000, {}));
    e.sections.push_back(alloc_section(kOddName, 0, 0x00830000, pattern(4, 7)));
    ElfSegment note = load_segment(0x12345678, {".text"});
    note.type = kPtNote;
    e.segments.push_back(note);                                 // not a PT_LOAD
    e.segments.push_back(load_segment(0x00800000, {".text"}));  // the first that holds .text
    e.segments.push_back(load_segment(0x00A00000, {".text"}));  // holds it too, comes later
    e.segments.push_back(load_segment(0x90000000, {".data", ".cinit"}));
    e.segments.push_back(load_segment(0x00801000, {kLongName}));
    e.segments.push_back(load_segment(0x00830000, {kOddName}));
    return e;
}

TEST(ElfConvert, RecordsOfLoadedSectionsAtTheirLoadAddresses) {
    const Elf e = program();
    const ElfLayout l = elf_layout(e);
    ASSERT_EQ(l.section_offset[2] - l.section_offset[1], 16u);  // .cinit 16 bytes into .data
    // .bss (no contents), .debug_info (not allocated), .far (in no PT_LOAD) and .empty
    // give no record. The .cinit table is one record of its bytes as they stand. A
    // comment line shows the whole name, a CR or LF in it as '?'.
    const std::vector<Record> records = {
        section_record(".text", "exec", 0x00800000, pattern(22, 1)),
        section_record(".data", "init", 0x90000000, pattern(16, 2)),
        section_record(".cinit", "init", 0x90000010, cinit_table({{8, 0x80000000, pattern(8, 3)}})),
        section_record(kLongName, "exec", 0x00801000, pattern(5, 6)),
        section_record(".odd?name?", "init", 0x00830000, pattern(4, 7)),
    };
    TempDir dir;
    dir.write("app.elf", build_elf(e));

    RunResult t = run_in(dir.path(), {"app.elf", "app.c"});
    EXPECT_EQ(t.exit_status, 0);
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.out, banner() + progress(10) + erase() +
                         summary("APP.ELF", "APP.C", false, 11, 5, 0x00800000, "ELF"));
    EXPECT_EQ(dir.read("app.c"), text_file("APP.ELF", 11, 0x00800000, records, "ELF"));

    RunResult b = run_in(dir.path(), {"app.elf", "app.bin", "-b"});
    EXPECT_EQ(b.exit_status, 0);
    EXPECT_EQ(b.out, banner() + progress(10) + erase() +
                         summary("APP.ELF", "APP.BIN", true, 11, 5, 0x00800000, "ELF"));
    EXPECT_EQ(dir.read("app.bin"), as_text(binary_file(records)));
}

TEST(ElfListing, AllocatedSectionsWithWholeNames) {
    const std::string lines =
        listing_line(1, ".text", 0x00800000, 0x00800000, 22, "exec", true) +
        listing_line(2, ".data", 0x90000000, 0x80000000, 16, "init", true) +
        listing_line(3, ".cinit", 0x90000010, 0x00820000, 20, "init", true) +
        listing_line(4, ".bss", 0x80001000, 0x80001000, 0x100, "uninit", false) +
        listing_line(6, ".far", 0x80002000, 0x80002000, 8, "", false) +
        listing_line(7, kLongName, 0x00801000, 0x00801000, 5, "exec", true) +
        listing_line(9, kOddName, 0x00830000, 0x00830000, 4, "init", true);
    expect_accepted(
        {"the program", [] { return build_elf(program()); }, listing(11, 0x00800000, lines)});
}

TEST(ElfConvert, OnlyTheNullSection) {
    // e_shnum 1: no progress text, no section, an image of the end record alone.
    Elf e;
    e.name_table = false;
    e.entry = 0x20;
    TempDir dir;
    dir.write("app.elf", build_elf(e));
    RunResult b = run_in(dir.path(), {"app.elf", "app.bin", "-b"});
    EXPECT_EQ(b.exit_status, 0);
    EXPECT_EQ(b.out, banner() + erase() + summary("APP.ELF", "APP.BIN", true, 1, 0, 0x20, "ELF"));
    EXPECT_EQ(dir.read("app.bin"), as_text(binary_file({})));
}

}  // namespace
