// Each check of velm_dump on images that c6x_velm really wrote, then cut or corrupted:
// the exact message, where it goes and the exit status, in both encodings.
//
// The image of damage_program(), BINARY byte offsets and words:
//   record 1  section .text  0x00000400, 10 bytes   offset   0, 3 + 3 words
//   record 2  section .data  0x80000000, 16 bytes   offset  24, 3 + 4 words
//   record 3  cinit          0x80001000,  8 bytes   offset  52, 3 + 2 words
//   record 4  cinit          0x80001010,  5 bytes   offset  72, 3 + 2 words
//   record 5  section .far   0x80004000,  6 bytes   offset  92, 3 + 2 words
//   record 6  end                                   offset 112; file length 124
// In TEXT every record's position is the line of its header words, found in the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump/image.h"
#include "dump/image_reader.h"
#include "dump_test_support.h"

using namespace velm_dump_test;
using velm::dump::Image;
using velm::dump::Problem;
using velm::dump::read_image;
using velm::dump::Severity;
using velm_test::Coff;
using velm_test::pattern;
using velm_test::Section;
using velm_test::stored_section;

namespace {

Coff damage_program() {
    Coff c;
    c.entry = 0x400;
    c.sections = {stored_section(".text", 0x400, 0x20, pattern(10, 21)),
                  stored_section(".data", 0x80000000, 0x40, pattern(16, 22)),
                  stored_section(".cinit", 0x90000000, 0x50,
                                 velm_test::cinit_table({{8, 0x80001000, velm_test::words({1, 2})},
                                                         {5, 0x80001010, {1, 2, 3, 4, 5}}})),
                  stored_section(".far", 0x80004000, 0x40, pattern(6, 23))};
    return c;
}

class DumpDamagedImage : public ::testing::Test {
  protected:
    void SetUp() override {
        Converted c = convert(dir_, "app", velm_test::build_coff(damage_program()));
        text_ = c.text;
        bin_ = c.binary;
        ASSERT_EQ(bin_.size(), 124u);
    }

    // The line of a record's header words in the TEXT image.
    uint32_t line(const std::string& header_start) const {
        uint32_t n = line_of(text_, header_start);
        EXPECT_NE(n, 0u) << header_start;
        return n;
    }
    std::string at_line(const std::string& header_start) const {
        return "line " + std::to_string(line(header_start));
    }

    // Runs velm_dump on `content` saved as `name`, once listing and once with --check,
    // and expects `problems` (each "error: ..." or "warning: ...") on standard error.
    void expect_problems(const std::string& name, const std::string& content,
                         const std::vector<std::string>& problems, int status) {
        dir_.write(name, content);
        std::string err;
        for (const std::string& p : problems) err += "velm_dump: " + name + ": " + p + "\n";
        RunResult listing = run_dump(dir_.path(), {name});
        EXPECT_EQ(listing.err, err);
        EXPECT_EQ(listing.exit_status, status);
        EXPECT_EQ(listing.out.rfind("file:      " + name + "\n", 0), 0u) << listing.out;
        RunResult check = run_dump(dir_.path(), {"--check", name});
        EXPECT_EQ(check.err, err);
        EXPECT_EQ(check.out, "");
        EXPECT_EQ(check.exit_status, status);
        last_listing_ = listing.out;
    }

    static std::string replaced(std::string s, const std::string& from, const std::string& to) {
        size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) s.replace(at, from.size(), to);
        return s;
    }

    TempDir dir_;
    std::string text_;
    std::string bin_;
    std::string last_listing_;
};

const char kRecord2[] = "0x90003B09,  0x80000000,  0x00000010,";
const char kRecord3[] = "0x90013B09,  0x80001000,  0x00000008,";
const char kRecord4[] = "0x90013B09,  0x80001010,  0x00000005,";
const char kRecord5[] = "0x90003B09,  0x80004000,  0x00000006,";
const char kEndWords[] = "0xFFFF3B09,  0x00000000,  0x00000000";

}  // namespace

