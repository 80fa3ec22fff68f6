// The output safety rules against what a POSIX system adds: devices that fail every
// write, a file size limit standing in for a full disk, hard and symbolic links to the
// input, a case-sensitive file system, and line ends inside file names.
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

// --- how an output is replaced ---

// A symbolic link is followed: the file it names is replaced and the link stays. The
// other hard links of a replaced file keep the old contents. The replaced file keeps its
// permission bits; a new one gets the default under the umask. A run that fails through
// the link changes nothing.
TEST(OutputSafety, LinksAndPermissionsOfAReplacedOutput) {
    TempDir dir;
    dir.write("good.out", build_coff(small_program()));
    dir.write("bad.out", build_coff(damaged_cinit_program()));
    dir.write("t.c", std::string("x\n"));
    ASSERT_EQ(::chmod(dir.file("t.c").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("t.c", dir.file("l.c").c_str()), 0);
    ASSERT_EQ(::link(dir.file("t.c").c_str(), dir.file("h.c").c_str()), 0);
    std::map<std::string, std::string> files = dir.snapshot();
    EXPECT_EQ(run_in(dir.path(), {"bad.out", "l.c"}).out, failed(5, kMsgCinit));
    EXPECT_EQ(dir.snapshot(), files);
    mode_t umask = ::umask(022);
    EXPECT_EQ(run_in(dir.path(), {"good.out", "l.c", "-b"}).exit_status, 0);
    EXPECT_EQ(run_in(dir.path(), {"good.out", "new.c", "-b"}).exit_status, 0);
    ::umask(umask);
    files["t.c"] = files["new.c"] = dir.read("new.c");
    EXPECT_EQ(dir.snapshot(), files);  // the link, h.c's old contents, no temporary file
    struct stat t, n;
    ASSERT_TRUE(::stat(dir.file("t.c").c_str(), &t) == 0 &&
                ::stat(dir.file("new.c").c_str(), &n) == 0);
    EXPECT_EQ(t.st_mode & 0777, 0640u);
    EXPECT_EQ(n.st_mode & 0777, 0644u);
}

// --- the output never destroys the input ---

// A hard link and a symbolic link to the input name the input itself.
TEST(OutputSafety, LinksToTheInputAreRefused) {
    const Bytes input = build_coff(small_program());
    const std::vector<std::vector<std::string>> runs = {{"app.out", "hard.out"},
                                                        {"app.out", "soft.c", "-b"}};
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        TempDir dir;
        dir.write("app.out", input);
        ASSERT_EQ(::link(dir.file("app.out").c_str(), dir.file("hard.out").c_str()), 0);
        ASSERT_EQ(::symlink("app.out", dir.file("soft.c").c_str()), 0);
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, banner() + failure(kMsgCreate));
        EXPECT_EQ(dir.read("app.out"), as_text(input));
        EXPECT_EQ(dir.read("hard.out"), as_text(input));
        EXPECT_EQ(dir.snapshot().size(), 3u);
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
