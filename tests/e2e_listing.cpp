// The -d listing end to end: the header block, one line per non-empty section with the
// index counting every section, the fixed column layout, and nothing written to disk.
#include <gtest/gtest.h>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;

namespace {

const std::string kDashes = " --------   -------- ";

// The header block, line feeds as "\n".
std::string head(const std::string& in_path, unsigned nscns, std::optional<uint32_t> entry) {
    std::string t = "input file    : " + in_path + "\n" + fmt("total sections: %u\n", nscns) +
                    "file format   : COFF2\n";
    if (entry) t += fmt("entry point   : 0x%X\n", *entry);
    t += "\n            <<<< COFF file directory (non-empty sections only) >>>>\n";
    t += " " + std::string(76, '-') + "\n";
    t += " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\n";
    return t;
}

std::string pair(uint32_t load, uint32_t run) {
    return fmt("0x%.8x 0x%.8x", load, run);
}

// One section line from the column layout: index (at least three digits), name in 8
// columns, address pair, size, attribute text in 11 columns (`attrib` is given already
// cut), "LOAD" or nothing.
std::string line(unsigned n, const std::string& name, const std::string& address_pair,
                 uint32_t size, const std::string& attrib, bool load) {
    std::string index = std::to_string(n);
    while (index.size() < 3) index = "0" + index;
    std::string name8 = name;
    while (name8.size() < 8) name8 += ' ';
    std::string attrib11 = attrib;
    while (attrib11.size() < 11) attrib11 += ' ';
    return "  " + index + "   " + name8 + "    " + address_pair + "   " + fmt("0x%.8x", size) +
           "   " + attrib11 + "   " + (load ? "LOAD" : "") + "\n";
}

// The whole standard output of a listing.
std::string listed(const std::string& body) {
    return banner() + crlf(body) + erase();
}

RunResult list(const Coff& coff, const std::vector<std::string>& args = {"app", "-d"}) {
    TempDir dir;
    dir.write("app.out", build_coff(coff));
    auto before = dir.snapshot();
    RunResult r = run_in(dir.path(), args);
    EXPECT_EQ(dir.snapshot(), before);  // a listing writes nothing
    EXPECT_EQ(r.err, "");
    return r;
}

}  // namespace

TEST(DirectoryListing, GoldenListing) {
    Coff c;
    c.entry = 0xA80;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(0x20, 1)));
    c.sections.push_back(sized(".bss", 0x80, 0x80001000, 0x400));
    c.sections.push_back(sec(".data", 0x40, 0x80000000, {}));
    c.sections.push_back(
        sec(".cinit", 0x50, 0x80000100, cinit_table({{8, 0x80001000, pattern(8, 2)}})));
    RunResult r = list(c);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(
        r.out,
        banner() +
            "input file    : APP.OUT\r\n"
            "total sections: 4\r\n"
            "file format   : COFF2\r\n"
            "entry point   : 0xA80\r\n"
            "\r\n"
            "            <<<< COFF file directory (non-empty sections only) >>>>\r\n"
            " ----------------------------------------------------------------------------\r\n"
            " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\r\n"
            "  001   .text       0x00000400 0x00000400   0x00000020   exec          LOAD\r\n"
            "  002   .bss        0x80001000 0x80001000   0x00000400   uninit        \r\n"
            "  004   .cinit       --------   --------    0x00000014   CINIT-copy    LOAD\r\n"
            "\r                                                                               \r");
}

TEST(DirectoryListing, LineLengths) {
    Coff c;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(8, 1)));
    c.sections.push_back(sized(".bss", 0x80, 0x1000, 8));
    RunResult r = list(c);
    ASSERT_EQ(r.exit_status, 0);
    size_t at = r.out.find("  001 ");
    ASSERT_NE(at, std::string::npos);
    size_t end = r.out.find("\r\n", at);
    EXPECT_EQ(end - at, 75u);  // a loadable section
    size_t at2 = r.out.find("  002 ");
    ASSERT_NE(at2, std::string::npos);
    size_t end2 = r.out.find("\r\n", at2);
    EXPECT_EQ(end2 - at2, 71u);  // any other section: ends with three spaces
    EXPECT_EQ(r.out.substr(end2 - 3, 3), "   ");
}

