// Loading and validating the COFF input, end to end: every check with its exact message,
// the order in which the checks run, the files that pass at each boundary, and the
// bundled example.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

namespace {

using namespace velm_test;
using Snapshot = std::map<std::string, std::string>;

// Offsets in a file with an optional header (the section table starts at 50).
constexpr size_t kVersion = 0;
constexpr size_t kNscns = 2;
constexpr size_t kSymptr = 8;
constexpr size_t kFlags = 18;
constexpr size_t kTarget = 20;
constexpr size_t kMagic = 22;
// Within a section header.
constexpr size_t kSize = 16;
constexpr size_t kScnptr = 20;
size_t section_field(size_t index, size_t offset) {
    return 50 + 48 * index + offset;
}

uint32_t length_of(const Bytes& b) {
    return static_cast<uint32_t>(b.size());
}

Section text_section(uint32_t vaddr = 0x400) {
    return {".text", {}, vaddr, vaddr, 0x20, words({0x04030201, 0x08070605}), {}, {}, 0};
}

// One 8-byte code section; 22 + 28 + 48 + 8 + 18 + 4 = 128 bytes.
Coff base() {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(text_section());
    return c;
}

Bytes with(const std::function<void(Coff*)>& edit) {
    Coff c = base();
    edit(&c);
    return build_coff(c);
}

Bytes patched(const std::function<void(Bytes*)>& edit, Coff c = base()) {
    Bytes b = build_coff(c);
    edit(&b);
    return b;
}

const std::string kTextLine =
    "  001   .text       0x00000400 0x00000400   0x00000008   exec          LOAD\n";

// The whole console text of `in -d` for a file that passes.
std::string listing(unsigned total, const char* entry, const std::string& lines,
                    const char* in_path = "IN.OUT") {
    std::string description =
        fmt("input file    : %s\ntotal sections: %u\n", in_path, total) + "file format   : COFF2\n";
    if (entry) description += std::string("entry point   : ") + entry + "\n";
    return listing_text(description, "COFF", lines);
}

// ---------------------------------------------------------------------------------------
// Files that fail: the message, exit status 1, in both run modes, and an existing file at
// the output path keeps its bytes (the output is opened only after a successful load).

TEST(LoaderRejects, FileLength) {
    const Rejected cases[] = {
        {"empty file", [] { return Bytes{}; }, kMsgFileLength},
        {"1 byte", [] { return Bytes{0xC2}; }, kMsgFileLength},
        {"69 bytes", [] { return patched([](Bytes* b) { b->resize(69); }); }, kMsgFileLength},
        {"69 bytes of 0xFF", [] { return Bytes(69, 0xFF); }, kMsgFileLength},
        {"4,194,305 bytes", [] { return patched([](Bytes* b) { b->resize(0x400001); }); },
         kMsgFileLength},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

TEST(LoaderRejects, FileHeader) {
    const Rejected cases[] = {
        {"version 0x00C1", [] { return with([](Coff* c) { c->version = 0x00C1; }); }, kMsgFormat},
        {"version 0", [] { return with([](Coff* c) { c->version = 0; }); }, kMsgFormat},
        {"version byte-swapped (big-endian file)",
         [] { return with([](Coff* c) { c->version = 0xC200; }); }, kMsgFormat},
        {"target 0x0098", [] { return with([](Coff* c) { c->target = 0x0098; }); }, kMsgFormat},
        {"target byte-swapped", [] { return with([](Coff* c) { c->target = 0x9900; }); },
         kMsgFormat},
        {"f_opthdr 1", [] { return with([](Coff* c) { c->opthdr = 1; }); }, kMsgFormat},
        {"f_opthdr 27", [] { return with([](Coff* c) { c->opthdr = 27; }); }, kMsgFormat},
        {"f_opthdr 29", [] { return with([](Coff* c) { c->opthdr = 29; }); }, kMsgFormat},
        {"f_opthdr 56", [] { return with([](Coff* c) { c->opthdr = 56; }); }, kMsgFormat},
        {"f_nscns 0", [] { return with([](Coff* c) { c->nscns = 0; }); }, kMsgFormat},
        {"f_symptr equal to the length",
         [] { return patched([](Bytes* b) { set_le32(b, kSymptr, length_of(*b)); }); }, kMsgFormat},
        {"f_symptr 0xFFFFFFFF", [] { return with([](Coff* c) { c->symptr = 0xFFFFFFFF; }); },
         kMsgFormat},
        {"F_RELFLG missing", [] { return with([](Coff* c) { c->flags = 0x0102; }); }, kMsgFormat},
        {"F_EXEC missing", [] { return with([](Coff* c) { c->flags = 0x0101; }); }, kMsgFormat},
        {"F_LITTLE missing", [] { return with([](Coff* c) { c->flags = 0x0003; }); }, kMsgFormat},
        {"no flags", [] { return with([](Coff* c) { c->flags = 0; }); }, kMsgFormat},
        {"every flag but F_EXEC", [] { return with([](Coff* c) { c->flags = 0xFFFD; }); },
         kMsgFormat},
        // Step 10: 3 section headers announced, the file has room for one.
        {"section table past the end", [] { return with([](Coff* c) { c->nscns = 3; }); },
         kMsgFormat},
        {"65,535 section headers in a small file",
         [] { return with([](Coff* c) { c->nscns = 0xFFFF; }); }, kMsgFormat},
        // No optional header announced, but the table read from offset 22 then runs
        // past the end of this 128-byte file (22 + 3 * 48 = 166).
        {"f_opthdr 0 with a longer table",
         [] {
             return with([](Coff* c) {
                 c->opthdr = 0;
                 c->nscns = 3;
             });
         },
         kMsgFormat},
        {"o_magic 0x0107", [] { return with([](Coff* c) { c->o_magic = 0x0107; }); }, kMsgFormat},
        {"o_magic byte-swapped", [] { return with([](Coff* c) { c->o_magic = 0x0801; }); },
         kMsgFormat},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

// A file that ends exactly with its section table: 22 (+ 28) + n * 48 bytes.
Bytes table_only(bool opt_header, size_t sections, size_t extra) {
    Coff c;
    c.has_opt_header = opt_header;
    c.symptr = 0;
    c.symbols.clear();
    for (size_t i = 0; i < sections; ++i)
        c.sections.push_back({".e", {}, 0, 0, 0x20, {}, {}, {}, 0});
    Bytes b = build_coff(c);
    b.resize(22 + (opt_header ? 28 : 0) + 48 * sections + extra, 0);
    return b;
}

TEST(LoaderRejects, HeadersMustLeaveAByteAfterThem) {
    const Rejected cases[] = {
        // 22 + 48 = 70: long enough, the table fits, but nothing follows it.
        {"70 bytes, table ends the file", [] { return table_only(false, 1, 0); }, kMsgFormat},
        {"98 bytes with optional header", [] { return table_only(true, 1, 0); }, kMsgFormat},
        {"two headers end the file", [] { return table_only(true, 2, 0); }, kMsgFormat},
        // A bad magic number and a table that ends the file: still the same message.
        {"bad magic, table ends the file",
         [] {
             return patched([](Bytes* b) { set_le16(b, kMagic, 0); },
                            [] {
                                Coff c;
                                c.symptr = 0;
                                c.symbols.clear();
                                c.sections.push_back({".e", {}, 0, 0, 0, {}, {}, {}, 0});
                                return c;
                            }());
         },
         kMsgFormat},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

TEST(LoaderRejects, SectionContentsOutsideTheFile) {
    const Rejected cases[] = {
        {"s_scnptr equal to the length",
         [] {
             return patched(
                 [](Bytes* b) { set_le32(b, section_field(0, kScnptr), length_of(*b)); });
         },
         kMsgFormat},
        {"s_scnptr 0xFFFFFFFF",
         [] {
             return patched([](Bytes* b) { set_le32(b, section_field(0, kScnptr), 0xFFFFFFFF); });
         },
         kMsgFormat},
        {"contents one byte past the end",
         [] {
             return patched(
                 [](Bytes* b) { set_le32(b, section_field(0, kScnptr), length_of(*b) - 7); });
         },
         kMsgFormat},
        {"s_size one byte too large",
         [] {
             return patched([](Bytes* b) {
                 // The contents start at 98; 98 + 31 = 129 > 128.
                 set_le32(b, section_field(0, kSize), length_of(*b) - 98 + 1);
             });
         },
         kMsgFormat},
        // 0x200 + 0xFFFFFF00 is 0x100 after wrapping round 32 bits, which would fit.
        {"s_scnptr + s_size beyond 2^32",
         [] {
             return with([](Coff* c) {
                 c->symbols = Bytes(0x400, 0);
                 c->sections[0].scnptr = 0x200;
                 c->sections[0].size = 0xFFFFFF00;
             });
         },
         kMsgFormat},
        {"s_scnptr 0 and s_size above the length",
         [] {
             return patched([](Bytes* b) {
                 set_le32(b, section_field(0, kScnptr), 0);
                 set_le32(b, section_field(0, kSize), length_of(*b) + 1);
             });
         },
         kMsgFormat},
        // Each flag combination that is tested, with the same out-of-range pointer.
        {"data section",
         [] {
             return with([](Coff* c) {
                 c->sections[0].flags = 0x40;
                 c->sections[0].scnptr = 0x10000;
             });
         },
         kMsgFormat},
        {"code and data section",
         [] {
             return with([](Coff* c) {
                 c->sections[0].flags = 0x60;
                 c->sections[0].scnptr = 0x10000;
             });
         },
         kMsgFormat},
        {"copy-data section",
         [] {
             return with([](Coff* c) {
                 c->sections[0].flags = 0x50;
                 c->sections[0].scnptr = 0x10000;
             });
         },
         kMsgFormat},
        {"code section with other bits",
         [] {
             return with([](Coff* c) {
                 c->sections[0].flags = 0xFFFFFFBF;
                 c->sections[0].scnptr = 0x10000;
             });
         },
         kMsgFormat},
        // A regular section (flags 0) stored in the file is read by the conversion, so it
        // is held to the same tests.
        {"regular section with contents past the end",
         [] {
             return with([](Coff* c) {
                 c->sections[0].flags = 0;
                 c->sections[0].size = 0x100000;
             });
         },
         kMsgFormat},
        {"regular section of 0xFFFFFFFF bytes",
         [] {
             return with([](Coff* c) {
                 c->sections[0].flags = 0;
                 c->sections[0].size = 0xFFFFFFFF;
             });
         },
         kMsgFormat},
        // A thousand regular sections sharing the same bytes would each be converted:
        // a small file could write gigabytes. The running total refuses the second.
        {"regular sections sharing their contents",
         [] {
             return with([](Coff* c) {
                 c->sections[0].flags = 0;
                 c->sections[0].data = pattern(100);
                 Section again = c->sections[0];
                 again.name = ".again";
                 again.data.clear();
                 again.size = 100;
                 again.scnptr = 22 + 28 + 2 * 48;
                 c->sections.push_back(again);
             });
         },
         kMsgFormat},
        // The walk goes on past a good section.
        {"second section out of range",
         [] {
             return with([](Coff* c) {
                 Section s = text_section(0x800);
                 s.data.clear();
                 s.size = 4;
                 s.scnptr = 0x10000;
                 c->sections.push_back(s);
             });
         },
         kMsgFormat},
        // Two sections that each lie inside the file, sharing the same bytes: together
        // with the headers they need more than the file holds (146 + 100 + 100 > 268).
        {"running total exceeded at the second section",
         [] {
             return with([](Coff* c) {
                 c->sections[0].data = pattern(100);
                 Section again = c->sections[0];
                 again.name = ".again";
                 again.data.clear();
                 again.size = 100;
                 again.scnptr = 22 + 28 + 2 * 48;
                 c->sections.push_back(again);
             });
         },
         kMsgFormat},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

TEST(LoaderRejects, FirstFailingCheckWins) {
    // Only checks with different messages can show their order from outside.
    const Rejected cases[] = {
        {"69 bytes with a bad version",
         [] {
             return patched([](Bytes* b) {
                 set_le16(b, kVersion, 0x00C1);
                 b->resize(69);
             });
         },
         kMsgFileLength},
        {"69 bytes with nothing right",
         [] {
             return patched([](Bytes* b) {
                 set_le16(b, kVersion, 0);
                 set_le16(b, kTarget, 0);
                 set_le16(b, kFlags, 0);
                 set_le16(b, kNscns, 0);
                 b->resize(69);
             });
         },
         kMsgFileLength},
        {"too long with a bad version",
         [] {
             return patched([](Bytes* b) {
                 set_le16(b, kVersion, 0);
                 b->resize(0x400001);
             });
         },
         kMsgFileLength},
        {"bad version and bad target",
         [] {
             return with([](Coff* c) {
                 c->version = 0x00C1;
                 c->target = 0x0098;
             });
         },
         kMsgFormat},
    };
    for (const Rejected& c : cases) expect_rejected(c);
}

TEST(LoaderRejects, MissingInputBeforeAnythingElse) {
    // The input is missing while a file of the output's name exists: it stays as it was.
    TempDir dir;
    dir.write("out.c", std::string("precious"));
    RunResult r = run_in(dir.path(), {"in", "out.c"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, banner() + failure(kMsgNotFound));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.snapshot(), (Snapshot{{"out.c", "precious"}}));
}

// ---------------------------------------------------------------------------------------
// Files that pass: `in -d` lists them, exit status 0, nothing written.

TEST(LoaderAccepts, Boundaries) {
    const Accepted cases[] = {
        {"a plain executable", [] { return build_coff(base()); }, listing(1, "0x400", kTextLine)},
        {"4,194,304 bytes", [] { return patched([](Bytes* b) { b->resize(0x400000); }); },
         listing(1, "0x400", kTextLine)},
        {"f_symptr 0", [] { return with([](Coff* c) { c->symptr = 0; }); },
         listing(1, "0x400", kTextLine)},
        {"f_symptr one below the length",
         [] { return patched([](Bytes* b) { set_le32(b, kSymptr, length_of(*b) - 1); }); },
         listing(1, "0x400", kTextLine)},
        {"flags beyond the required three", [] { return with([](Coff* c) { c->flags = 0xFFFF; }); },
         listing(1, "0x400", kTextLine)},
        // Without optional header the table starts at 22, and no entry point is shown.
        {"no optional header", [] { return with([](Coff* c) { c->has_opt_header = false; }); },
         listing(1, nullptr, kTextLine)},
        // 22 + 48 + 1 bytes: the last byte is not part of the headers.
        {"71 bytes, one byte after the table", [] { return table_only(false, 1, 1); },
         listing(1, nullptr, "")},
        {"99 bytes, one byte after the table", [] { return table_only(true, 1, 1); },
         listing(1, "0x0", "")},
        // The contents run up to the last byte: the string table is counted as contents.
        {"contents end at the end of the file",
         [] {
             return with([](Coff* c) {
                 c->symbols.clear();
                 c->symptr = 0;
                 c->sections[0].size = 8 + 4;
             });
         },
         listing(1, "0x400",
                 "  001   .text       0x00000400 0x00000400   0x0000000c   exec          LOAD\n")},
        {"one byte of contents at the last byte",
         [] {
             Coff c = base();
             c.sections.push_back({".tail", {}, 0x900, 0x900, 0x40, {}, 1, {}, 0});
             return patched(
                 [](Bytes* b) { set_le32(b, section_field(1, kScnptr), length_of(*b) - 1); }, c);
         },
         listing(
             2, "0x400",
             kTextLine +
                 "  002   .tail       0x00000900 0x00000900   0x00000001   init          LOAD\n")},
    };
    for (const Accepted& c : cases) expect_accepted(c);
}

TEST(LoaderAccepts, SectionsThatAreNotTested) {
    // Neither code nor data, or empty, or regular with no contents in the file: whatever
    // their pointer and size say, the loader does not look at them.
    expect_accepted(
        {"BSS, COPY, unstored flags 0, other bits and empty sections far out of range",
         [] {
             Coff c = base();
             c.sections.clear();
             const uint32_t far = 0xFFFFFFFF;
             c.sections.push_back({".bss", {}, 0, 0, 0x80, {}, far, far, 0});
             c.sections.push_back({".copy", {}, 0, 0, 0x10, {}, far, far, 0});
             c.sections.push_back({".reg", {}, 0, 0, 0x00, {}, far, 0u, 0});
             c.sections.push_back({".cpbss", {}, 0, 0, 0x90, {}, far, far, 0});
             c.sections.push_back({".pad", {}, 0, 0, 0x200, {}, far, far, 0});
             c.sections.push_back({".empty", {}, 0, 0, 0x60, {}, 0, far, 0});
             return build_coff(c);
         },
         listing(6, "0x400",
                 "  001   .bss        0x00000000 0x00000000   0xffffffff   uninit        \n"
                 "  002   .copy        --------   --------    0xffffffff   c-xdata       \n"
                 "  003   .reg        0x00000000 0x00000000   0xffffffff   r-data        LOAD\n"
                 "  004   .cpbss       --------   --------    0xffffffff   uninit        \n"
                 "  005   .pad        0x00000000 0x00000000   0xffffffff                 \n")});
}

TEST(LoaderAccepts, ContentsNotStoredAddNothing) {
    // A data section with s_scnptr 0 and a size equal to the whole file passes tests 1
    // and 2 and is not added to the running total: were it added, the code section
    // after it could not fit.
    expect_accepted(
        {"s_scnptr 0, s_size = length",
         [] {
             Coff c = base();
             c.sections.insert(c.sections.begin(),
                               Section{".heap", {}, 0x8000, 0x8000, 0x40, {}, 1, 0, 0});
             return patched([](Bytes* b) { set_le32(b, section_field(0, kSize), length_of(*b)); },
                            c);
         },
         listing(2, "0x400",
                 "  001   .heap       0x00008000 0x00008000   0x000000b0   init          LOAD\n"
                 "  002   .text       0x00000400 0x00000400   0x00000008   exec          LOAD\n")});
}

// 65,535 section headers: the largest table there can be (3,145,730 bytes of headers).
Bytes full_table(bool bad_last) {
    Coff c;
    c.entry = 0x400;
    c.sections.assign(0xFFFF - 1, Section{".e", {}, 0, 0, 0x20, {}, {}, 0xFFFFFFFF, 0});
    c.sections.push_back(text_section());
    Bytes b = build_coff(c);
    if (bad_last) set_le32(&b, section_field(0xFFFE, kScnptr), length_of(b));
    return b;
}

TEST(LoaderLargeTable, WalkedToTheLastHeader) {
    expect_accepted({"65,535 headers, the last one code", [] { return full_table(false); },
                     listing(0xFFFF, "0x400",
                             "  65535   .text       0x00000400 0x00000400   0x00000008   exec"
                             "          LOAD\n")});
    // Only the very last header is bad: a walk that stopped short would accept this.
    expect_rejected({"65,535 headers, the last one outside the file",
                     [] { return full_table(true); }, kMsgFormat});
}

// ---------------------------------------------------------------------------------------
// The bundled example.

TEST(Example, CommittedCopyIsCurrent) {
    TempDir dir;
    RunResult r = run_in(dir.path(), {dir.file("app.out")}, VELM_MAKE_EXAMPLE_PATH);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::string committed = read_file(VELM_SOURCE_DIR "/examples/app.out");
    ASSERT_FALSE(committed.empty());
    EXPECT_EQ(dir.read("app.out"), committed)
        << "examples/app.out is stale: regenerate it with make_example";
    EXPECT_EQ(committed, as_text(build_coff(example_program())));
}

TEST(Example, ConvertsAndLists) {
    TempDir dir;
    const std::string input = read_file(VELM_SOURCE_DIR "/examples/app.out");
    dir.write("app.out", input);

    RunResult c = run_in(dir.path(), {"app", "app.c"});
    EXPECT_EQ(c.exit_status, 0);
    EXPECT_EQ(c.err, "");
    std::string progress;
    for (int i = 1; i <= 9; ++i) progress += "\rsection #" + std::to_string(i) + " ...";
    EXPECT_EQ(c.out, banner() + progress + erase() +
                         crlf("COFF file        : APP.OUT\n"
                              "COFF file format : COFF2\n"
                              "VELM file        : APP.C\n"
                              "VELM file format : TEXT\n"
                              "sections         : 9  (valid sections: 5)\n"
                              "entry point      : 0xA80\n\n"));
    const Snapshot files = dir.snapshot();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("app.out"), input);
    const std::string text = files.at("app.c");
    EXPECT_EQ(text.rfind("// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. v.1.2W\r\n", 0),
              0u);
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "};\r\n");

    RunResult d = run_in(dir.path(), {"APP.OUT", "-d"});
    EXPECT_EQ(d.exit_status, 0);
    EXPECT_EQ(d.err, "");
    const std::string uninit = "uninit        \n";
    EXPECT_EQ(
        d.out,
        listing(9, "0xA80",
                "  001   .text       0x00000400 0x00000400   0x00001806   exec"
                "          LOAD\n"
                "  002   .data       0x80000000 0x80000000   0x00000040   init"
                "          LOAD\n"
                "  003   .const      0x80000040 0x80000040   0x0000002d   init"
                "          LOAD\n"
                "  004   .cinit       --------   --------    0x00000034   "
                "CINIT-copy    LOAD\n"
                "  005   .bss        0x80001000 0x80001000   0x00000400   " +
                    uninit + "  006   .stack      0x80002000 0x80002000   0x00000800   " + uninit +
                    "  008   .vectors     --------   --------    0x00000200   "
                    "c-xdata       \n"
                    "  009               0x80004000 0x80004000   0x00000018   "
                    "init          LOAD\n",
                "APP.OUT"));
    EXPECT_EQ(dir.snapshot(), files);
}

}  // namespace
