// Round trip: COFF2 and ELF input -> c6x_velm (TEXT and BINARY) -> velm_dump.
//
// For every input that converts, both encodings must dump to the same record list, every
// section record must carry exactly the section's bytes from the input file, and every
// cinit record exactly its table entry's bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump/crc32.h"
#include "dump/image.h"
#include "dump/image_reader.h"
#include "dump_test_support.h"
#include "support/elf_builder.h"

using namespace velm_dump_test;
using velm::dump::Image;
using velm::dump::Record;
using velm::dump::RecordKind;
using velm_test::Coff;
using velm_test::pattern;
using velm_test::Section;
using velm_test::stored_section;
using velm_test::words;

namespace {

using velm_test::Placed;
using velm_test::RoundTripInput;

std::vector<Placed> records_of_kind(const Image& image, RecordKind kind) {
    std::vector<Placed> out;
    for (const Record& r : image.records) {
        if (velm::dump::kind_of(r) == kind)
            out.push_back({r.address, velm::dump::record_bytes(image, r)});
    }
    return out;
}

}  // namespace

class DumpRoundTrip : public ::testing::TestWithParam<RoundTripInput> {};

TEST_P(DumpRoundTrip, BothEncodingsDumpToTheSectionsAndEntriesOfTheInput) {
    const RoundTripInput& c = GetParam();
    TempDir dir;
    const Bytes coff = velm_test::build_coff(c.coff);
    Converted conv = convert(dir, "in", coff);

    Image text = velm::dump::read_image(conv.text);
    Image binary = velm::dump::read_image(conv.binary);
    EXPECT_EQ(text.encoding, velm::dump::Encoding::text);
    EXPECT_EQ(binary.encoding, velm::dump::Encoding::binary);
    EXPECT_TRUE(text.problems.empty()) << text.problems[0].message;
    EXPECT_TRUE(binary.problems.empty()) << binary.problems[0].message;

    // Identical record lists, data included.
    ASSERT_EQ(text.records.size(), binary.records.size());
    for (uint32_t i = 0; i < text.records.size(); ++i) {
        const Record& t = text.records[i];
        const Record& b = binary.records[i];
        EXPECT_EQ(velm::dump::kind_of(t), velm::dump::kind_of(b)) << i;
        EXPECT_EQ(t.address, b.address) << i;
        EXPECT_EQ(t.length, b.length) << i;
        EXPECT_EQ(velm::dump::data_words_of(t), velm::dump::data_words_of(b)) << i;
        EXPECT_EQ(t.crc32, b.crc32) << i;
        EXPECT_EQ(velm::dump::record_bytes(text, t), velm::dump::record_bytes(binary, b)) << i;
    }
    ASSERT_FALSE(binary.records.empty());
    EXPECT_EQ(velm::dump::kind_of(binary.records.back()), RecordKind::end);

    // The data are the input's bytes.
    EXPECT_EQ(records_of_kind(binary, RecordKind::section), expected_section_records(coff));
    EXPECT_EQ(records_of_kind(binary, RecordKind::cinit), c.cinit);
    for (const Record& r : binary.records) {
        if (velm::dump::kind_of(r) == RecordKind::end) continue;
        std::vector<uint8_t> bytes = velm::dump::record_bytes(binary, r);
        EXPECT_EQ(r.crc32, crc32_of(bytes));
    }

    // The tool's own listings agree, apart from the file name and encoding lines.
    velm_test::RunResult lt = run_dump(dir.path(), {"in.c"});
    velm_test::RunResult lb = run_dump(dir.path(), {"in.bin"});
    EXPECT_EQ(lt.exit_status, 0) << lt.err;
    EXPECT_EQ(lb.exit_status, 0) << lb.err;
    EXPECT_EQ(lt.err, "");
    EXPECT_EQ(lt.out.rfind("file:      in.c\nencoding:  TEXT\n", 0), 0u) << lt.out;
    EXPECT_EQ(lb.out.rfind("file:      in.bin\nencoding:  BINARY\n", 0), 0u) << lb.out;
    EXPECT_EQ(lt.out.substr(lt.out.find("\n\n")), lb.out.substr(lb.out.find("\n\n")));
    EXPECT_EQ(lb.out.find('\r'), std::string::npos) << "velm_dump writes plain line feeds";

    velm_test::RunResult check = run_dump(dir.path(), {"--check", "in.c"});
    EXPECT_EQ(check.exit_status, 0);
    EXPECT_EQ(check.out + check.err, "");
}

INSTANTIATE_TEST_SUITE_P(Inputs, DumpRoundTrip, ::testing::ValuesIn(velm_test::roundtrip_inputs()),
                         [](const ::testing::TestParamInfo<RoundTripInput>& info) {
                             return info.param.name;
                         });