TEST_F(DumpDamagedImage, TheUndamagedImagesAreSound) {
    expect_problems("app.bin", bin_, {}, 0);
    expect_problems("app.c", text_, {}, 0);
    EXPECT_NE(last_listing_.find("    6  end      0x00000000  0x00000000  -"), std::string::npos);
}

TEST_F(DumpDamagedImage, UnknownTag) {
    std::string bin = bin_;
    set_le32(&bin, 52, 0x12345678);
    expect_problems("tag.bin", bin, {"error: record 3 at byte offset 52: unknown tag 0x12345678"},
                    1);
    // The records before it are still listed.
    EXPECT_NE(last_listing_.find("\n    2  section  0x80000000"), std::string::npos);
    EXPECT_EQ(last_listing_.find("\n    3  "), std::string::npos);

    std::string text = replaced(text_, kRecord3, "0x12345678,  0x80001000,  0x00000008,");
    expect_problems("tag.c", text,
                    {"error: record 3 at " + at_line(kRecord3) + ": unknown tag 0x12345678"}, 1);
}

TEST_F(DumpDamagedImage, RecordCutShortInItsData) {
    expect_problems("cut.bin", bin_.substr(0, 68),
                    {"error: record 3 (cinit, address 0x80001000, length 0x00000008) at byte "
                     "offset 52: cut short by the end of the file: 2 data words (8 bytes) "
                     "announced, 4 bytes present"},
                    1);
    expect_problems("cut2.bin", bin_.substr(0, 71),
                    {"error: record 3 (cinit, address 0x80001000, length 0x00000008) at byte "
                     "offset 52: cut short by the end of the file: 2 data words (8 bytes) "
                     "announced, 7 bytes present"},
                    1);

    // TEXT cut in the middle of the record's data line: the file ends inside the list.
    const size_t header = text_.find(kRecord3);
    const size_t first_word_end = text_.find("0x00000001,", header) + 11;
    const uint32_t data_line = line(kRecord3) + 1;
    expect_problems(
        "cut.c", text_.substr(0, first_word_end),
        {"error: line " + std::to_string(data_line) +
             ": the file ends inside the initializer list (no closing '};')",
         "error: record 3 (cinit, address 0x80001000, length 0x00000008) at " + at_line(kRecord3) +
             ": cut short by the end of the initializer list: 2 data words "
             "announced, 1 present"},
        1);
    // The same record cut short in a list that is closed properly.
    expect_problems(
        "closed.c", text_.substr(0, first_word_end) + "\r\n};\r\n",
        {"error: record 3 (cinit, address 0x80001000, length 0x00000008) at " + at_line(kRecord3) +
         ": cut short by the end of the initializer list: 2 data words "
         "announced, 1 present"},
        1);
}

TEST_F(DumpDamagedImage, RecordCutShortInItsHeader) {
    expect_problems("head.bin", bin_.substr(0, 60),
                    {"error: record 3 at byte offset 52: header cut short by the end of the "
                     "file: 8 of 12 bytes present"},
                    1);
    const size_t header = text_.find(kRecord3);
    expect_problems("head.c", text_.substr(0, header + 24) + "};",
                    {"error: record 3 at " + at_line(kRecord3) +
                     ": header cut short by the end of the initializer list: 2 of 3 words "
                     "present"},
                    1);
}