// Every row of the classification table, cut to 11 columns where longer.
TEST(DirectoryListing, AttributeColumnForEveryFlagCombination) {
    struct Row {
        uint32_t flags;
        std::string name;
        const char* attrib;
        bool load;
    };
    const Row rows[] = {
        {0x00, ".reg", "r-data", true},
        {0x10, ".copy", "c-xdata", false},
        {0x20, ".text", "exec", true},
        {0x30, ".ctext", "exec", true},
        {0x40, ".data", "init", true},
        {0x50, ".cinit", "CINIT-copy", true},
        {0x50, ".Cinit", "CINIT-copy", true},
        {0x50, ".CINIT", "CINIT-copy", true},
        {0x50, ".switch", "ic-xdata", false},
        {0x50, ".cinit1", "ic-xdata", false},
        {0x50, ".cinitab", "ic-xdata", false},  // eight characters, begins with .cinit
        {0x60, ".ti", "exec/init", true},
        {0x70, ".cti", "exec/init", true},
        {0x80, ".bss", "uninit", false},
        {0x90, ".cb", "uninit", false},
        {0xA0, ".tb", "execuninit", true},
        {0xB0, ".ctb", "execuninit", true},
        {0xC0, ".db", "inituninit", true},
        {0xD0, ".cinit", "CINIT-copyu", true},
        {0xD0, ".far", "ic-xdatauni", false},
        {0xE0, ".tdb", "exec/initun", true},
        {0xF0, ".ctdb", "exec/initun", true},
        {0x1010, ".o1", "", false},
        {0x2, ".o2", "", false},
        {0x1000, ".o3", "", false},
        {0x1020, ".o4", "exec", true},
        {0x10C0, ".o5", "inituninit", true},
    };
    Coff c;
    c.entry = 0;
    std::string body;
    unsigned n = 0;
    for (const Row& row : rows) {
        ++n;
        uint32_t addr = 0x1000 * n;
        c.sections.push_back(sec(row.name, row.flags, addr, pattern(4, n)));
        body += line(n, row.name, (row.flags & 0x10) ? kDashes : pair(addr, addr), 4, row.attrib,
                     row.load);
    }
    // A name kept in the string table lists as eight spaces and never matches .cinit.
    Section far = sec("", 0x50, 0x9000, pattern(4, 99));
    far.strtab_offset = 4;
    c.sections.push_back(far);
    c.string_names = std::string(".cinit") + '\0';
    ++n;
    body += line(n, "", kDashes, 4, "ic-xdata", false);

    RunResult r = list(c);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, listed(head("APP.OUT", n, 0) + body));
    // Literal lines for the cut texts and the blank name.
    EXPECT_NE(
        r.out.find(
            "  019   .cinit       --------   --------    0x00000004   CINIT-copyu   LOAD\r\n"),
        std::string::npos);
    EXPECT_NE(
        r.out.find("  020   .far         --------   --------    0x00000004   ic-xdatauni   \r\n"),
        std::string::npos);
    EXPECT_NE(
        r.out.find(
            "  021   .tdb        0x00015000 0x00015000   0x00000004   exec/initun   LOAD\r\n"),
        std::string::npos);
    EXPECT_NE(
        r.out.find("  028                --------   --------    0x00000004   ic-xdata      \r\n"),
        std::string::npos);
    EXPECT_NE(
        r.out.find("  024   .o2         0x00018000 0x00018000   0x00000004                 \r\n"),
        std::string::npos);
}

TEST(DirectoryListing, IndexCountsEmptySections) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(8, 1)));
    c.sections.push_back(sec(".data", 0x40, 0x2000, {}));
    c.sections.push_back(sec(".const", 0x40, 0x3000, pattern(12, 2)));
    RunResult r = list(c);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(
        r.out,
        listed(head("APP.OUT", 3, 0x400) +
               "  001   .text       0x00000400 0x00000400   0x00000008   exec          LOAD\n"
               "  003   .const      0x00003000 0x00003000   0x0000000c   init          LOAD\n"));
}

TEST(DirectoryListing, AllSectionsEmpty) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, {}));
    c.sections.push_back(sec(".bss", 0x80, 0x800, {}));
    c.symbols = Bytes(36, 0);  // something must follow the section table
    RunResult r = list(c);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, listed(head("APP.OUT", 2, 0x400)));
}

TEST(DirectoryListing, NoOptionalHeader) {
    Coff c;
    c.has_opt_header = false;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(8, 1)));
    RunResult r = list(c);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(
        r.out,
        banner() +
            "input file    : APP.OUT\r\n"
            "total sections: 1\r\n"
            "file format   : COFF2\r\n"
            "\r\n"
            "            <<<< COFF file directory (non-empty sections only) >>>>\r\n"
            " ----------------------------------------------------------------------------\r\n"
            " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\r\n"
            "  001   .text       0x00000400 0x00000400   0x00000008   exec          LOAD\r\n" +
            erase());
}

