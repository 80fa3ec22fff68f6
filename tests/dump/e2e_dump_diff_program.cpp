// velm_dump --diff with a C6000 program in place of an image: the image c6x_velm makes of
// it is what is compared, so the program equals its own images, differs from an image of
// another build by the changed record, and is trouble when c6x_velm refuses it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dump/dump_options.h"
#include "dump/dump_run.h"
#include "dump_test_support.h"
#include "support/elf_builder.h"

using namespace velm_dump_test;

namespace {

// In process, the files as bytes in memory: a program there is copied into a temporary
// file for the converter, which reads its input at random.
velm::dump::DumpResult diff(const std::pair<std::string, std::string>& a,
                            const std::pair<std::string, std::string>& b) {
    velm::dump::DumpOptions options;
    EXPECT_EQ(velm::dump::parse_dump_options({"--diff", a.first, b.first}, &options), "");
    return velm::dump::run_dump(options, {{a.first, a.second}, {b.first, b.second}});
}

}  // namespace

// The built velm_dump on files and on a program piped in: COFF2 with a .cinit table, and
// ELF; the program on either side, and against itself (two programs).
TEST(DumpDiffProgram, AProgramEqualsItsOwnImagesEitherWayRound) {
    TempDir dir;
    convert(dir, "coff", velm_test::build_coff(velm_test::example_program()));
    convert(dir, "elf", velm_test::build_elf(velm_test::elf_example_program()));
    for (const std::string name : {"coff", "elf"}) {
        const std::string program = name + ".out";
        for (const std::string& image : {name + ".c", name + ".bin", program}) {
            for (const std::vector<std::string>& args :
                 std::vector<std::vector<std::string>>{{"--diff", program, image},
                                                       {"--diff", image, program},
                                                       {"--diff", image, "-"}}) {
                RunResult r = run_dump(dir.path(), args, dir.file(program));
                EXPECT_EQ(r.exit_status, 0) << args[1] << " " << args[2] << r.err;
                EXPECT_EQ(r.out + r.err, "") << args[1] << " " << args[2];
            }
        }
    }
}

// A build whose .data section changed: as the program or as its image, against the older
// build as the program or as its image, the same one changed record, named as between
// the two BINARY images.
TEST(DumpDiffProgram, AnotherBuildDiffersByTheChangedRecord) {
    TempDir dir;
    velm_test::Coff newer = velm_test::example_program();
    newer.sections[1].data[20] ^= 0x5A;
    Converted old_image = convert(dir, "old", velm_test::build_coff(velm_test::example_program()));
    Converted new_image = convert(dir, "new", velm_test::build_coff(newer));
    const auto old_out = std::make_pair(std::string("old.out"), dir.read("old.out"));
    const auto new_out = std::make_pair(std::string("new.out"), dir.read("new.out"));
    const auto old_bin = std::make_pair(std::string("old.bin"), old_image.binary);
    const auto new_bin = std::make_pair(std::string("new.bin"), new_image.binary);
    const auto old_c = std::make_pair(std::string("old.c"), old_image.text);
    const std::string forward = diff(old_bin, new_bin).out;
    EXPECT_EQ(forward,
              "changed  section  0x80000000..0x8000003F  data differ from 0x80000014 (crc32 0x" +
                  forward.substr(forward.find("crc32 0x") + 8, 8) + " -> 0x" +
                  forward.substr(forward.find("-> 0x") + 5, 8) +
                  ")\n1 changed, 0 removed, 0 added\n");
    for (const auto& older : {old_out, old_bin, old_c}) {
        velm::dump::DumpResult r = diff(older, new_out);
        EXPECT_EQ(r.status, 1) << older.first << r.err;
        EXPECT_EQ(r.out, forward) << older.first;
        EXPECT_EQ(r.err, "") << older.first;
    }
    EXPECT_EQ(diff(new_out, old_bin).out, diff(new_bin, old_bin).out);
}

// c6x_velm's own message line, for the program on either side, and as the second of two.
TEST(DumpDiffProgram, AProgramTheConverterRefusesIsTrouble) {
    velm_test::Coff damaged = velm_test::example_program();
    damaged.sections[3].data.resize(damaged.sections[3].data.size() - 4);  // no final word
    const auto bad =
        std::make_pair(std::string("bad.out"), as_string(velm_test::build_coff(damaged)));
    const auto good = std::make_pair(
        std::string("app.out"), as_string(velm_test::build_coff(velm_test::example_program())));
    for (const auto& [a, b] : {std::make_pair(bad, good), std::make_pair(good, bad)}) {
        velm::dump::DumpResult r = diff(a, b);
        EXPECT_EQ(r.status, 2) << a.first;
        EXPECT_EQ(r.out, "") << a.first;
        EXPECT_EQ(r.err, "velm_dump: bad.out: error: invalid COFF CINIT table data\n") << a.first;
    }
}
