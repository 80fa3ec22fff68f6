// velm_dump's modes as a user meets them: --diff between two builds, --help and
// --version, usage faults, standard input. --json read by a real JSON parser is in
// e2e_dump_json.cpp, write errors in e2e_dump_posix.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump/crc32.h"
#include "dump/image.h"
#include "dump/image_reader.h"
#include "dump_test_support.h"

using namespace velm_dump_test;
using velm_test::Coff;
using velm_test::pattern;
using velm_test::Section;
using velm_test::stored_section;

namespace {

Coff build_with_data(const Bytes& data) {
    Coff c;
    c.entry = 0x400;
    c.sections = {stored_section(".text", 0x400, 0x20, pattern(40, 31)),
                  stored_section(".data", 0x80000000, 0x40, data),
                  stored_section(".cinit", 0x90000000, 0x50,
                                 velm_test::cinit_table({{6, 0x80001000, {1, 2, 3, 4, 5, 6}}}))};
    return c;
}

std::string hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

}  // namespace

TEST(DumpDiff, TwoBuildsThatDifferInOneSection) {
    TempDir dir;
    Bytes old_data = pattern(32, 40);
    Bytes new_data = old_data;
    new_data[9] ^= 0x5A;
    convert(dir, "old", velm_test::build_coff(build_with_data(old_data)));
    convert(dir, "new", velm_test::build_coff(build_with_data(new_data)));

    const std::string want =
        "changed  section  0x80000000..0x8000001F  data differ from "
        "0x80000009 (crc32 " +
        hex8(crc32_of(old_data)) + " -> " + hex8(crc32_of(new_data)) +
        ")\n1 changed, 0 removed, 0 added\n";
    for (const char* a : {"old.bin", "old.c"}) {
        for (const char* b : {"new.bin", "new.c"}) {
            RunResult r = run_dump(dir.path(), {"--diff", a, b});
            EXPECT_EQ(r.exit_status, 1) << a << " " << b;
            EXPECT_EQ(r.out, want) << a << " " << b;
            EXPECT_EQ(r.err, "");
        }
    }
    // The two encodings of one build are equal.
    RunResult same = run_dump(dir.path(), {"--diff", "old.c", "old.bin"});
    EXPECT_EQ(same.exit_status, 0);
    EXPECT_EQ(same.out + same.err, "");
}

TEST(DumpDiff, GrownRemovedAndAddedSections) {
    TempDir dir;
    Coff before = build_with_data(pattern(32, 40));
    Coff after = before;
    after.sections[0].data = pattern(44, 31);                 // .text grew, same start
    after.sections[2] = stored_section(".bss", 0, 0x80, {});  // the .cinit table is gone
    after.sections[2].size = 0x40;
    after.sections.push_back(stored_section(".far", 0x80004000, 0x40, pattern(8, 41)));
    convert(dir, "a", velm_test::build_coff(before));
    convert(dir, "b", velm_test::build_coff(after));
    RunResult r = run_dump(dir.path(), {"--diff", "a.bin", "b.c"});
    EXPECT_EQ(r.exit_status, 1) << r.err;
    Bytes cinit_bytes = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(r.out,
              "changed  section  0x00000400..0x00000427  length 0x00000028 -> "
              "0x0000002C (crc32 " +
                  hex8(crc32_of(pattern(40, 31))) + " -> " + hex8(crc32_of(pattern(44, 31))) +
                  ")\n"
                  "removed  cinit    0x80001000..0x80001005  6 bytes, crc32 " +
                  hex8(crc32_of(cinit_bytes)) +
                  "\n"
                  "added    section  0x80004000..0x80004007  8 bytes, crc32 " +
                  hex8(crc32_of(pattern(8, 41))) + "\n1 changed, 1 removed, 1 added\n");
}

TEST(DumpDiff, ADamagedImageIsTroubleNotADifference) {
    TempDir dir;
    Converted c = convert(dir, "a", velm_test::build_coff(build_with_data(pattern(32, 40))));
    dir.write("cut.bin", c.binary.substr(0, c.binary.size() - 12));
    RunResult r = run_dump(dir.path(), {"--diff", "a.bin", "cut.bin"});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("velm_dump: cut.bin: error: no end record: the file ends at byte "
                          "offset ",
                          0),
              0u)
        << r.err;
}