TEST_F(DumpDamagedImage, EveryCutOfTheBinaryImageIsOneError) {
    // Every length in-process; the tool itself on a few of them.
    for (size_t n = 0; n < bin_.size(); ++n) {
        Image image = read_image(bin_.substr(0, n));
        ASSERT_EQ(image.problems.size(), 1u) << n;
        const Problem& p = image.problems[0];
        EXPECT_EQ(p.severity, Severity::error) << n;
        const bool boundary = n == 0 || n == 24 || n == 52 || n == 72 || n == 92 || n == 112;
        EXPECT_EQ(p.message.find("no end record") == 0, boundary) << n << ": " << p.message;
        EXPECT_EQ(p.message.find("cut short by the end of the file") != std::string::npos,
                  !boundary)
            << n << ": " << p.message;
    }
    for (size_t n : {1u, 30u, 64u, 112u, 123u}) {
        dir_.write("cut.bin", bin_.substr(0, n));
        RunResult r = run_dump(dir_.path(), {"--check", "cut.bin"});
        EXPECT_EQ(r.exit_status, 1) << n;
        EXPECT_EQ(r.out, "") << n;
        EXPECT_EQ(r.err.rfind("velm_dump: cut.bin: error: ", 0), 0u) << n << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << n << r.err;
    }
}

TEST_F(DumpDamagedImage, EveryCutOfTheTextImageFails) {
    // Cut anywhere before the closing "};", the TEXT image has an error.
    const size_t close = text_.rfind("};");
    for (size_t n = 0; n < close; ++n) {
        Image image = read_image(text_.substr(0, n));
        EXPECT_TRUE(has_errors(image)) << n;
    }
    for (size_t n : {size_t{5}, text_.find(kRecord2) + 3, text_.find(kEndWords) + 20}) {
        dir_.write("cut.c", text_.substr(0, n));
        RunResult r = run_dump(dir_.path(), {"--check", "cut.c"});
        EXPECT_EQ(r.exit_status, 1) << n;
        EXPECT_EQ(r.out, "") << n;
        EXPECT_EQ(r.err.rfind("velm_dump: cut.c: error: ", 0), 0u) << n << r.err;
    }
}

TEST_F(DumpDamagedImage, NoEndRecord) {
    expect_problems("noend.bin", bin_.substr(0, 112),
                    {"error: no end record: the file ends at byte offset 112, after record 5"}, 1);
    std::string text = replaced(text_, std::string("     ") + kEndWords + "\r\n", "");
    expect_problems("noend.c", text,
                    {"error: no end record: the initializer list ends at line " +
                     std::to_string(line_of(text, "};")) + ", after record 5"},
                    1);
}

TEST_F(DumpDamagedImage, AnythingAfterTheEndRecord) {
    expect_problems("after.bin", bin_ + std::string("\x09\x3B\x00\x90\x00", 5),
                    {"error: end record (record 6) at byte offset 112 is followed by 5 more "
                     "bytes, from byte offset 124"},
                    1);
    std::string text =
        replaced(text_, std::string(kEndWords) + "\r\n", std::string(kEndWords) + ",\r\n  7,\r\n");
    expect_problems(
        "after.c", text,
        {"error: end record (record 6) at " + at_line(kEndWords) +
         " is followed by 1 more word, from line " + std::to_string(line(kEndWords) + 1)},
        1);
    expect_problems("trailer.c", text_ + "int extra;\r\n",
                    {"error: line " + std::to_string(line_of(text_ + "int extra;", "int extra")) +
                     ": unexpected 'int' after the declaration"},
                    1);
}

TEST_F(DumpDamagedImage, EndRecordWithAddressOrLength) {
    std::string bin = bin_;
    set_le32(&bin, 116, 5);
    expect_problems("end.bin", bin,
                    {"error: end record (record 6) at byte offset 112: address 0x00000005 and "
                     "length 0x00000000 must both be 0"},
                    1);
    std::string text = replaced(text_, kEndWords, "0xFFFF3B09,  0x00000000,  0x00000010");
    expect_problems("end.c", text,
                    {"error: end record (record 6) at " + at_line(kEndWords) +
                     ": address 0x00000000 and length 0x00000010 must both be 0"},
                    1);
}

