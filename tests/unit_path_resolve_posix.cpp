// Mapping typed paths onto a case-sensitive file system, the way the tool's original,
// case-insensitive platform would find them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/path_resolve.h"
#include "support/tool_runner.h"

namespace {

using velm::names_directory;
using velm::resolve_path;
using velm_test::TempDir;

void make_dir(const TempDir& dir, const std::string& name) {
    ASSERT_EQ(::mkdir(dir.file(name).c_str(), 0755), 0) << name;
}

TEST(ResolvePath, TypedSpellingPreferredWhenItExists) {
    TempDir dir;
    dir.write("Boot.out", std::string("upper"));
    dir.write("boot.out", std::string("lower"));
    EXPECT_EQ(resolve_path(dir.file("Boot.out")), dir.file("Boot.out"));
    EXPECT_EQ(resolve_path(dir.file("boot.out")), dir.file("boot.out"));
    // Neither spelling typed: the first match in byte order ('B' sorts before 'b').
    EXPECT_EQ(resolve_path(dir.file("BOOT.OUT")), dir.file("Boot.out"));
    EXPECT_EQ(resolve_path(dir.file("bOOT.OUT")), dir.file("Boot.out"));
}

TEST(ResolvePath, CaseInsensitiveFallback) {
    TempDir dir;
    make_dir(dir, "Dsp");
    dir.write("Dsp/Boot.Out", std::string("x"));
    EXPECT_EQ(resolve_path(dir.file("DSP/BOOT.OUT")), dir.file("Dsp/Boot.Out"));
    EXPECT_EQ(resolve_path(dir.file("dsp/boot.out")), dir.file("Dsp/Boot.Out"));
    // Only ASCII letters fold: '_' and '-' are different bytes, not case variants.
    dir.write("a_b", std::string("x"));
    EXPECT_EQ(resolve_path(dir.file("A-B")), dir.file("A-B"));
    EXPECT_EQ(resolve_path(dir.file("A_B")), dir.file("a_b"));
    // A prefix is not a match, in either direction.
    EXPECT_EQ(resolve_path(dir.file("DSP/BOOT")), dir.file("Dsp/BOOT"));
    EXPECT_EQ(resolve_path(dir.file("DS")), dir.file("DS"));
    EXPECT_EQ(resolve_path(dir.file("DSP/BOOT.OUTX")), dir.file("Dsp/BOOT.OUTX"));
}

TEST(ResolvePath, SeveralMatchesGiveTheFirstInByteOrder) {
    TempDir dir;
    // Created in an order unrelated to byte order; the directory's own order is irrelevant.
    const char* const names[] = {"boot.OUT", "bOot.out", "BOOT.oUT", "Boot.Out",
                                 "bOOt.OUT", "BoOT.out", "boOT.ouT"};
    for (const char* name : names) dir.write(name, std::string(name));
    EXPECT_EQ(resolve_path(dir.file("BOOT.OUT")), dir.file("BOOT.oUT"));
    EXPECT_EQ(resolve_path(dir.file("boot.out")), dir.file("BOOT.oUT"));
    // An exact spelling still wins over the smallest one.
    EXPECT_EQ(resolve_path(dir.file("boOT.ouT")), dir.file("boOT.ouT"));
}

TEST(ResolvePath, DirectoriesMatchToo) {
    TempDir dir;
    make_dir(dir, "build.2");
    make_dir(dir, "build.2/Sub");
    dir.write("build.2/Sub/boot", std::string("x"));
    EXPECT_EQ(resolve_path(dir.file("BUILD.2/SUB/BOOT")), dir.file("build.2/Sub/boot"));
}

TEST(ResolvePath, MissingIntermediateDirectoryKeepsTypedSpelling) {
    TempDir dir;
    dir.write("boot.out", std::string("x"));
    // "NoSuch" does not exist, so nothing below it can be looked up, even a name that
    // exists elsewhere.
    EXPECT_EQ(resolve_path(dir.file("NoSuch/BOOT.OUT")), dir.file("NoSuch/BOOT.OUT"));
    // A file used as a directory cannot be listed either.
    EXPECT_EQ(resolve_path(dir.file("BOOT.OUT/X")), dir.file("boot.out/X"));
}

TEST(ResolvePath, NewFileKeepsTypedSpelling) {
    TempDir dir;
    make_dir(dir, "out");
    EXPECT_EQ(resolve_path(dir.file("Boot.C")), dir.file("Boot.C"));
    EXPECT_EQ(resolve_path(dir.file("OUT/Boot.C")), dir.file("out/Boot.C"));
}

TEST(ResolvePath, BackslashSeparatesComponents) {
    TempDir dir;
    make_dir(dir, "Dsp");
    dir.write("Dsp/Boot.Out", std::string("x"));
    EXPECT_EQ(resolve_path(dir.path() + "\\DSP\\BOOT.OUT"), dir.file("Dsp/Boot.Out"));
    EXPECT_EQ(resolve_path(dir.path() + "/DSP\\BOOT.OUT"), dir.file("Dsp/Boot.Out"));
    // Runs of separators of either kind count as one.
    EXPECT_EQ(resolve_path(dir.path() + "//\\DSP\\/BOOT.OUT"), dir.file("Dsp/Boot.Out"));
}

TEST(ResolvePath, AbsolutePathsStayAbsolute) {
    TempDir dir;
    dir.write("boot.out", std::string("x"));
    ASSERT_EQ(dir.path()[0], '/');
    EXPECT_EQ(resolve_path(dir.path()), dir.path());
    EXPECT_EQ(resolve_path(dir.file("boot.out")), dir.file("boot.out"));
}

TEST(ResolvePath, DotComponentsAreKept) {
    TempDir dir;
    make_dir(dir, "sub");
    dir.write("boot.out", std::string("x"));
    EXPECT_EQ(resolve_path(dir.file("SUB/../BOOT.OUT")), dir.file("sub/../boot.out"));
    EXPECT_EQ(resolve_path(dir.file("./BOOT.OUT")), dir.file("./boot.out"));
}

TEST(ResolvePath, TrailingSeparatorIsKept) {
    TempDir dir;
    make_dir(dir, "Dsp");
    // The path names a directory and must keep saying so, so nothing opens it as a file.
    EXPECT_EQ(resolve_path(dir.file("DSP/")), dir.file("Dsp/"));
    EXPECT_EQ(resolve_path(dir.file("DSP\\")), dir.file("Dsp/"));
    EXPECT_EQ(resolve_path(dir.file("NEW/")), dir.file("NEW/"));
}

TEST(NamesDirectory, OnlyATrailingSeparator) {
    EXPECT_TRUE(names_directory("out/"));
    EXPECT_TRUE(names_directory("out\\"));
    EXPECT_TRUE(names_directory("/"));
    EXPECT_TRUE(names_directory("\\"));
    EXPECT_FALSE(names_directory("out"));
    EXPECT_FALSE(names_directory("dir/out"));
    EXPECT_FALSE(names_directory("dir\\out"));
    EXPECT_FALSE(names_directory(""));
    EXPECT_FALSE(names_directory("out/."));
}

}  // namespace
