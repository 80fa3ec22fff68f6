// velm_dump against what only POSIX systems have: a device that fails every write, a
// pipe, and file names holding any byte.
#include <gtest/gtest.h>

#include <string>

#include "dump/image_reader.h"
#include "dump_test_support.h"
#include "support/elf_builder.h"

using namespace velm_dump_test;

TEST(DumpCommandLine, ReportsWriteErrors) {
    TempDir dir;
    convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    RunResult full = velm_test::run_in(
        dir.path(), {"-c", "'" + dump_path() + "' app.bin > /dev/full"}, "/bin/sh");
    EXPECT_EQ(full.exit_status, 2);
    EXPECT_EQ(full.err, "velm_dump: write error: No space left on device\n");
}

// The input path lands in a TEXT comment line as typed: a file name holding any byte
// still gives a TEXT image that velm_dump reads as TEXT.
TEST(DumpEncodings, AnyByteInTheInputPathKeepsTheImageText) {
    TempDir dir;
    velm_test::Elf e;
    e.entry = 0x400;
    e.sections.push_back(
        velm_test::alloc_section(".text", velm_test::kShfExec, 0x400, velm_test::words({1, 2})));
    e.segments.push_back(velm_test::load_segment(0x400, {".text"}));
    const Bytes elf = velm_test::build_elf(e);
    for (int b = 1; b < 256; ++b) {
        if (b == '/' || b == '\\') continue;  // the tool's separators, not name bytes
        const std::string name = "p" + std::string(1, static_cast<char>(b)) + "q";
        dir.write(name + ".out", elf);
        RunResult r = velm_test::run_in(dir.path(), {name + ".out", "out.c"}, c6x_path());
        ASSERT_EQ(r.exit_status, 0) << b << r.out;
        velm::dump::Image image = velm::dump::read_image(dir.read("out.c"));
        EXPECT_EQ(image.encoding, velm::dump::Encoding::text) << b;
        EXPECT_TRUE(image.problems.empty()) << b << ": " << image.problems[0].message;
    }
}

// An image from a pipe can be read only once: --diff copies it aside as it reads it, on
// either side, and finds what it finds for the files.
TEST(DumpDiff, ComparesAnImageFromAPipe) {
    TempDir dir;
    velm_test::Coff program = velm_test::example_program();
    convert(dir, "old", velm_test::build_coff(program));
    program.sections[0].data[9] ^= 0x5A;
    convert(dir, "new", velm_test::build_coff(program));
    RunResult files = run_dump(dir.path(), {"--diff", "old.c", "new.bin"});
    ASSERT_EQ(files.exit_status, 1) << files.err;
    ASSERT_NE(files.out, "");
    for (const char* pipe :
         {"cat old.c | '%s' --diff - new.bin", "cat new.bin | '%s' --diff old.c -"}) {
        std::string command = pipe;
        command.replace(command.find("%s"), 2, dump_path());
        RunResult r = velm_test::run_in(dir.path(), {"-c", command}, "/bin/sh");
        EXPECT_EQ(r.exit_status, 1) << command << r.err;
        EXPECT_EQ(r.out, files.out) << command;
        EXPECT_EQ(r.err, "") << command;
    }
    // --check passes over the data of a piped BINARY image by reading it, not seeking: a
    // section of 1 MiB arrives in many reads.
    velm_test::Coff large;
    large.entry = 0x400;
    large.sections = {
        velm_test::stored_section(".text", 0x400, 0x20, velm_test::pattern(1 << 20, 5))};
    convert(dir, "large", velm_test::build_coff(large));
    std::string check = "cat large.bin | '" + dump_path() + "' --check -";
    RunResult piped = velm_test::run_in(dir.path(), {"-c", check}, "/bin/sh");
    EXPECT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_EQ(piped.out + piped.err, "");
    check = "head -c 700000 large.bin | '" + dump_path() + "' --check -";
    piped = velm_test::run_in(dir.path(), {"-c", check}, "/bin/sh");
    EXPECT_EQ(piped.exit_status, 1);
    EXPECT_EQ(piped.err,
              "velm_dump: standard input: error: record 1 (section, address 0x00000400, length "
              "0x00100000) at byte offset 0: cut short by the end of the file: 262144 data words "
              "(1048576 bytes) announced, 699988 bytes present\n");
}

// A program from a pipe is read whole into the spool before it is converted: on either
// side, and as the second of two programs, whose image is then spooled as well.
TEST(DumpDiffProgram, APipedProgramEqualsItsImage) {
    TempDir dir;
    convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    const std::string dump = "'" + dump_path() + "' --diff ";
    RunResult r =
        velm_test::run_in(dir.path(),
                          {"-c", "cat app.out | " + dump + "- app.c && cat app.out | " + dump +
                                     "app.bin - && cat app.out | " + dump + "app.out -"},
                          "/bin/sh");
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
}
