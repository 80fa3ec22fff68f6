// The command line against what a POSIX system adds: a case-sensitive file system, where
// names differing only in letter case are different files, and FIFOs and devices among
// the paths a user can type.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/simple_program.h"
#include "support/tool_runner.h"

namespace {

using namespace velm_test;

// The output is used exactly as typed: a file or directory of another letter case is
// never taken for it. Matching it ignoring case overwrote files the user never named.
TEST(Paths, OutputIsNeverMatchedToAnotherCase) {
    TempDir dir;
    make_dir(dir, "Dsp");
    dir.write("fft.out", simple_coff(0x1000));
    dir.write("Makefile", std::string("all:\n"));
    RunResult r = run_in(dir.path(), {"fft.out", "makefile", "-b"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, simple_summary("FFT.OUT", "MAKEFILE", "BINARY"));
    EXPECT_EQ(dir.snapshot(), (Snapshot{{"Dsp", "<dir>"},
                                        {"Makefile", "all:\n"},
                                        {"fft.out", as_text(simple_coff(0x1000))},
                                        {"makefile", simple_binary(0x1000)}}));

    // A directory typed in another case than it exists is missing: nothing is created.
    const Snapshot before = dir.snapshot();
    for (const char* out : {"dsp\\image.bin", "DSP/image.bin"}) {
        RunResult w = run_in(dir.path(), {"fft.out", out, "-b"});
        EXPECT_EQ(w.exit_status, 1) << out;
        EXPECT_EQ(w.out, banner() + failure(kMsgCreate)) << out;
        EXPECT_EQ(dir.snapshot(), before) << out;
        EXPECT_FALSE(dir.exists("Dsp/image.bin")) << out;
    }
}

TEST(Paths, ExactSpellingWinsOverOtherCases) {
    TempDir dir;
    dir.write("BOOT.OUT", simple_coff(0x1000));
    dir.write("boot.out", simple_coff(0x2000));
    dir.write("Boot.out", simple_coff(0x3000));
    // The typed spelling with the extension appended: "boot" + ".OUT" = "boot.OUT", which
    // does not exist, so the first match in byte order is used: "BOOT.OUT".
    RunResult a = run_in(dir.path(), {"boot", "-d"});
    EXPECT_EQ(a.out, simple_listing("BOOT.OUT", 0x1000));
    RunResult b = run_in(dir.path(), {"boot.out", "-d"});
    EXPECT_EQ(b.out, simple_listing("BOOT.OUT", 0x2000));
    RunResult c = run_in(dir.path(), {"Boot.out", "-d"});
    EXPECT_EQ(c.out, simple_listing("BOOT.OUT", 0x3000));
    EXPECT_EQ(a.exit_status + b.exit_status + c.exit_status, 0);
}

TEST(NotARegularFile, FifoHasNoLengthAndDoesNotBlock) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.out").c_str(), 0644), 0);
    // Guard against a tool that opens the FIFO and waits for a writer: after a few
    // seconds, open the write end (which releases such a wait) and note that it was
    // needed. A tool that never touches the FIFO finishes long before.
    std::atomic<bool> done{false};
    std::atomic<bool> had_to_release{false};
    std::thread guard([&] {
        auto start = std::chrono::steady_clock::now();
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) continue;
            int fd = ::open(dir.file("pipe.out").c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                had_to_release = true;
                ::close(fd);
            }
        }
    });
    RunResult r = run_in(dir.path(), {"pipe", "out.c"});
    RunResult d = run_in(dir.path(), {"PIPE.OUT", "-d"});
    done = true;
    guard.join();
    EXPECT_FALSE(had_to_release) << "the tool waited on the FIFO";
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, failed(kMsgFileLength));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(d.exit_status, 1);
    EXPECT_EQ(d.out, failed(kMsgFileLength));
    EXPECT_EQ(d.err, "");
    EXPECT_FALSE(dir.exists("out.c"));
}

TEST(NotARegularFile, DeviceHasNoLength) {
    TempDir dir;
    // Reading /dev/zero would never end; the tool must not even open it.
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero.out").c_str()), 0);
    RunResult r = run_in(dir.path(), {"zero", "out.c"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, failed(kMsgFileLength));
    EXPECT_EQ(r.err, "");
    // With a dot anywhere in a path without backslashes, no extension is appended.
    RunResult n = run_in(dir.path(), {"/dev/./null", "-d"});
    EXPECT_EQ(n.exit_status, 1);
    EXPECT_EQ(n.out, failed(kMsgFileLength));
    EXPECT_EQ(n.err, "");
    // (No snapshot here: it would read the device through the link.)
    EXPECT_FALSE(dir.exists("out.c"));
}

}  // namespace
