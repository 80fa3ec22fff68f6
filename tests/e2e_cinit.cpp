// The .cinit expansion end to end: a copy-data section named .cinit (any letter case)
// becomes one cinit record per table entry; every way the table can be malformed ends
// the run with its message and exit status 1.
//
// Table layout: { length L != 0, address A, L bytes, rounding to 4 } or a zero filler
// word, repeated, then one zero word filling the section's last 4 bytes.
#include <gtest/gtest.h>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;

namespace {

// A code section first (so the table is not the first thing converted), the .cinit
// section second, a data section third.
Coff program(const Bytes& table, uint32_t flags = 0x50, const std::string& name = ".cinit") {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, words({0xCAFEF00D, 0x0BADBEEF})));
    c.sections.push_back(sec(name, flags, 0x80000100, table));
    c.sections.push_back(sec(".data", 0x40, 0x80000000, words({0x11111111})));
    return c;
}

Record text_record_of_program() {
    return section_record(".text", "exec", 0x400, words({0xCAFEF00D, 0x0BADBEEF}));
}
Record data_record_of_program() {
    return section_record(".data", "init", 0x80000000, words({0x11111111}));
}

// Expects `table` to expand into `entries` (cinit records, attribute CINIT-copy).
void expect_expands(const Bytes& table, const std::vector<Record>& entries) {
    std::vector<Record> records = {text_record_of_program()};
    records.insert(records.end(), entries.begin(), entries.end());
    records.push_back(data_record_of_program());
    expect_converts(program(table), records, 3);
}

// A file holding only the .cinit section, whose table bytes are the last bytes of the
// file: a read past the table's end comes up short instead of finding other data.
Bytes cinit_at_end_of_file(const Bytes& table) {
    Coff c;
    c.has_opt_header = true;
    c.symbols = {};
    c.symptr = 0;
    c.sections.push_back(sec(".cinit", 0x50, 0x80000100, table));
    Bytes file = build_coff(c);
    file.resize(22 + 28 + 48 + table.size());
    return file;
}

