// Where the tool deliberately does better than the converter it replaces: write
// failures are reported in both encodings, the output never overwrites the input,
// contents not stored in the file produce no record, and a failed run leaves no
// half-written output behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;

namespace {

const std::vector<std::vector<std::string>> kBothEncodings = {{"app", "app.c"},
                                                              {"app", "app.c", "-b"}};

Coff small_program() {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(64, 1)));
    c.sections.push_back(sized(".bss", 0x80, 0x80001000, 0x100));
    c.sections.push_back(sec(".data", 0x40, 0x80000000, pattern(16, 2)));
    return c;
}

// A first section far larger than any output buffer, then a second one.
Coff large_program() {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(2 * 1024 * 1024, 3)));
    c.sections.push_back(sec(".data", 0x40, 0x80000000, pattern(16, 4)));
    return c;
}

bool is_char_device(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISCHR(st.st_mode);
}

// Limits the size of files written by the runs started while it lives, with SIGXFSZ
// ignored (the disposition survives exec), so the tool's write beyond the limit fails
// with EFBIG like a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        struct rlimit lower = saved_;
        lower.rlim_cur = bytes;
        if (saved_.rlim_max != RLIM_INFINITY && saved_.rlim_max < bytes)
            lower.rlim_cur = saved_.rlim_max;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
        old_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_);
    }
    bool ok() const { return ok_; }

  private:
    struct rlimit saved_;
    bool ok_ = false;
    void (*old_)(int) = SIG_DFL;
};

}  // namespace

// --- write failures are reported in both encodings ---

// /dev/full accepts the open and fails every write. A small output fails when the last
// buffer is written out at close; the message replaces the summary.
TEST(OutputSafety, WriteFailureAtCloseIsReported) {
    const Coff coff = small_program();
    for (const char* option : {"", "-b"}) {
        SCOPED_TRACE(option);
        TempDir dir;
        dir.write("app.out", build_coff(coff));
        std::vector<std::string> args = {"app", "/dev/full"};
        if (*option) args.push_back(option);
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, failed(3, kMsgWrite));
        EXPECT_TRUE(is_char_device("/dev/full"));
        std::map<std::string, std::string> left = {{"app.out", as_text(build_coff(coff))}};
        EXPECT_EQ(dir.snapshot(), left);
    }
}

// A write that fails during the pass ends it at once: the second section is never
// reached.
TEST(OutputSafety, WriteFailureDuringThePassStopsIt) {
    const Coff coff = large_program();
    for (const char* option : {"", "-B"}) {
        SCOPED_TRACE(option);
        TempDir dir;
        dir.write("app.out", build_coff(coff));
        std::vector<std::string> args = {"app", "\\dev\\full"};
        if (*option) args.push_back(option);
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, failed(1, kMsgWrite));
        EXPECT_TRUE(is_char_device("/dev/full"));
    }
}

// A regular file that cannot grow (the file size limit stands in for a full disk):
// the failure is reported and the partial output removed.
TEST(OutputSafety, WriteFailureOnRegularFileRemovesIt) {
    const Coff coff = large_program();
    const Bytes input = build_coff(coff);
    for (const auto& args : kBothEncodings) {
        SCOPED_TRACE(args.size());
        TempDir dir;
        dir.write("app.out", input);
        RunResult r;
        {
            FileSizeLimit limit(64 * 1024);
            ASSERT_TRUE(limit.ok());
            r = run_in(dir.path(), args);
        }
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, failed(1, kMsgWrite));
        std::map<std::string, std::string> left = {{"app.out", as_text(input)}};
        EXPECT_EQ(dir.snapshot(), left);
    }
}

// --- the output never destroys the input ---

TEST(OutputSafety, OutputNamingTheInputIsRefused) {
    const Bytes input = build_coff(small_program());
    const std::vector<std::vector<std::string>> runs = {
        {"app.out", "app.out"},        {"APP", "app.out", "-B"},    {"app.out", "./app.out"},
        {"app.out", "sub/../app.out"}, {"app", "sub\\..\\app.out"}, {"app.out", "hard.out"},
        {"app.out", "soft.c", "-b"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        TempDir dir;
        dir.write("app.out", input);
        ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
        ASSERT_EQ(::link(dir.file("app.out").c_str(), dir.file("hard.out").c_str()), 0);
        ASSERT_EQ(::symlink("app.out", dir.file("soft.c").c_str()), 0);
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, banner() + failure(kMsgCreate));
        EXPECT_EQ(dir.read("app.out"), as_text(input));
        EXPECT_EQ(dir.read("hard.out"), as_text(input));
        EXPECT_EQ(dir.snapshot().size(), 4u);
    }
}

// On a case-sensitive file system another letter case names another file: the input
// is read and a new output created beside it.
TEST(OutputSafety, OutputInAnotherCaseThanTheInputIsAnotherFile) {
    const Bytes input = build_coff(small_program());
    TempDir dir;
    dir.write("app.out", input);
    RunResult r = run_in(dir.path(), {"app", "APP.OUT", "-b"});
    EXPECT_EQ(r.exit_status, 0) << r.out;
    EXPECT_EQ(dir.read("app.out"), as_text(input));
    EXPECT_TRUE(dir.exists("APP.OUT"));
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

// --- no half-written output after a failure ---

TEST(OutputSafety, FailureInThePassLeavesNoOutput) {
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
        // An existing file at the output path is replaced by nothing: it was truncated
        // when the output was created, and the incomplete result is removed.
        for (const auto& args : kBothEncodings) {
            TempDir dir;
            Bytes input = build_coff(k.coff);
            dir.write("app.out", input);
            dir.write("app.c", std::string("previous image"));
            RunResult r = run_in(dir.path(), args);
            EXPECT_EQ(r.exit_status, 1);
            EXPECT_EQ(r.out, failed(k.shown, k.message));
            EXPECT_FALSE(dir.exists("app.c"));
        }
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

// The input path is shown in a // comment of the C source. A line feed in it (a file
// name may hold one) would end the comment and turn the rest of the path into C code,
// so such a byte is shown as '?' there; the console shows the path as it is.
TEST(TextSafety, LineEndsInTheInputPathStayInsideTheComment) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, words({1})));
    TempDir dir;
    dir.write("a\nb\rc.out", build_coff(c));
    RunResult r = run_in(dir.path(), {"a\nb\rc.out", "app.c"});
    ASSERT_EQ(r.exit_status, 0) << r.out;
    const std::string text = dir.read("app.c");
    EXPECT_NE(text.find("\r\n// source C6xxx COFF file: A?B?C.OUT\r\n// source file  format"),
              std::string::npos)
        << text;
    EXPECT_NE(r.out.find("COFF file        : A\r\nB\rC.OUT\r\n"), std::string::npos) << r.out;
}
