// Conversion end to end: the record layout in both encodings, which sections the pass
// turns into records, the attribute text of each record, the length checks and the
// console text of a run.
#include <gtest/gtest.h>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;

namespace {

const std::string kBanner = banner();
const std::string kErase = erase();

const std::string kPrologueOneSection =
    "// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. v.1.2W\r\n"
    "// Copyright (C) Kestrane Systems Ltd.\r\n"
    "// \r\n"
    "// source C6xxx COFF file: APP.OUT\r\n"
    "// source file  format   : COFF2\r\n"
    "// total sections        : 1\r\n"
    "// entry point           : 0x400\r\n"
    "// \r\n"
    "// \r\n"
    "// 32-bit UNSIGNED data array derived from source C6xxx COFF file\r\n"
    "\r\n"
    "unsigned int C6XXX_VELM_DATA[] = \r\n"
    "{";

const std::string kEndText =
    "\r\n// VELM32 termination section\r\n"
    "     0xFFFF3B09,  0x00000000,  0x00000000\r\n"
    "};\r\n";

// One data section at 0x400 holding `data`, entry point 0x400.
Coff one_section(uint32_t flags, const Bytes& data) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", flags, 0x400, data));
    return c;
}

struct Converted {
    RunResult text_run;
    RunResult binary_run;
    std::string text;
    std::string binary;
};

Converted convert_both(const Coff& coff) {
    TempDir dir;
    dir.write("app.out", build_coff(coff));
    Converted c;
    c.text_run = run_in(dir.path(), {"app", "app.c"});
    c.binary_run = run_in(dir.path(), {"app", "app.bin", "-b"});
    c.text = dir.read("app.c");
    c.binary = dir.read("app.bin");
    return c;
}

}  // namespace

// --- the worked example, as literal golden text ---

