// velm_dump's command line and the behaviour of each mode, run in-process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump/dump_options.h"
#include "dump/dump_run.h"

using namespace velm::dump;

namespace {

using Args = std::vector<std::string>;

std::string words_binary(const std::vector<uint32_t>& words) {
    std::string out;
    for (uint32_t w : words) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>(w >> (8 * i));
    }
    return out;
}

const std::string kSound = words_binary({0x90003B09, 0x100, 4, 7, 0xFFFF3B09, 0, 0});
const std::string kOverlap =
    words_binary({0x90003B09, 0x100, 4, 7, 0x90013B09, 0x102, 1, 8, 0xFFFF3B09, 0, 0});
const std::string kDamaged = words_binary({0x90003B09, 0x100, 4, 7});

DumpResult run(const Args& args, const std::vector<std::string>& contents) {
    DumpOptions options;
    EXPECT_EQ(parse_dump_options(args, &options), "");
    std::vector<DumpInput> inputs;
    for (size_t i = 0; i < contents.size(); ++i) inputs.push_back({options.files[i], contents[i]});
    return run_dump(options, inputs);
}

}  // namespace

TEST(DumpOptionParsing, ReadModesFilesAndStrictAnywhere) {
    DumpOptions o;
    EXPECT_EQ(parse_dump_options({"img.bin"}, &o), "");
    EXPECT_EQ(o.mode, Mode::list);
    EXPECT_EQ(o.files, Args{"img.bin"});
    EXPECT_FALSE(o.strict);

    EXPECT_EQ(parse_dump_options({"img.bin", "--strict", "--check"}, &o), "");
    EXPECT_EQ(o.mode, Mode::check);
    EXPECT_TRUE(o.strict);

    EXPECT_EQ(parse_dump_options({"--json", "--json", "-"}, &o), "");
    EXPECT_EQ(o.mode, Mode::json);
    EXPECT_EQ(o.files, Args{"-"});

    EXPECT_EQ(parse_dump_options({"--diff", "a", "--", "--b"}, &o), "");
    EXPECT_EQ(o.mode, Mode::diff);
    EXPECT_EQ(o.files, (Args{"a", "--b"}));

    EXPECT_EQ(parse_dump_options({"--che", "--st", "x"}, &o), "");  // unique prefixes
    EXPECT_EQ(o.mode, Mode::check);
    EXPECT_TRUE(o.strict);

    EXPECT_EQ(parse_dump_options({"--bogus", "--help"}, &o), "unrecognized option '--bogus'");
    EXPECT_EQ(parse_dump_options({"--help", "--bogus"}, &o), "");
    EXPECT_EQ(o.mode, Mode::help);
    EXPECT_EQ(parse_dump_options({"--vers"}, &o), "");
    EXPECT_EQ(o.mode, Mode::version);
}

TEST(DumpOptionParsing, UsageFaultsAreWordedAsGnuToolsWordThem) {
    const std::vector<std::pair<Args, std::string>> cases = {
        {{}, "missing operand"},
        {{"--check"}, "missing operand"},
        {{"a", "b"}, "extra operand 'b'"},
        {{"--diff", "a"}, "missing operand after 'a'"},
        {{"--diff", "a", "b", "c"}, "extra operand 'c'"},
        {{"-x", "a"}, "invalid option -- 'x'"},
        {{"--frobnicate", "a"}, "unrecognized option '--frobnicate'"},
        {{"--check=yes", "a"}, "option '--check' doesn't allow an argument"},
        {{"--check", "--json", "a"}, "options '--check' and '--json' cannot be used together"},
        {{"--diff", "--json", "a", "b"}, "options '--diff' and '--json' cannot be used together"},
        {{"--", "--help"}, ""},  // a file named --help
        {{"--", "a", "b"}, "extra operand 'b'"},
    };
    for (const auto& [args, message] : cases) {
        DumpOptions o;
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        EXPECT_EQ(parse_dump_options(args, &o), message) << joined;
    }
    DumpOptions o;
    EXPECT_EQ(parse_dump_options({"--", "--help"}, &o), "");
    EXPECT_EQ(o.files, Args{"--help"});
}

