// The command line end to end: usage faults, run modes, how typed paths become the
// printed (upper-cased) paths and the files found or created on disk, and inputs that
// are not regular files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/coff_builder.h"
#include "support/tool_runner.h"

namespace {

using namespace velm_test;
using Snapshot = std::map<std::string, std::string>;

std::string as_text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// A small executable: one 8-byte code section at `vaddr`, entry point 0x400. Different
// addresses tell apart which of several candidate files the tool found.
Bytes simple_coff(uint32_t vaddr = 0x400) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(
        {".text", {}, vaddr, vaddr, 0x20, words({0x04030201, 0x08070605}), {}, {}, 0});
    return build_coff(c);
}

std::string hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.8x", v);
    return buf;
}

// What `-d` prints for simple_coff(vaddr) read from `in_path`.
std::string simple_listing(const std::string& in_path, uint32_t vaddr = 0x400) {
    return banner() +
           crlf("input file    : " + in_path +
                "\n"
                "total sections: 1\n"
                "file format   : COFF2\n"
                "entry point   : 0x400\n"
                "\n            <<<< COFF file directory (non-empty sections only) >>>>\n"
                " ----------------------------------------------------------------------------\n"
                " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\n"
                "  001   .text       0x" +
                hex8(vaddr) + " 0x" + hex8(vaddr) + "   0x00000008   exec          LOAD\n") +
           erase();
}

// What a successful conversion of simple_coff() prints.
std::string simple_summary(const std::string& in_path, const std::string& out_path,
                           const std::string& format) {
    return banner() + "\rsection #1 ..." + erase() +
           crlf("COFF file        : " + in_path +
                "\n"
                "COFF file format : COFF2\n"
                "VELM file        : " +
                out_path +
                "\n"
                "VELM file format : " +
                format +
                "\n"
                "sections         : 1  (valid sections: 1)\n"
                "entry point      : 0x400\n\n");
}

// The BINARY image of simple_coff(vaddr): one section record and the end record.
std::string simple_binary(uint32_t vaddr = 0x400) {
    return as_text(words({0x90003B09, vaddr, 8, 0x04030201, 0x08070605, 0xFFFF3B09, 0, 0}));
}

// The TEXT image of simple_coff() read from `in_path`.
std::string simple_text(const std::string& in_path) {
    return crlf(
        "// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. v.1.2W\n"
        "// Copyright (C) Kestrane Systems Ltd.\n"
        "// \n"
        "// source C6xxx COFF file: " +
        in_path +
        "\n"
        "// source file  format   : COFF2\n"
        "// total sections        : 1\n"
        "// entry point           : 0x400\n"
        "// \n"
        "// \n"
        "// 32-bit UNSIGNED data array derived from source C6xxx COFF file\n\n"
        "unsigned int C6XXX_VELM_DATA[] = \n{"
        "\n// section '.text':  addr=00000400H  len=00000008H  attrib='exec'\n"
        "     0x90003B09,  0x00000400,  0x00000008,\n"
        "     0x04030201,  0x08070605,  \n"
        "     \n"
        "// VELM32 termination section\n"
        "     0xFFFF3B09,  0x00000000,  0x00000000\n"
        "};\n");
}

std::string failed(const std::string& message) {
    return banner() + failure(message);
}

void make_dir(const TempDir& dir, const std::string& name) {
    ASSERT_EQ(::mkdir(dir.file(name).c_str(), 0755), 0) << name;
}

std::string describe(const std::vector<std::string>& args) {
    std::string s = "args:";
    for (const std::string& a : args) s += " '" + a + "'";
    return s;
}

// ---------------------------------------------------------------------------------------
// Usage faults: banner and usage text, exit status 1, nothing opened, created or changed.

TEST(UsageFault, EveryFormPrintsUsageAndTouchesNothing) {
    TempDir dir;
    dir.write("in.out", simple_coff());
    dir.write("out", std::string("an existing file\n"));
    // Files that a path reading of an option word would find: they must not be used.
    dir.write("-d.out", simple_coff());
    dir.write("-b.out", simple_coff());
    dir.write("-?.out", simple_coff());
    const Snapshot before = dir.snapshot();

    const std::vector<std::vector<std::string>> faults = {
        // Argument count.
        {},
        {"in"},
        {"-?"},
        {"-d"},
        {"in", "out", "-b", "-b"},
        {"in", "out", "-b", "extra"},
        {"in", "-d", "x", "y"},
        {"in", "out", "-b", "x", "y", "z"},
        // An option word as argument 1.
        {"-?", "out"},
        {"-d", "out"},
        {"-D", "out"},
        {"-b", "out"},
        {"-B", "out"},
        {"-d", "-d"},
        {"-b", "out", "-b"},
        // -? or -b as argument 2.
        {"in", "-?"},
        {"in", "-b"},
        {"in", "-B"},
        {"in", "-?", "-b"},
        {"in", "-b", "-b"},
        {"in", "-b", "out"},
        // Argument 3 other than -b.
        {"in", "out", "-x"},
        {"in", "out", "-d"},
        {"in", "out", "-?"},
        {"in", "out", "out2"},
        {"in", "out", "-bb"},
        {"in", "out", ""},
    };
    for (const std::vector<std::string>& args : faults) {
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1) << describe(args);
        EXPECT_EQ(r.out, banner() + usage()) << describe(args);
        EXPECT_EQ(r.err, "") << describe(args);
        EXPECT_EQ(dir.snapshot(), before) << describe(args);
    }
}