TEST(DumpRoundTripListing, TheExampleListsItsRecordsAndSummary) {
    TempDir dir;
    convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    velm_test::RunResult r = run_dump(dir.path(), {"app.bin"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::string table = r.out.substr(r.out.find("index"));
    // Addresses, lengths, last addresses and word counts follow from the example's
    // sections; the CRCs are checked against the COFF bytes in the round trip above.
    const char* rows[] = {"    1  section  0x00000400  0x00001806  0x00001C05   1538  0x",
                          "    2  section  0x80000000  0x00000040  0x8000003F     16  0x",
                          "    3  section  0x80000040  0x0000002D  0x8000006C     12  0x",
                          "    4  cinit    0x80001000  0x00000008  0x80001007      2  0x",
                          "    5  cinit    0x80001010  0x00000005  0x80001014      2  0x",
                          "    6  cinit    0x80001020  0x00000004  0x80001023      1  0x",
                          "    7  section  0x80004000  0x00000018  0x80004017      6  0x",
                          "    8  end      0x00000000  0x00000000  -               0  -\n"};
    for (const char* row : rows) EXPECT_NE(table.find(row), std::string::npos) << row;
    EXPECT_NE(table.find("\nrecords:   7 (4 section, 3 cinit)\nbytes:     6300\n"
                         "lowest:    0x00000400\nhighest:   0x80004017\n"),
              std::string::npos)
        << table;
}

// ELF input: velm_dump reads both encodings without a problem, and the image holds
// exactly one section record per loaded section, at its load address, with its bytes.

namespace {

using velm_test::alloc_section;
using velm_test::Elf;
using velm_test::ElfSection;
using velm_test::load_segment;

struct ElfRoundTripInput {
    std::string name;
    Elf elf;
    std::vector<Placed> loaded;  // load address and bytes, in section order
};

const Bytes& data_of(const Elf& e, const std::string& name) {
    for (const ElfSection& s : e.sections) {
        if (s.name == name) return s.data;
    }
    static const Bytes none;
    ADD_FAILURE() << "no section " << name;
    return none;
}

std::vector<ElfRoundTripInput> elf_cases() {
    std::vector<ElfRoundTripInput> out;
    Elf ex = velm_test::elf_example_program();
    out.push_back({"example",
                   ex,
                   {{0x00800000, data_of(ex, ".text")},
                    {0x00810000, data_of(ex, ".const")},
                    {0x90000000, data_of(ex, ".fardata")},
                    {0x00820000, data_of(ex, ".cinit")}}});

    // Above the writer's 0x40000-byte piece and not a multiple of 4; then sections of 1,
    // 2, 3 and 17 bytes in one segment, 4-byte aligned in the file, stored in flash.
    Elf sizes;
    sizes.sections = {alloc_section(".text", 0x4, 0x00800000, pattern(0x40000 + 0x1235, 1)),
                      alloc_section(".d1", 0x1, 0x80000000, pattern(1, 2)),
                      alloc_section(".d2", 0x1, 0x80000010, pattern(2, 3)),
                      alloc_section(".d3", 0x1, 0x80000020, pattern(3, 4)),
                      alloc_section(".d17", 0x1, 0x80000030, pattern(17, 5))};
    sizes.segments = {load_segment(0x00800000, {".text"}),
                      load_segment(0x90000000, {".d1", ".d2", ".d3", ".d17"})};
    out.push_back({"sizes",
                   sizes,
                   {{0x00800000, pattern(0x40000 + 0x1235, 1)},
                    {0x90000000, pattern(1, 2)},
                    {0x90000004, pattern(2, 3)},
                    {0x90000008, pattern(3, 4)},
                    {0x9000000C, pattern(17, 5)}}});

    return out;
}

void PrintTo(const ElfRoundTripInput& c, std::ostream* os) {
    *os << c.name;
}

}  // namespace

class DumpElfRoundTrip : public ::testing::TestWithParam<ElfRoundTripInput> {};

TEST_P(DumpElfRoundTrip, BothEncodingsHoldTheLoadedSections) {
    const ElfRoundTripInput& c = GetParam();
    TempDir dir;
    Converted conv = convert(dir, "in", velm_test::build_elf(c.elf));
    for (const std::string* image : {&conv.text, &conv.binary}) {
        Image read = velm::dump::read_image(*image);
        EXPECT_TRUE(read.problems.empty()) << read.problems[0].message;
        EXPECT_EQ(records_of_kind(read, RecordKind::section), c.loaded);
        EXPECT_TRUE(records_of_kind(read, RecordKind::cinit).empty());
        ASSERT_FALSE(read.records.empty());
        EXPECT_EQ(velm::dump::kind_of(read.records.back()), RecordKind::end);
    }
    for (const char* name : {"in.c", "in.bin"}) {
        velm_test::RunResult check = run_dump(dir.path(), {"--check", name});
        EXPECT_EQ(check.exit_status, 0) << name << check.out << check.err;
        EXPECT_EQ(check.out + check.err, "") << name;
    }
}

INSTANTIATE_TEST_SUITE_P(ElfInputs, DumpElfRoundTrip, ::testing::ValuesIn(elf_cases()),
                         [](const ::testing::TestParamInfo<ElfRoundTripInput>& info) {
                             return info.param.name;
                         });

// Section names land in TEXT comment lines unchanged but for CR and LF: whatever bytes
// they hold, each image is read in the encoding it was written in, and reads sound.
TEST(DumpEncodings, AnyByteInASectionNameKeepsEachImageInItsEncoding) {
    Elf e;
    e.entry = 0x400;
    std::vector<std::string> names;
    for (int b = 1; b < 256; ++b) {
        names.push_back(".s" + std::string(1, static_cast<char>(b)) + "x");
        e.sections.push_back(alloc_section(names.back(), velm_test::kShfExec, 0x1000 + 4 * b,
                                           words({static_cast<uint32_t>(b)})));
    }
    e.segments.push_back(load_segment(0x1000, names));
    TempDir dir;
    Converted c = convert(dir, "names", velm_test::build_elf(e));
    for (const std::string* bytes : {&c.text, &c.binary}) {
        Image image = velm::dump::read_image(*bytes);
        EXPECT_EQ(image.encoding,
                  bytes == &c.text ? velm::dump::Encoding::text : velm::dump::Encoding::binary);
        EXPECT_TRUE(image.problems.empty()) << image.problems[0].message;
        EXPECT_EQ(image.records.size(), 256u);
    }
}