TEST(DumpOptionParsing, HelpAndVersionFollowGnuConventions) {
    std::string help = help_text();
    EXPECT_EQ(help.rfind("Usage: velm_dump [--check | --json] [--strict] FILE\n", 0), 0u);
    for (const char* word :
         {"--check", "--json", "--diff", "--strict", "--help", "--version", "Exit status:"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(version_text(), std::string("velm_dump (c6x_velm) ") + VELM_PROJECT_VERSION +
                                  "\nCopyright (C) Kestrane Systems Ltd.\n");
}

TEST(DumpModes, ListCheckAndJsonShareTheExitStatus) {
    for (const char* mode : {"--check", "--json", "--strict"}) {
        DumpResult sound = run({mode, "a"}, {kSound});
        EXPECT_EQ(sound.status, kExitOk) << mode;
        EXPECT_EQ(sound.err, "") << mode;
        DumpResult damaged = run({mode, "a"}, {kDamaged});
        EXPECT_EQ(damaged.status, kExitProblems) << mode;
        EXPECT_EQ(damaged.err,
                  "velm_dump: a: error: no end record: the file ends at byte offset 16, after "
                  "record 1\n")
            << mode;
    }
    EXPECT_EQ(run({"--check", "a"}, {kSound}).out, "");
    EXPECT_EQ(run({"--check", "a"}, {kDamaged}).out, "");
    EXPECT_NE(run({"a"}, {kDamaged}).out.find("    1  section  0x00000100"), std::string::npos);
    EXPECT_EQ(run({"--json", "a"}, {kSound}).out.rfind("{\n  \"file\": \"a\",\n", 0), 0u);
}

TEST(DumpModes, WarningsFailOnlyUnderStrict) {
    const std::string warning =
        "velm_dump: a: warning: records 1 (section at byte offset 0) and 2 (cinit at byte "
        "offset 16) overlap at 0x00000102..0x00000102\n";
    DumpResult lax = run({"--check", "a"}, {kOverlap});
    EXPECT_EQ(lax.status, kExitOk);
    EXPECT_EQ(lax.err, warning);
    DumpResult strict = run({"--check", "--strict", "a"}, {kOverlap});
    EXPECT_EQ(strict.status, kExitProblems);
    EXPECT_EQ(strict.err, warning);
}

// --check keeps no record table while the records come in address order, and reads the
// image again with one when they do not: either way it says what the listing says.
TEST(DumpModes, CheckSaysWhatTheListingSaysInAnyRecordOrder) {
    const std::string images[] = {
        // Out of address order at record 2, which record 3 starts inside.
        words_binary({0x90003B09, 0x200, 4, 1, 0x90013B09, 0x100, 8, 2, 3, 0x90003B09, 0x104, 4, 4,
                      0xFFFF3B09, 0, 0}),
        // In order, with a record without bytes, an overlap and a range up to 0xFFFFFFFF.
        words_binary({0x90013B09, 0x100, 0, 0x90003B09, 0x100, 8, 1, 2, 0x90003B09, 0x104, 4, 3,
                      0x90003B09, 0xFFFFFFFC, 4, 5, 0xFFFF3B09, 0, 0}),
        // Records piling up on the same bytes, in order.
        words_binary({0x90003B09, 0x100, 4, 1, 0x90003B09, 0x100, 4, 2, 0x90003B09, 0x100, 4, 3,
                      0xFFFF3B09, 0, 0}),
    };
    for (const std::string& image : images) {
        for (bool strict : {false, true}) {
            DumpResult listed = run(strict ? Args{"--strict", "a"} : Args{"a"}, {image});
            DumpResult checked =
                run(strict ? Args{"--check", "--strict", "a"} : Args{"--check", "a"}, {image});
            EXPECT_NE(listed.err, "");
            EXPECT_EQ(checked.err, listed.err);
            EXPECT_EQ(checked.status, listed.status);
            EXPECT_EQ(checked.out, "");
        }
    }
}

// --check passes over runs of sound records without handling each on its own. After
// them it must name the records, offsets and pairs the listing names, wherever the runs
// change length and the 256 KiB read window ends (after a record, a header, in one).
TEST(DumpModes, CheckNamesWhatTheListingNamesAfterLongRunsOfSoundRecords) {
    for (uint32_t lead : {0u, 4u, 8u, 12u, 16u}) {
        for (bool in_order : {true, false}) {
            std::vector<uint32_t> w;
            uint32_t next = 0x1000;
            auto add = [&w, &next](uint32_t count, uint32_t length) {
                for (; count > 0; --count, next += length) {
                    for (uint32_t x : {0x90013B09u, next, length}) w.push_back(x);
                    w.insert(w.end(), (length + 3) / 4, count);
                }
            };
            add(lead > 0 ? 1 : 0, lead);
            add(16390, 4);
            for (uint32_t length : {1u, 6u, 6u, 9u, 2u}) add(3, length);
            // Faults found in one reading (a length of 0, one byte shared with the last
            // record), or a record out of order, after which the image is read again.
            const std::vector<uint32_t> tail =
                in_order ? std::vector<uint32_t>{0x90003B09, next, 0, 0x90003B09, next - 1, 4, 1}
                         : std::vector<uint32_t>{0x90003B09, 0x1008, 4, 2};
            w.insert(w.end(), tail.begin(), tail.end());
            for (uint32_t x : {0xFFFF3B09u, 0u, 0u}) w.push_back(x);
            DumpResult listed = run({"a"}, {words_binary(w)});
            DumpResult checked = run({"--check", "a"}, {words_binary(w)});
            EXPECT_NE(listed.err, "");
            EXPECT_EQ(checked.err, listed.err);
            EXPECT_EQ(checked.status, listed.status);
        }
    }
}

TEST(DumpModes, DiffSaysEqualDifferentOrTrouble) {
    DumpResult equal = run({"--diff", "a", "b"}, {kSound, kSound});
    EXPECT_EQ(equal.status, kExitOk);
    EXPECT_EQ(equal.out, "");
    DumpResult different = run({"--diff", "a", "b"}, {kSound, kOverlap});
    EXPECT_EQ(different.status, kExitProblems);
    EXPECT_NE(different.out.find("added    cinit    0x00000102..0x00000102"), std::string::npos)
        << different.out;
    // An overlap is only a warning, so the comparison goes ahead; --strict refuses it.
    EXPECT_EQ(different.err,
              "velm_dump: b: warning: records 1 (section at byte offset 0) and 2 (cinit at byte "
              "offset 16) overlap at 0x00000102..0x00000102\n");
    EXPECT_EQ(run({"--diff", "--strict", "a", "b"}, {kSound, kOverlap}).status, kExitTrouble);
    DumpResult damaged = run({"--diff", "a", "b"}, {kDamaged, kSound});
    EXPECT_EQ(damaged.status, kExitTrouble);
    EXPECT_EQ(damaged.out, "");
    EXPECT_EQ(damaged.err,
              "velm_dump: a: error: no end record: the file ends at byte offset 16, after "
              "record 1\n");
}