// ---------------------------------------------------------------------------------------
// Directory mode.

TEST(DirectoryMode, ThirdArgumentIsNotExamined) {
    TempDir dir;
    dir.write("in.out", simple_coff());
    const Snapshot before = dir.snapshot();
    for (const char* third : {"-x", "-b", "-?", "-d", "out.c", ""}) {
        for (const char* option : {"-d", "-D"}) {
            std::vector<std::string> args = {"in", option, third};
            RunResult r = run_in(dir.path(), args);
            EXPECT_EQ(r.exit_status, 0) << describe(args);
            EXPECT_EQ(r.out, simple_listing("IN.OUT")) << describe(args);
            EXPECT_EQ(r.err, "") << describe(args);
            // In particular no file named after the third argument.
            EXPECT_EQ(dir.snapshot(), before) << describe(args);
        }
    }
}

TEST(DirectoryMode, LetterCaseOfPathAndOptionDoesNotMatter) {
    TempDir dir;
    dir.write("prog.out", simple_coff());
    const Snapshot before = dir.snapshot();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"prog", "-d"}, {"PROG", "-D"}, {"Prog", "-d"}, {"prog.OUT", "-D"}}) {
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 0) << describe(args);
        EXPECT_EQ(r.out, simple_listing("PROG.OUT")) << describe(args);
        EXPECT_EQ(r.err, "") << describe(args);
        EXPECT_EQ(dir.snapshot(), before) << describe(args);
    }
}

// ---------------------------------------------------------------------------------------
// Paths: printed upper-cased, found case-insensitively, created as typed.

TEST(Paths, WordThatIsNotAnOptionIsAPath) {
    TempDir dir;
    dir.write("in.out", simple_coff());
    RunResult r = run_in(dir.path(), {"in", "-x"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, simple_summary("IN.OUT", "-X", "TEXT"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.snapshot(),
              (Snapshot{{"in.out", as_text(simple_coff())}, {"-x", simple_text("IN.OUT")}}));
}

TEST(Paths, WordThatIsNotAnOptionAsInputPath) {
    // "-x" as argument 1 is an input path too: -x.out is read.
    TempDir dir;
    dir.write("-x.out", simple_coff());
    RunResult r = run_in(dir.path(), {"-x", "-bin", "-b"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, simple_summary("-X.OUT", "-BIN", "BINARY"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.snapshot(),
              (Snapshot{{"-x.out", as_text(simple_coff())}, {"-bin", simple_binary()}}));
}

struct ExtensionCase {
    const char* argument;
    const char* printed;  // in_path as the listing shows it
    std::vector<std::string> dirs;
    std::vector<std::pair<std::string, uint32_t>> files;  // name and section address
    uint32_t found;                                       // address of the right file
};

TEST(Paths, DefaultExtensionPicksTheRightFile) {
    // Each case offers a decoy that a wrong extension rule would open instead.
    const std::vector<ExtensionCase> cases = {
        {"boot", "BOOT.OUT", {}, {{"boot.out", 0x1000}, {"boot", 0x2000}}, 0x1000},
        {"dsp\\boot",
         "DSP\\BOOT.OUT",
         {"dsp"},
         {{"dsp/boot.out", 0x1000}, {"dsp/boot", 0x2000}, {"boot.out", 0x3000}},
         0x1000},
        {"boot.", "BOOT.", {}, {{"boot.", 0x1000}, {"boot.out", 0x2000}}, 0x1000},
        {"build.2\\boot",
         "BUILD.2\\BOOT.OUT",
         {"build.2"},
         {{"build.2/boot.out", 0x1000}, {"build.2/boot", 0x2000}},
         0x1000},
        // The forward slash does not end a component for the extension rule, so the
        // name stays without extension; it still separates directories on disk.
        {"build.2/boot",
         "BUILD.2/BOOT",
         {"build.2"},
         {{"build.2/boot.out", 0x1000}, {"build.2/boot", 0x2000}},
         0x2000},
        {"boot.obj", "BOOT.OBJ", {}, {{"boot.obj", 0x1000}, {"boot.obj.out", 0x2000}}, 0x1000},
    };
    for (const ExtensionCase& c : cases) {
        TempDir dir;
        for (const std::string& d : c.dirs) make_dir(dir, d);
        for (const auto& f : c.files) dir.write(f.first, simple_coff(f.second));
        const Snapshot before = dir.snapshot();
        RunResult r = run_in(dir.path(), {c.argument, "-d"});
        EXPECT_EQ(r.exit_status, 0) << c.argument;
        EXPECT_EQ(r.out, simple_listing(c.printed, c.found)) << c.argument;
        EXPECT_EQ(r.err, "") << c.argument;
        EXPECT_EQ(dir.snapshot(), before) << c.argument;
    }
}

TEST(Paths, PrintedUpperCasedWhileFilesKeepTheirCase) {
    TempDir dir;
    make_dir(dir, "dsp");
    dir.write("dsp/boot.out", simple_coff());
    RunResult r = run_in(dir.path(), {"dsp\\boot", "dsp/image.bin", "-b"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, simple_summary("DSP\\BOOT.OUT", "DSP/IMAGE.BIN", "BINARY"));
    EXPECT_EQ(r.err, "");
    // A new output file is created with the spelling typed, not the printed one.
    EXPECT_EQ(dir.read("dsp/image.bin"), simple_binary());
    EXPECT_EQ(dir.snapshot(), (Snapshot{{"dsp", "<dir>"}}));
    EXPECT_FALSE(dir.exists("DSP"));
    EXPECT_FALSE(dir.exists("dsp/IMAGE.BIN"));

    RunResult t = run_in(dir.path(), {"dsp\\boot", "Boot.c"});
    EXPECT_EQ(t.exit_status, 0);
    EXPECT_EQ(t.out, simple_summary("DSP\\BOOT.OUT", "BOOT.C", "TEXT"));
    EXPECT_EQ(dir.snapshot(),
              (Snapshot{{"dsp", "<dir>"}, {"Boot.c", simple_text("DSP\\BOOT.OUT")}}));
}

TEST(Paths, MixedCaseFilesFoundIgnoringCase) {
    TempDir dir;
    make_dir(dir, "Dsp");
    dir.write("Dsp/Boot.Out", simple_coff(0x1000));
    RunResult r = run_in(dir.path(), {"DSP\\BOOT", "-d"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, simple_listing("DSP\\BOOT.OUT", 0x1000));
    EXPECT_EQ(r.err, "");
}

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

// ---------------------------------------------------------------------------------------
// Inputs that cannot be read as a COFF file.

TEST(MissingInput, NotFoundAndNothingCreated) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"boot", "out.c"}, {"boot", "out.bin", "-b"}, {"boot", "-d"}, {"dsp\\boot", "-D"}}) {
        TempDir dir;
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1) << describe(args);
        EXPECT_EQ(r.out, failed(kMsgNotFound)) << describe(args);
        EXPECT_EQ(r.err, "") << describe(args);
        EXPECT_EQ(dir.snapshot(), Snapshot{}) << describe(args);
    }
}

TEST(MissingInput, ExistingOutputIsLeftAlone) {
    TempDir dir;
    dir.write("out.c", std::string("keep me\n"));
    RunResult r = run_in(dir.path(), {"boot", "out.c"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, failed(kMsgNotFound));
    EXPECT_EQ(dir.snapshot(), (Snapshot{{"out.c", "keep me\n"}}));
}

TEST(NotARegularFile, DirectoryIsNotFound) {
    TempDir dir;
    make_dir(dir, "boot.out");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"boot", "out.c"}, {"boot", "-d"}}) {
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1) << describe(args);
        EXPECT_EQ(r.out, failed(kMsgNotFound)) << describe(args);
        EXPECT_EQ(r.err, "") << describe(args);
        EXPECT_EQ(dir.snapshot(), (Snapshot{{"boot.out", "<dir>"}})) << describe(args);
    }
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

