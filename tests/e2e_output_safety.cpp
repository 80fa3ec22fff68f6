// Where the tool deliberately does better than the converter it replaces: the output
// never overwrites the input, contents not stored in the file produce no record, and a
// failed run leaves every file as it was. Write failures, and the ways each
// system has of naming the input a second time, are in e2e_output_safety_posix.cpp and
// e2e_output_safety_win32.cpp.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;

// --- the output never destroys the input ---

TEST(OutputSafety, OutputNamingTheInputIsRefused) {
    const Bytes input = build_coff(small_program());
    const std::vector<std::vector<std::string>> runs = {
        {"app.out", "app.out"},        {"APP", "app.out", "-B"},    {"app.out", "./app.out"},
        {"app.out", "sub/../app.out"}, {"app", "sub\\..\\app.out"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        TempDir dir;
        dir.write("app.out", input);
        ASSERT_TRUE(std::filesystem::create_directory(dir.file("sub")));
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, banner() + failure(kMsgCreate));
        EXPECT_EQ(dir.read("app.out"), as_text(input));
        EXPECT_EQ(dir.snapshot().size(), 2u);
    }
}

// --- contents not stored in the file ---

// A heap section flagged 0 with 32 KiB and no contents in the file: counted, no record,
// and its "contents" are not read from offset 0 (which would copy the COFF headers).
TEST(OutputSafety, SectionWithoutStoredContentsIsCountedButNotWritten) {
    Coff c;
    c.entry = 0x400;
    Bytes text = pattern(24, 5);
    Bytes data = pattern(8, 6);
    c.sections.push_back(sec(".text", 0x20, 0x400, text));
    c.sections.push_back(sized(".sysmem", 0x00, 0x80008000, 0x8000));
    c.sections.push_back(sec(".data", 0x40, 0x80000000, data));
    expect_converts(c,
                    {section_record(".text", "exec", 0x400, text),
                     section_record(".data", "init", 0x80000000, data)},
                    3);
}

TEST(OutputSafety, DataAndCopySectionsWithoutStoredContents) {
    Coff c;
    c.entry = 0x400;
    Bytes text = pattern(24, 5);
    c.sections.push_back(sec(".text", 0x20, 0x400, text));
    // The loader lets a data section with no stored contents through when its size does
    // not exceed the file.
    c.sections.push_back(sized(".data", 0x40, 0x80000000, 0x40));
    // A .cinit table with no stored contents: not expanded (offset 0 holds the file
    // header, which would be refused as a table).
    c.sections.push_back(sized(".cinit", 0x50, 0x80000100, 0x20));
    // Size and address that the length check would refuse: never checked.
    Section huge = sized(".heap", 0x00, 0xFFFFFF00, 0xFFFFFFFF);
    c.sections.push_back(huge);
    expect_converts(c, {section_record(".text", "exec", 0x400, text)}, 4);
}

// --- a failed run leaves every file as it was ---

TEST(OutputSafety, FailureInThePassLeavesTheOutputAsItWas) {
    struct Case {
        const char* what;
        Coff coff;
        unsigned shown;
        const char* message;
    };
    std::vector<Case> cases;
    {
        Coff c = small_program();
        c.sections.push_back(sec(".cinit", 0x50, 0, cinit_table({{4, 0x1000, words({1})}}, false)));
        cases.push_back({"bad .cinit table", c, 4, kMsgCinit});
    }
    cases.push_back({"bad .cinit length word", damaged_cinit_program(), 5, kMsgCinit});
    // A short read inside a record needs a file that shrinks during the run: the
    // fault-injection tests cover it.
    {
        Coff c = small_program();
        c.sections.push_back(sec(".top", 0x40, 0xFFFFFFF0, pattern(16, 8)));
        cases.push_back({"address range", c, 4, kMsgRange});
    }
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        expect_fails(k.coff, k.shown, k.message);
    }
}

// A run that fails before the output is created leaves an existing file alone.
TEST(OutputSafety, FailureBeforeOutputLeavesExistingFileUntouched) {
    Coff bad = small_program();
    bad.version = 0x00C1;
    const Bytes bad_input = build_coff(bad);
    const Bytes short_input(69, 0xC2);
    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {"invalid input, TEXT", {"bad", "app.c"}, kMsgFormat},
        {"invalid input, BINARY", {"bad", "APP.C", "-b"}, kMsgFormat},
        {"input too short", {"short", "app.c", "-b"}, kMsgFileLength},
        {"missing input", {"none", "app.c"}, kMsgNotFound},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        TempDir dir;
        dir.write("bad.out", bad_input);
        dir.write("short.out", short_input);
        dir.write("app.c", std::string("previous image\r\n"));
        const std::map<std::string, std::string> before = dir.snapshot();
        RunResult r = run_in(dir.path(), k.args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, banner() + failure(k.message));
        EXPECT_EQ(dir.snapshot(), before);
    }
}

// A successful run over an existing file replaces it completely.
TEST(OutputSafety, SuccessReplacesExistingFile) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, words({1})));
    TempDir dir;
    dir.write("app.out", build_coff(c));
    dir.write("app.bin", as_text(pattern(4096, 1)));
    RunResult r = run_in(dir.path(), {"app", "app.bin", "-b"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(dir.read("app.bin"),
              as_text(binary_file({section_record(".text", "exec", 0x400, words({1}))})));
}