TEST_F(DumpDamagedImage, LengthZero) {
    // Record 5 with length 0 and, consistently, no data words.
    std::string bin = bin_.substr(0, 100) + std::string(4, '\0') + bin_.substr(112);
    expect_problems("zero.bin", bin,
                    {"error: record 5 (section) at byte offset 92: invalid length 0x00000000"}, 1);
    EXPECT_NE(last_listing_.find("    5  section  0x80004000  0x00000000  -               0  "
                                 "0x00000000\n    6  end "),
              std::string::npos)
        << last_listing_;

    const size_t header = text_.find(kRecord5);
    const size_t data_line = text_.find("\r\n", header) + 2;
    std::string text = text_;
    text.erase(data_line, text.find("\r\n", data_line) + 2 - data_line);
    text = replaced(text, kRecord5, "0x90003B09,  0x80004000,  0x00000000,");
    expect_problems(
        "zero.c", text,
        {"error: record 5 (section) at " + at_line(kRecord5) + ": invalid length 0x00000000"}, 1);
}

TEST_F(DumpDamagedImage, LengthAllOnes) {
    std::string bin = bin_;
    set_le32(&bin, 100, 0xFFFFFFFF);
    expect_problems("ones.bin", bin,
                    {"error: record 5 (section) at byte offset 92: invalid length 0xFFFFFFFF"}, 1);
    std::string text = replaced(text_, kRecord5, "0x90003B09,  0x80004000,  0xFFFFFFFF,");
    expect_problems(
        "ones.c", text,
        {"error: record 5 (section) at " + at_line(kRecord5) + ": invalid length 0xFFFFFFFF"}, 1);
}

TEST_F(DumpDamagedImage, AddressRangePastTheLastAddress) {
    std::string bin = bin_;
    set_le32(&bin, 28, 0xFFFFFFF8);
    expect_problems("range.bin", bin,
                    {"error: record 2 (section) at byte offset 24: address range "
                     "0xFFFFFFF8..0x100000007 passes 0xFFFFFFFF"},
                    1);
    std::string text = replaced(text_, kRecord2, "0x90003B09,  0xFFFFFFF8,  0x00000010,");
    expect_problems("range.c", text,
                    {"error: record 2 (section) at " + at_line(kRecord2) +
                     ": address range 0xFFFFFFF8..0x100000007 passes 0xFFFFFFFF"},
                    1);
    // The last byte may lie at 0xFFFFFFFE, not at 0xFFFFFFFF: velm_check refuses that.
    set_le32(&bin, 28, 0xFFFFFFF0);
    expect_problems("top.bin", bin,
                    {"error: record 2 (section) at byte offset 24: address range "
                     "0xFFFFFFF0..0xFFFFFFFF reaches 0xFFFFFFFF"},
                    1);
    set_le32(&bin, 28, 0xFFFFFFEF);
    expect_problems("below.bin", bin, {}, 0);
}

TEST_F(DumpDamagedImage, OverlapsAreWarningsUnlessStrict) {
    std::string bin = bin_;
    set_le32(&bin, 76, 0x80001004);
    const std::string warning =
        "warning: records 3 (cinit at byte offset 52) and 4 (cinit at byte offset 72) overlap "
        "at 0x80001004..0x80001007";
    expect_problems("overlap.bin", bin, {warning}, 0);
    RunResult strict = run_dump(dir_.path(), {"--strict", "--check", "overlap.bin"});
    EXPECT_EQ(strict.exit_status, 1);
    EXPECT_EQ(strict.err, "velm_dump: overlap.bin: " + warning + "\n");

    std::string text = replaced(text_, kRecord4, "0x90013B09,  0x80001004,  0x00000005,");
    expect_problems("overlap.c", text,
                    {"warning: records 3 (cinit at " + at_line(kRecord3) + ") and 4 (cinit at " +
                     at_line(kRecord4) + ") overlap at 0x80001004..0x80001007"},
                    0);
    EXPECT_EQ(run_dump(dir_.path(), {"overlap.c", "--strict"}).exit_status, 1);
}