TEST(DirectoryListing, EntryPointZero) {
    Coff c;
    c.entry = 0;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(8, 1)));
    RunResult r = list(c);
    EXPECT_NE(r.out.find("file format   : COFF2\r\nentry point   : 0x0\r\n\r\n"),
              std::string::npos);
}

TEST(DirectoryListing, NamesAndAddresses) {
    Coff c;
    c.entry = 0x400;
    // Load address (s_vaddr) first, run address (s_paddr) second.
    Section moved = sec(".fast", 0x20, 0x80000000, pattern(16, 1));
    moved.paddr = 0x00001000;
    c.sections.push_back(moved);
    c.sections.push_back(sec(".text_hi", 0x20, 0x2000, pattern(16, 2)));  // eight characters
    Section far = sec("", 0x40, 0x3000, pattern(16, 3));
    far.strtab_offset = 4;
    c.sections.push_back(far);
    c.string_names = std::string(".far_data") + '\0';
    // Bytes after the first zero byte of the name are not shown.
    c.sections.push_back(sec(std::string("ab\0cdef", 7), 0x40, 0x4000, pattern(16, 4)));
    RunResult r = list(c);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(
        r.out,
        listed(head("APP.OUT", 4, 0x400) +
               "  001   .fast       0x80000000 0x00001000   0x00000010   exec          LOAD\n"
               "  002   .text_hi    0x00002000 0x00002000   0x00000010   exec          LOAD\n"
               "  003               0x00003000 0x00003000   0x00000010   init          LOAD\n"
               "  004   ab          0x00004000 0x00004000   0x00000010   init          LOAD\n"));
}

// A COPY bit shows dashes instead of addresses, whatever else is set.
TEST(DirectoryListing, CopySectionsShowDashes) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".cinit", 0x50, 0x80000100, cinit_table({{4, 0x1000, words({1})}})));
    c.sections.push_back(sized(".vectors", 0x10, 0x0, 0x200));
    c.sections.push_back(sec(".ctext", 0x30, 0x5000, pattern(4, 1)));
    RunResult r = list(c);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(
        r.out,
        listed(head("APP.OUT", 3, 0x400) +
               "  001   .cinit       --------   --------    0x00000010   CINIT-copy    LOAD\n"
               "  002   .vectors     --------   --------    0x00000200   c-xdata       \n"
               "  003   .ctext       --------   --------    0x00000004   exec          LOAD\n"));
}

TEST(DirectoryListing, IndexOfAThousandWidensItsField) {
    Coff c;
    c.entry = 0x400;
    for (int i = 1; i <= 1000; ++i) {
        bool listed_one = i == 1 || i == 999 || i == 1000;
        c.sections.push_back(sec(".s", 0x40, static_cast<uint32_t>(i) * 0x10,
                                 listed_one ? pattern(4, static_cast<uint32_t>(i)) : Bytes{}));
    }
    RunResult r = list(c);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(
        r.out,
        listed(head("APP.OUT", 1000, 0x400) +
               "  001   .s          0x00000010 0x00000010   0x00000004   init          LOAD\n"
               "  999   .s          0x00003e70 0x00003e70   0x00000004   init          LOAD\n"
               "  1000   .s          0x00003e80 0x00003e80   0x00000004   init          LOAD\n"));
}

TEST(DirectoryListing, EndsWithTheEraseSequence) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(8, 1)));
    RunResult r = list(c);
    ASSERT_GE(r.out.size(), 81u);
    EXPECT_EQ(r.out.substr(r.out.size() - 81), "\r" + std::string(79, ' ') + "\r");
    // No progress text: nothing is converted.
    EXPECT_EQ(r.out.find("section #"), std::string::npos);
}

// The option in any letter case; a third argument is not examined at all, even one
// that names a file or an option.
TEST(DirectoryListing, OptionSpellingsAndIgnoredThirdArgument) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(8, 1)));
    const std::string expected =
        listed(head("APP.OUT", 1, 0x400) +
               "  001   .text       0x00000400 0x00000400   0x00000008   exec          LOAD\n");
    const std::vector<std::vector<std::string>> runs = {
        {"app", "-d"},
        {"app", "-D"},
        {"APP", "-d"},
        {"app.out", "-D", "-b"},
        {"app", "-d", "app.c"},
        {"App", "-D", "-?"},
        {"app", "-d", "/dev/full"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0] + " " + args[1] + (args.size() > 2 ? " " + args[2] : ""));
        RunResult r = list(c, args);
        EXPECT_EQ(r.exit_status, 0);
        EXPECT_EQ(r.out, expected);
    }
}