TEST(TrailingSeparator, InputPathNamesADirectory) {
    TempDir dir;
    dir.write("boot.out", simple_coff());
    make_dir(dir, "dsp.d");
    dir.write("dsp.d/boot.out", simple_coff());
    const Snapshot before = dir.snapshot();
    // "boot.out/" keeps its name (its last component has a dot) and must not open the
    // file boot.out; "dsp.d/" likewise never opens anything inside dsp.d.
    for (const char* input : {"boot.out/", "boot.out\\", "dsp.d/", "BOOT.OUT//"}) {
        for (const char* second : {"out.c", "-d"}) {
            std::vector<std::string> args = {input, second};
            RunResult r = run_in(dir.path(), args);
            EXPECT_EQ(r.exit_status, 1) << describe(args);
            EXPECT_EQ(r.out, failed(kMsgNotFound)) << describe(args);
            EXPECT_EQ(r.err, "") << describe(args);
            EXPECT_EQ(dir.snapshot(), before) << describe(args);
        }
    }
}

TEST(TrailingSeparator, OutputPathNamesADirectory) {
    TempDir dir;
    dir.write("boot.out", simple_coff());
    dir.write("out.c", std::string("keep me\n"));
    make_dir(dir, "outdir");
    const Snapshot before = dir.snapshot();
    for (const char* output : {"out.c/", "out.c\\", "outdir/", "OUTDIR\\", "new.c/", "new/"}) {
        for (bool binary : {false, true}) {
            std::vector<std::string> args = {"boot", output};
            if (binary) args.push_back("-b");
            RunResult r = run_in(dir.path(), args);
            EXPECT_EQ(r.exit_status, 1) << describe(args);
            EXPECT_EQ(r.out, failed(kMsgCreate)) << describe(args);
            EXPECT_EQ(r.err, "") << describe(args);
            EXPECT_EQ(dir.snapshot(), before) << describe(args);
        }
    }
}

}  // namespace