void expect_fails_at_end_of_file(const Bytes& table, const std::string& message) {
    TempDir dir;
    Bytes input = cinit_at_end_of_file(table);
    dir.write("app.out", input);
    RunResult r = run_in(dir.path(), {"app", "app.c"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, failed(1, message));
    std::map<std::string, std::string> left = {{"app.out", as_text(input)}};
    EXPECT_EQ(dir.snapshot(), left);
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

// --- the two worked examples ---

TEST(CinitWalk, WorkedExampleWithRoundedEntry) {
    // Length 5, address 0x80000000, 8 bytes (5 data + 3 rounding), the final zero word.
    Bytes table = concat(words({5, 0x80000000}), {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
    table = concat(table, words({0}));
    ASSERT_EQ(table.size(), 20u);
    expect_expands(table, {cinit_record("CINIT-copy", 0x80000000, 5,
                                        {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88})});

    // The literal TEXT lines: the header carries the unrounded length, the data the
    // rounding bytes as they stand in the table.
    TempDir dir;
    dir.write("app.out", build_coff(program(table)));
    ASSERT_EQ(run_in(dir.path(), {"app", "app.c"}).exit_status, 0);
    EXPECT_NE(dir.read("app.c").find(
                  "\r\n// section '.cinit':  addr=80000000H  len=00000005H  attrib='CINIT-copy'\r\n"
                  "     0x90013B09,  0x80000000,  0x00000005,\r\n"
                  "     0x44332211,  0x88776655,  \r\n"
                  "     \r\n"
                  "// section '.data':"),
              std::string::npos);
    ASSERT_EQ(run_in(dir.path(), {"app", "app.bin", "-b"}).exit_status, 0);
    const Bytes record = {0x09, 0x3B, 0x01, 0x90, 0x00, 0x00, 0x00, 0x80, 0x05, 0x00,
                          0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    EXPECT_EQ(dir.read("app.bin").substr(20, record.size()), as_text(record));
}

TEST(CinitWalk, WorkedExampleWithFiller) {
    Bytes table = words({4, 0x80001000, 0xDEADBEEF, 0, 0});
    ASSERT_EQ(table.size(), 20u);
    expect_expands(table, {cinit_record("CINIT-copy", 0x80001000, 4, words({0xDEADBEEF}))});
}

// --- well-formed tables ---

TEST(CinitWalk, SeveralEntriesAndFillers) {
    Bytes a = pattern(12, 1);
    Bytes b = pattern(1, 2);
    Bytes c = pattern(6, 3);
    Bytes d = pattern(7, 4);
    Bytes table = cinit_table({{0, 0, {}},
                               {12, 0x1000, a},
                               {0, 0, {}},
                               {0, 0, {}},
                               {1, 0x2000, b},
                               {6, 0x3000, c},
                               {7, 0x4000, d},
                               {0, 0, {}}},
                              true, 0xEE);
    auto padded = [](Bytes x) {
        while (x.size() % 4) x.push_back(0xEE);
        return x;
    };
    expect_expands(table, {cinit_record("CINIT-copy", 0x1000, 12, a),
                           cinit_record("CINIT-copy", 0x2000, 1, padded(b)),
                           cinit_record("CINIT-copy", 0x3000, 6, padded(c)),
                           cinit_record("CINIT-copy", 0x4000, 7, padded(d))});
}

// A table several times the input's read-ahead window, so that entries straddle the
// places where the walk looks at the file again: thousands of short entries (and filler
// words) around entries whose rounded data are just below, at and above the 32 KiB the
// window lends the walk, which then reads them through the record writer instead. The
// TEXT image is many output buffers long, so records also meet the end of the buffer.
TEST(CinitWalk, TableLongerThanTheReadAheadWindow) {
    std::vector<CinitEntry> entries;
    std::vector<Record> records;
    uint32_t address = 0x80100000;
    auto add = [&](uint32_t length, uint8_t seed) {
        Bytes data = pattern(length, seed);
        entries.push_back({length, address, data});
        while (data.size() % 4) data.push_back(0xEE);
        records.push_back(cinit_record("CINIT-copy", address, length, data));
        address += static_cast<uint32_t>(data.size());
    };
    for (uint32_t i = 0; i < 6000; ++i) {
        add(1 + i * 7 % 37, static_cast<uint8_t>(i));
        if (i % 97 == 0) entries.push_back({0, 0, {}});
        if (i == 1500) add(32764, 1);  // rounded data just below 32 KiB
        if (i == 3000) add(32765, 2);  // rounded up to 32 KiB
        if (i == 4500) add(40001, 3);
    }
    expect_expands(cinit_table(entries), records);
}

TEST(CinitWalk, RoundingBytesAreTakenAsStored) {
    for (uint32_t len : {1u, 2u, 3u, 5u, 6u, 7u}) {
        SCOPED_TRACE(len);
        Bytes data = pattern(len, len);
        Bytes stored = data;
        while (stored.size() % 4) stored.push_back(static_cast<uint8_t>(0xA0 + stored.size()));
        Bytes table = concat(concat(words({len, 0x80002000}), stored), words({0}));
        expect_expands(table, {cinit_record("CINIT-copy", 0x80002000, len, stored)});
    }
}

TEST(CinitWalk, NameInAnyLetterCase) {
    Bytes table = cinit_table({{4, 0x1000, words({0x01020304})}});
    for (const char* name : {".cinit", ".Cinit", ".CINIT", ".cINiT"}) {
        SCOPED_TRACE(name);
        Coff c = program(table, 0x50, name);
        // The records carry the name .cinit, whatever the section's spelling.
        expect_converts(
            c,
            {text_record_of_program(), cinit_record("CINIT-copy", 0x1000, 4, words({0x01020304})),
             data_record_of_program()},
            3);
    }
}

// A longer name that begins with .cinit is another copy-data section: counted, not
// written, and its contents are not examined (this table would be refused).
TEST(CinitWalk, LongerNameIsNotTheTable) {
    Bytes broken = words({0x100, 0x1000, 7});
    for (const char* name : {".cinit1", ".cinitxx", "cinit", ".cini"}) {
        SCOPED_TRACE(name);
        expect_converts(program(broken, 0x50, name),
                        {text_record_of_program(), data_record_of_program()}, 3);
    }
}

// Any copy-data flags with the .cinit name expand; the attribute text follows the flags.
TEST(CinitWalk, AttributeTextFollowsTheFlags) {
    Bytes table = cinit_table({{4, 0x1000, words({9})}});
    const std::pair<uint32_t, const char*> rows[] = {{0x50, "CINIT-copy"},
                                                     {0xD0, "CINIT-copyuninit"},
                                                     {0x70, "exec/init"},
                                                     {0xF0, "exec/inituninit"},
                                                     {0x1050, "CINIT-copy"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.second);
        expect_converts(program(table, row.first),
                        {text_record_of_program(), cinit_record(row.second, 0x1000, 4, words({9})),
                         data_record_of_program()},
                        3);
    }
}

TEST(CinitWalk, FourZeroBytesGiveNoRecord) {
    expect_expands(words({0}), {});
}

TEST(CinitWalk, OnlyFillerWords) {
    expect_expands(words({0, 0, 0, 0}), {});
}

TEST(CinitWalk, EntryAtTheTopOfTheAddressRange) {
    // 15 bytes from 0xFFFFFFF0: the last byte lies at 0xFFFFFFFE.
    Bytes data = pattern(15, 8);
    Bytes table = cinit_table({{15, 0xFFFFFFF0, data}}, true, 0x00);
    data.push_back(0x00);
    expect_expands(table, {cinit_record("CINIT-copy", 0xFFFFFFF0, 15, data)});
}

// --- malformed tables ---

TEST(CinitWalk, FourNonZeroBytes) {
    for (uint32_t w : {1u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(w);
        expect_fails(program(words({w})), 2, kMsgCinit);
    }
}

TEST(CinitWalk, OneToThreeBytes) {
    for (Bytes table : {Bytes{0}, Bytes{0, 0}, Bytes{0, 0, 0}, Bytes{5, 0, 0}}) {
        SCOPED_TRACE(table.size());
        expect_fails(program(table), 2, kMsgCinit);
        // Refused without reading: at the end of the file a read would come up short.
        expect_fails_at_end_of_file(table, kMsgCinit);
    }
}

// With 5 to 11 bytes left at a non-zero length word there is no room for an entry and
// the final word: refused before the address word is read. The tables lie at the end of
// the file, so reading the address word first would fail as a short read instead.
TEST(CinitWalk, NonZeroLengthWithFiveToElevenBytesLeft) {
    for (size_t size = 5; size <= 11; ++size) {
        SCOPED_TRACE(size);
        Bytes table = words({1});
        while (table.size() < size) table.push_back(0);
        expect_fails(program(table), 2, kMsgCinit);
        expect_fails_at_end_of_file(table, kMsgCinit);
    }
    // The same after a complete entry and a filler word.
    Bytes table =
        concat(cinit_table({{4, 0x1000, words({1})}, {0, 0, {}}}, false), words({4, 0x2000}));
    expect_fails(program(table), 2, kMsgCinit);
}

TEST(CinitWalk, EntryLongerThanWhatIsLeft) {
    // Length 8 needs 8 + 12 bytes; 16 are there.
    expect_fails(program(words({8, 0x1000, 1, 2})), 2, kMsgCinit);
    // Length 5 rounds to 8: 20 bytes needed, 19 there.
    Bytes table = concat(words({5, 0x1000}), pattern(11, 1));
    expect_fails(program(table), 2, kMsgCinit);
    // A length far beyond the section.
    expect_fails(program(words({0x7FFFFFFF, 0x1000, 1, 0})), 2, kMsgCinit);
}

TEST(CinitWalk, MissingFinalWord) {
    Bytes table = cinit_table({{4, 0x1000, words({1})}, {5, 0x2000, pattern(5, 1)}}, false);
    expect_fails(program(table), 2, kMsgCinit);
    // A single entry that ends exactly at the section's end.
    expect_fails(program(cinit_table({{8, 0x1000, pattern(8, 2)}}, false)), 2, kMsgCinit);
}

TEST(CinitWalk, NonZeroFinalWord) {
    Bytes table = concat(cinit_table({{4, 0x1000, words({1})}}, false), words({0x00010000}));
    expect_fails(program(table), 2, kMsgCinit);
}

// Every step consumes a multiple of 4 bytes, so 1 to 3 bytes are left over at the end.
TEST(CinitWalk, SizeNotAMultipleOfFour) {
    for (size_t extra = 1; extra <= 3; ++extra) {
        SCOPED_TRACE(extra);
        Bytes table = cinit_table({{4, 0x1000, words({1})}});
        for (size_t i = 0; i < extra; ++i) table.push_back(0);
        expect_fails(program(table), 2, kMsgCinit);
        expect_fails_at_end_of_file(table, kMsgCinit);
    }
}

// A length word with the top bit set is refused as soon as it is read. Were it taken
// further, the length check would give another message (0xFFFFFFFF: invalid length;
// 0x80000000 at 0x80000000: address range) or the data read would run short.
TEST(CinitWalk, TopBitLengthWords) {
    const std::pair<uint32_t, uint32_t> cases[] = {{0x80000000, 0x80000000},
                                                   {0x80000000, 0x00000000},
                                                   {0xFFFFFFFF, 0x00000000},
                                                   {0xFFFFFFFC, 0x00001000},
                                                   {0x80000001, 0x00000000}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.first);
        Bytes table = words({k.first, k.second, 1, 2, 3, 0});
        expect_fails(program(table), 2, kMsgCinit);
        // After a good entry as well.
        Bytes later = concat(cinit_table({{4, 0x1000, words({1})}}, false), table);
        expect_fails(program(later), 2, kMsgCinit);
    }
}

TEST(CinitWalk, EntryAddressRangeIsChecked) {
    // 4 bytes from 0xFFFFFFFC would put the last byte at 0xFFFFFFFF.
    expect_fails(program(cinit_table({{4, 0xFFFFFFFC, words({1})}})), 2, kMsgRange);
    expect_fails(program(cinit_table({{4, 0x1000, words({1})}, {15, 0xFFFFFFF1, pattern(15, 1)}})),
                 2, kMsgRange);
}

// Entries are handled in table order as they are read: a bad entry address early in a
// table is reported although the table also lacks its final word, and a table whose
// first entry is fine reports the structural fault.
TEST(CinitWalk, FaultsReportedInTableOrder) {
    Bytes early = cinit_table({{4, 0xFFFFFFFC, words({1})}, {4, 0x1000, words({2})}}, false);
    expect_fails(program(early), 2, kMsgRange);
    Bytes late = cinit_table({{4, 0x1000, words({1})}, {4, 0xFFFFFFFC, words({2})}}, false);
    expect_fails(program(late), 2, kMsgCinit);
}

// The walk stops at the first fault: nothing after the .cinit section is handled.
TEST(CinitWalk, FailureEndsThePass) {
    Coff c = program(words({1}));
    c.sections.push_back(sized(".bss", 0x80, 0, 0x10));
    expect_fails(c, 2, kMsgCinit);
}
