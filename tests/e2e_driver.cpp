// The command line end to end: usage faults, run modes, how typed paths become the
// printed (upper-cased) paths and the files found or created on disk, and inputs that
// are not regular files. What depends on the system's file names and special files is in
// e2e_driver_posix.cpp and e2e_driver_win32.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/coff_builder.h"
#include "support/simple_program.h"
#include "support/tool_runner.h"

namespace {

using namespace velm_test;

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
    std::vector<std::string> names;
    for (const auto& e :
         std::filesystem::directory_iterator(std::filesystem::u8path(dir.file("dsp")))) {
        names.push_back(e.path().filename().u8string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"boot.out", "image.bin"}));

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