TEST(ConvertRecord, WorkedExampleText) {
    Converted c = convert_both(one_section(0x20, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(c.text_run.exit_status, 0);
    EXPECT_EQ(c.text_run.err, "");
    EXPECT_EQ(c.text_run.out, kBanner + "\rsection #1 ..." + kErase +
                                  "COFF file        : APP.OUT\r\n"
                                  "COFF file format : COFF2\r\n"
                                  "VELM file        : APP.C\r\n"
                                  "VELM file format : TEXT\r\n"
                                  "sections         : 1  (valid sections: 1)\r\n"
                                  "entry point      : 0x400\r\n"
                                  "\r\n");
    EXPECT_EQ(c.text,
              kPrologueOneSection +
                  "\r\n// section '.text':  addr=00000400H  len=00000006H  attrib='exec'\r\n"
                  "     0x90003B09,  0x00000400,  0x00000006,\r\n"
                  "     0x04030201,  0x00000605,\r\n"
                  "     " +
                  kEndText);
}

TEST(ConvertRecord, WorkedExampleBinary) {
    Converted c = convert_both(one_section(0x20, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(c.binary_run.exit_status, 0);
    EXPECT_EQ(c.binary_run.err, "");
    EXPECT_EQ(c.binary_run.out, kBanner + "\rsection #1 ..." + kErase +
                                    "COFF file        : APP.OUT\r\n"
                                    "COFF file format : COFF2\r\n"
                                    "VELM file        : APP.BIN\r\n"
                                    "VELM file format : BINARY\r\n"
                                    "sections         : 1  (valid sections: 1)\r\n"
                                    "entry point      : 0x400\r\n"
                                    "\r\n");
    const Bytes expected = {0x09, 0x3B, 0x00, 0x90, 0x00, 0x04, 0x00, 0x00, 0x06, 0x00, 0x00,
                            0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00, 0x00, 0x09, 0x3B,
                            0xFF, 0xFF, 0,    0,    0,    0,    0,    0,    0,    0};
    EXPECT_EQ(c.binary, as_text(expected));
}

// --- data words and line breaks ---

TEST(ConvertRecord, SmallByteCountsGolden) {
    struct Case {
        Bytes data;
        std::string lines;  // what follows the header line's "\r\n     "
    };
    const Case cases[] = {
        {{0xAA}, "0x000000AA,\r\n     "},
        {{0xAA, 0xBB}, "0x0000BBAA,\r\n     "},
        {{0xAA, 0xBB, 0xCC}, "0x00CCBBAA,\r\n     "},
        {{0x11, 0x22, 0x33, 0x44}, "0x44332211,  \r\n     "},
        {words({1, 2, 3, 0xFFFFFFFF}),
         "0x00000001,  0x00000002,  0x00000003,  0xFFFFFFFF,  \r\n     "},
        {[] {
             Bytes b = words({1, 2, 3, 0xABCDEF00});
             b.push_back(0x7E);
             return b;
         }(),
         "0x00000001,  0x00000002,  0x00000003,  0xABCDEF00,  \r\n     0x0000007E,\r\n     "},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.data.size());
        Converted c = convert_both(one_section(0x40, k.data));
        ASSERT_EQ(c.text_run.exit_status, 0);
        const std::string header =
            fmt("\r\n// section '.text':  addr=00000400H  len=%.8xH  attrib='init'\r\n",
                static_cast<unsigned>(k.data.size())) +
            fmt("     0x90003B09,  0x00000400,  0x%.8X,\r\n     ",
                static_cast<unsigned>(k.data.size()));
        EXPECT_EQ(c.text, kPrologueOneSection + header + k.lines + kEndText);
    }
}

TEST(ConvertRecord, ByteCountsBothEncodings) {
    for (size_t n : {1, 2, 3, 4, 5, 8, 15, 16, 17, 20, 33}) {
        SCOPED_TRACE(n);
        Bytes data = pattern(n, static_cast<uint32_t>(n));
        expect_converts(one_section(0x20, data), {section_record(".text", "exec", 0x400, data)}, 1);
    }
}

TEST(ConvertRecord, PartialWordIsZeroFilledInBinary) {
    Converted c = convert_both(one_section(0x40, {0xAA, 0xBB}));
    const Bytes expected = {0x09, 0x3B, 0x00, 0x90, 0x00, 0x04, 0x00, 0x00, 0x02, 0x00,
                            0x00, 0x00, 0xAA, 0xBB, 0x00, 0x00, 0x09, 0x3B, 0xFF, 0xFF,
                            0,    0,    0,    0,    0,    0,    0,    0};
    EXPECT_EQ(c.binary, as_text(expected));
}

// Section data move through the data buffer 0x10000 words at a time; the pieces must
// not show in either encoding.
TEST(ConvertRecord, SectionLargerThanOnePiece) {
    const size_t n = 0x40000 + 4 * 5 + 3;
    Bytes data = pattern(n, 99);
    Coff coff = one_section(0x40, data);
    expect_converts(coff, {section_record(".text", "init", 0x400, data)}, 1);

    Converted c = convert_both(coff);
    // BINARY: the data words are the input bytes one for one.
    ASSERT_EQ(c.binary.size(), 12 + n + 1 + 12);
    EXPECT_EQ(c.binary.substr(12, n), as_text(data));
    EXPECT_EQ(c.binary[12 + n], '\0');

    // TEXT: the words 0xFFFC to 0x10003 straddle the piece boundary and still form two
    // lines of four; the last line holds word 0x10004 and the partial word.
    auto word = [&](size_t i) { return fmt("0x%.8X,  ", le32_at(data, 4 * i)); };
    std::string across = "\r\n     " + word(0xFFFC) + word(0xFFFD) + word(0xFFFE) + word(0xFFFF) +
                         "\r\n     " + word(0x10000) + word(0x10001) + word(0x10002) +
                         word(0x10003) + "\r\n     ";
    EXPECT_NE(c.text.find(across), std::string::npos);
    uint32_t partial = data[n - 3] | (data[n - 2] << 8) | (data[n - 1] << 16);
    std::string tail = "\r\n     " + word(0x10004) + fmt("0x%.8X,\r\n     ", partial) +
                       "\r\n// VELM32 termination section\r\n";
    EXPECT_NE(c.text.find(tail), std::string::npos);
}

// Without a partial word the record's last whole word, in the second piece, ends the line.
TEST(ConvertRecord, SectionLargerThanOnePieceWithoutPartialWord) {
    Bytes data = pattern(0x40000 + 4 * 6, 98);
    expect_converts(one_section(0x20, data), {section_record(".text", "exec", 0x400, data)}, 1);
}

// --- files with nothing to convert, optional header, entry point ---

TEST(ConvertRecord, NoQualifyingSectionGivesPrologueAndEndRecord) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sized(".bss", 0x80, 0x1000, 0x100));
    Converted r = convert_both(c);
    EXPECT_EQ(r.text_run.exit_status, 0);
    EXPECT_EQ(r.text, kPrologueOneSection + kEndText);
    EXPECT_EQ(r.binary_run.exit_status, 0);
    const Bytes end = {0x09, 0x3B, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(r.binary, as_text(end));
    EXPECT_EQ(r.text_run.out, converted(1, summary("APP.OUT", "APP.C", false, 1, 0, 0x400)));
}

TEST(ConvertRecord, NoOptionalHeader) {
    Coff c;
    c.has_opt_header = false;
    c.sections.push_back(sec(".text", 0x20, 0x400, {1, 2, 3, 4, 5, 6}));
    Converted r = convert_both(c);
    EXPECT_EQ(r.text_run.exit_status, 0);
    EXPECT_EQ(r.text_run.err, "");
    // The summary ends with an empty line where the entry point line would be.
    EXPECT_EQ(r.text_run.out, kBanner + "\rsection #1 ..." + kErase +
                                  "COFF file        : APP.OUT\r\n"
                                  "COFF file format : COFF2\r\n"
                                  "VELM file        : APP.C\r\n"
                                  "VELM file format : TEXT\r\n"
                                  "sections         : 1  (valid sections: 1)\r\n"
                                  "\r\n");
    EXPECT_EQ(r.text,
              "// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. v.1.2W\r\n"
              "// Copyright (C) Kestrane Systems Ltd.\r\n"
              "// \r\n"
              "// source C6xxx COFF file: APP.OUT\r\n"
              "// source file  format   : COFF2\r\n"
              "// total sections        : 1\r\n"
              "// \r\n"
              "// \r\n"
              "// 32-bit UNSIGNED data array derived from source C6xxx COFF file\r\n"
              "\r\n"
              "unsigned int C6XXX_VELM_DATA[] = \r\n"
              "{\r\n"
              "// section '.text':  addr=00000400H  len=00000006H  attrib='exec'\r\n"
              "     0x90003B09,  0x00000400,  0x00000006,\r\n"
              "     0x04030201,  0x00000605,\r\n"
              "     " +
                  kEndText);
    EXPECT_EQ(r.binary_run.out, converted(1, summary("APP.OUT", "APP.BIN", true, 1, 1, {})));
    expect_converts(c, {section_record(".text", "exec", 0x400, {1, 2, 3, 4, 5, 6})}, 1);
}

TEST(ConvertRecord, EntryPointPrintedWithoutLeadingZeros) {
    for (uint32_t entry : {0u, 0x10u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(entry);
        Coff c = one_section(0x20, words({0x12345678}));
        c.entry = entry;
        Converted r = convert_both(c);
        const std::string line = fmt("entry point      : 0x%X\r\n\r\n", entry);
        const std::string prologue_line = fmt("// entry point           : 0x%X\r\n", entry);
        EXPECT_NE(r.text.find(prologue_line), std::string::npos);
        ASSERT_GE(r.binary_run.out.size(), line.size());
        EXPECT_EQ(r.binary_run.out.substr(r.binary_run.out.size() - line.size()), line);
        expect_converts(c, {section_record(".text", "exec", 0x400, words({0x12345678}))}, 1);
    }
    Coff zero = one_section(0x20, words({1}));
    zero.entry = 0;
    Converted r = convert_both(zero);
    EXPECT_NE(r.text.find("// entry point           : 0x0\r\n"), std::string::npos);
    EXPECT_NE(r.text_run.out.find("entry point      : 0x0\r\n\r\n"), std::string::npos);
}

// --- the length check before every section record ---

TEST(ConvertRecord, AddressRangeEndsAtTheLastAddress) {
    // Address + length = 0xFFFFFFFF: the last byte lies at 0xFFFFFFFE.
    Bytes fifteen = pattern(15, 3);
    Coff fits = one_section(0x40, fifteen);
    fits.sections[0].vaddr = 0xFFFFFFF0;
    expect_converts(fits, {section_record(".text", "init", 0xFFFFFFF0, fifteen)}, 1);

    // A last byte at 0xFFFFFFFF would need address + length = 0x100000000.
    Coff beyond = one_section(0x40, pattern(16, 3));
    beyond.sections[0].vaddr = 0xFFFFFFF0;
    expect_fails(beyond, 1, kMsgRange);

    // The same for a later section: earlier sections pass, the run still fails.
    Coff later = one_section(0x20, pattern(8, 4));
    later.sections.push_back(sec(".far", 0x40, 0xFFFFFFFF, {0x55}));
    later.sections.push_back(sec(".more", 0x40, 0x2000, pattern(8, 5)));
    expect_fails(later, 2, kMsgRange);
}

// A regular section (flags 0) is converted from the file like code and data, so the
// loader holds it to the file's bounds too: a length of 0xFFFFFFFF or a range past
// 0xFFFFFFFF can only come with contents outside the file, refused before anything is
// written. The record length check itself is covered by the writer's unit tests.
TEST(ConvertRecord, RegularSectionsOutsideTheFileAreRefusedAtLoad) {
    Coff all_ones = one_section(0x20, pattern(8, 6));
    Section reg = sec(".reg", 0, 0, pattern(8, 7));
    reg.size = 0xFFFFFFFF;
    all_ones.sections.push_back(reg);
    expect_fails(all_ones, 0, kMsgFormat);

    Coff range = one_section(0x20, pattern(8, 6));
    Section high = sec(".reg", 0, 0xFFFFFFF0, pattern(8, 7));
    high.size = 0x20;  // runs past the end of the file
    range.sections.push_back(high);
    expect_fails(range, 0, kMsgFormat);
}

// --- which sections the pass converts ---

TEST(ConvertPass, WhichSectionsBecomeRecords) {
    struct Case {
        const char* what;
        Section section;
        bool record;
        const char* attrib;
        unsigned valid;
    };
    Bytes d = pattern(12, 21);
    const Case cases[] = {
        {"empty code section", sec(".text", 0x20, 0x400, {}), false, "", 0},
        {"empty section with garbage pointer",
         [] {
             Section s = sec(".text", 0x20, 0x400, {});
             s.scnptr = 0xFFFFFFF0;
             return s;
         }(),
         false, "", 0},
        {"BSS only", sized(".bss", 0x80, 0x1000, 0x400), false, "", 0},
        {"COPY only", sized(".vectors", 0x10, 0, 0x200), false, "", 0},
        {"other bits only", sized(".odd", 0x1000, 0, 0x200), false, "", 0},
        {"flags 0", sec(".reg", 0x00, 0x2000, d), true, "r-data", 1},
        {"COPY and TEXT", sec(".ctext", 0x30, 0x2000, d), true, "exec", 1},
        {"copy-data not named .cinit", sec(".data", 0x50, 0x2000, d), false, "", 1},
        {"copy-data with BSS not named .cinit", sec(".data", 0xD0, 0x2000, d), false, "", 1},
        {"copy-data with TEXT not named .cinit", sec(".cinit2", 0x70, 0x2000, d), false, "", 1},
        {".cinit without STYP_COPY", sec(".cinit", 0x40, 0x2000, d), true, "init", 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Coff c;
        c.entry = 0x2000;
        c.sections.push_back(k.section);
        std::vector<Record> records;
        if (k.record) records.push_back(section_record(k.section.name, k.attrib, 0x2000, d));
        expect_converts(c, records, k.valid);
    }
}

// A .cinit table in a section without STYP_COPY is ordinary data: one record holding
// the table bytes unexpanded.
TEST(ConvertPass, CinitWithoutCopyFlagIsOneSectionRecord) {
    Bytes table = cinit_table({{5, 0x80000000, {1, 2, 3, 4, 5}}});
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".cinit", 0x40, 0x3000, table));
    expect_converts(c, {section_record(".cinit", "init", 0x3000, table)}, 1);
}

TEST(ConvertPass, RecordsInTableOrderAndValidCount) {
    Bytes text = pattern(40, 1);
    Bytes data = pattern(9, 2);
    Bytes reg = pattern(4, 3);
    Bytes copy_data = pattern(16, 4);
    Coff c;
    c.entry = 0x1234;
    c.sections.push_back(sec(".data", 0x40, 0x80000000, data));
    c.sections.push_back(sized(".bss", 0x80, 0x80001000, 0x100));
    c.sections.push_back(sec(".text", 0x20, 0x400, text));
    c.sections.push_back(sec(".switch", 0x50, 0x9000, copy_data));
    c.sections.push_back(sec(".empty", 0x40, 0x5000, {}));
    c.sections.push_back(sec(".reg", 0x00, 0x6000, reg));
    c.sections.push_back(sized(".vectors", 0x10, 0, 0x20));
    expect_converts(c,
                    {section_record(".data", "init", 0x80000000, data),
                     section_record(".text", "exec", 0x400, text),
                     section_record(".reg", "r-data", 0x6000, reg)},
                    4);
}

TEST(ConvertPass, ProgressForEverySection) {
    Coff c;
    c.entry = 0x400;
    for (int i = 0; i < 12; ++i) c.sections.push_back(sized(".bss", 0x80, 0, 4));
    c.sections.push_back(sec(".text", 0x20, 0x400, words({7})));
    expect_converts(c, {section_record(".text", "exec", 0x400, words({7}))}, 1);
    TempDir dir;
    dir.write("app.out", build_coff(c));
    RunResult r = run_in(dir.path(), {"app", "app.c"});
    EXPECT_NE(r.out.find("\rsection #9 ...\rsection #10 ...\rsection #11 ..."), std::string::npos);
}

// The texts end at the last section, wherever it falls in its decade.
TEST(ConvertPass, ProgressEndsAtTheLastSection) {
    for (unsigned count : {1u, 8u, 9u, 10u, 18u, 19u, 100u}) {
        Coff c;
        for (unsigned i = 0; i < count; ++i) c.sections.push_back(sized(".bss", 0x80, 0, 4));
        TempDir dir;
        dir.write("app.out", build_coff(c));
        RunResult r = run_in(dir.path(), {"app", "app.bin", "-b"});
        EXPECT_NE(r.out.find("\n" + progress(count) + kErase), std::string::npos) << count;
    }
}

// --- the attribute text in the comment line of each record ---

TEST(ConvertPass, AttributeTextOfEveryRecordKind) {
    struct Row {
        std::string name;
        uint32_t flags;
        const char* attrib;  // nullptr: no record
    };
    const Row rows[] = {
        {".reg", 0x00, "r-data"},
        {".text", 0x20, "exec"},
        {".ctext", 0x30, "exec"},
        {".data", 0x40, "init"},
        {".ti", 0x60, "exec/init"},
        {".tb", 0xA0, "execuninit"},
        {".ctb", 0xB0, "execuninit"},
        {".db", 0xC0, "inituninit"},
        {".tdb", 0xE0, "exec/inituninit"},
        {".od", 0x1040, "init"},
        {".ot", 0x22, "exec"},
        {".cinit", 0x40, "init"},
        {".CINIT", 0xC0, "inituninit"},
        {".text_hi", 0x20, "exec"},                // eight characters
        {std::string("ab\0cd", 5), 0x20, "exec"},  // text ends at the first zero byte
        {".cinitxx", 0x20, "exec"},
        {".ctd", 0x70, nullptr},  // copy-data, not .cinit
        {".ctdb", 0xF0, nullptr},
        {".cd", 0x50, nullptr},
        {".cdb", 0xD0, nullptr},
        {".c", 0x10, nullptr},
        {".b", 0x80, nullptr},
        {".cb", 0x90, nullptr},
        {".o1", 0x1010, nullptr},
        {".o2", 0x2, nullptr},
    };
    Coff c;
    c.entry = 0x400;
    std::vector<Record> records;
    unsigned valid = 0;
    uint32_t addr = 0x10000;
    for (const Row& row : rows) {
        Bytes data = pattern(8, addr);
        c.sections.push_back(sec(row.name, row.flags, addr, data));
        if ((row.flags & 0x60) != 0 || row.flags == 0) ++valid;
        std::string printed = row.name.substr(0, row.name.find('\0'));
        if (row.attrib) records.push_back(section_record(printed, row.attrib, addr, data));
        addr += 0x100;
    }
    // A name kept in the string table prints as ''.
    Section far = sec("", 0x40, addr, pattern(8, 5));
    far.strtab_offset = 4;
    c.sections.push_back(far);
    c.string_names = std::string(".far_initialised") + '\0';
    records.push_back(section_record("", "init", addr, far.data));
    ++valid;
    expect_converts(c, records, valid);

    // The literal comment lines of a few of them.
    Converted r = convert_both(c);
    EXPECT_NE(r.text.find("// section '.tdb':  addr=00010800H  len=00000008H  "
                          "attrib='exec/inituninit'\r\n"),
              std::string::npos);
    EXPECT_NE(r.text.find("// section '.text_hi':  addr=00010d00H  len=00000008H  "
                          "attrib='exec'\r\n"),
              std::string::npos);
    EXPECT_NE(r.text.find("// section 'ab':  addr=00010e00H"), std::string::npos);
    EXPECT_NE(r.text.find("// section '':  addr=00011900H  len=00000008H  attrib='init'\r\n"),
              std::string::npos);
}