TEST(DumpCommandLine, HelpAndVersionFollowGnuConventions) {
    TempDir dir;
    RunResult help = run_dump(dir.path(), {"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: velm_dump ", 0), 0u);
    RunResult version = run_dump(dir.path(), {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(
        version.out.rfind(std::string("velm_dump (c6x_velm) ") + VELM_PROJECT_VERSION + "\n", 0),
        0u)
        << version.out;
}

TEST(DumpCommandLine, UsageFaultsAndUnreadableFilesAreTrouble) {
    TempDir dir;
    RunResult none = run_dump(dir.path(), {});
    EXPECT_EQ(none.exit_status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err,
              "velm_dump: missing operand\nTry 'velm_dump --help' for more information.\n");
    RunResult bad = run_dump(dir.path(), {"--frobnicate", "x"});
    EXPECT_EQ(bad.exit_status, 2);
    EXPECT_EQ(bad.err,
              "velm_dump: unrecognized option '--frobnicate'\nTry 'velm_dump --help' "
              "for more information.\n");
    RunResult missing = run_dump(dir.path(), {"nope.bin"});
    EXPECT_EQ(missing.exit_status, 2);
    EXPECT_EQ(missing.err, "velm_dump: nope.bin: No such file or directory\n");
    RunResult directory = run_dump(dir.path(), {"--check", "."});
    EXPECT_EQ(directory.exit_status, 2);
    EXPECT_EQ(directory.err, "velm_dump: .: Is a directory\n");
}

// A program handed over in place of its image is named for what it is, in every mode but
// --diff, which converts it.
TEST(DumpCommandLine, AProgramIsNotAnImage) {
    TempDir dir;
    Converted image = convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    // ELF headers: ELFCLASS32, little-endian, version 1, then e_type 2 and e_machine.
    std::string elf(
        "\x7F"
        "ELF\x01\x01\x01",
        7);
    elf.resize(16, '\0');
    dir.write("c6000.elf", elf + std::string("\x02\x00\x8C\x00", 4) + std::string(32, '\0'));
    dir.write("x86.elf", elf + std::string("\x02\x00\x03\x00", 4) + std::string(32, '\0'));
    const std::vector<std::pair<std::string, std::string>> programs = {
        {"app.out", "a C6000 COFF2 program"},
        {"c6000.elf", "a C6000 ELF program"},
        {"x86.elf", "an ELF file"}};
    for (const auto& [file, kind] : programs) {
        const std::string line = "velm_dump: " + file + ": " + kind +
                                 ", not a VELM image: convert it with c6x_velm first\n";
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{file}, {"--check", file}, {"--json", file}}) {
            RunResult r = run_dump(dir.path(), args);
            EXPECT_EQ(r.exit_status, 2) << file << " " << args[0];
            EXPECT_EQ(r.out, "") << file << " " << args[0];
            EXPECT_EQ(r.err, line) << file << " " << args[0];
        }
    }
    EXPECT_EQ(run_dump(dir.path(), {"--check", "app.bin"}).exit_status, 0);
}

// "-" reads the image from standard input, byte for byte: a BINARY image holding 0x1A
// (the old end-of-file mark) and CR bytes, and a TEXT image with its CR LF line ends.
TEST(DumpCommandLine, ReadsStandardInput) {
    TempDir dir;
    Bytes data;
    for (int i = 0; i < 16; ++i) data.insert(data.end(), {0x1A, 0x0D, 0x0A, 0x1A});
    convert(dir, "app", velm_test::build_coff(build_with_data(data)));
    for (const char* name : {"app.c", "app.bin"}) {
        RunResult piped = run_dump(dir.path(), {"--check", "-"}, dir.file(name));
        EXPECT_EQ(piped.exit_status, 0) << name << piped.err;
        EXPECT_EQ(piped.out + piped.err, "") << name;
        RunResult listed = run_dump(dir.path(), {"-"}, dir.file(name));
        RunResult named = run_dump(dir.path(), {name});
        EXPECT_EQ(listed.exit_status, 0) << name;
        EXPECT_EQ(listed.out.substr(listed.out.find('\n')), named.out.substr(named.out.find('\n')))
            << name;
        EXPECT_EQ(listed.out.rfind("file:      standard input\n", 0), 0u) << name;
    }
    RunResult empty = run_dump(dir.path(), {"-"});  // no standard input: an empty file
    EXPECT_EQ(empty.exit_status, 1);
    EXPECT_EQ(empty.err, "velm_dump: standard input: error: no end record: the file is empty\n");
}
