// The README's "Using c6x_velm in a build": its make rule and CMake rules are the ones of
// examples/build-integration, and they build with the README's loader program as written.
// The example project builds a host program from a DSP program with the built tools,
// rebuilds the image when the program changes, stops without leaving an image behind when
// the conversion fails, and writes the same image wherever the project lies.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "dump_test_support.h"

using namespace velm_dump_test;

namespace {

const std::string kExampleDir = std::string(VELM_SOURCE_DIR) + "/examples/build-integration";
const char kBuildSection[] = "Using c6x_velm in a build";

// What host prints for example_program(): one line per record, then the totals.
const char kHostOutput[] =
    "load 0x00000400 6150 bytes\n"
    "load 0x80000000 64 bytes\n"
    "load 0x80000040 45 bytes\n"
    "load 0x80001000 8 bytes\n"
    "load 0x80001010 5 bytes\n"
    "load 0x80001020 4 bytes\n"
    "load 0x80004000 24 bytes\n"
    "7 records, 6300 bytes\n";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The fenced code blocks of one language in a section (a "## " heading) of the README.
std::vector<std::string> readme_blocks(const std::string& heading, const std::string& language) {
    const std::string readme = velm_test::read_file(std::string(VELM_SOURCE_DIR) + "/README.md");
    size_t begin = readme.find("\n## " + heading + "\n");
    if (begin == std::string::npos) return {};
    size_t end = readme.find("\n## ", begin + 1);
    const std::string section = readme.substr(begin, end == std::string::npos ? end : end - begin);
    std::vector<std::string> blocks;
    const std::string fence = "\n```" + language + "\n";
    for (size_t at = section.find(fence); at != std::string::npos;
         at = section.find(fence, at + 1)) {
        size_t body = at + fence.size();
        size_t close = section.find("\n```\n", body - 1);
        if (close == std::string::npos) break;
        blocks.push_back(section.substr(body, close + 1 - body));
    }
    return blocks;
}

void copy_example(const TempDir& dir, const std::string& sub) {
    ASSERT_EQ(::mkdir(dir.file(sub).c_str(), 0755), 0);
    for (const char* name : {"Makefile", "CMakeLists.txt", "host.c"}) {
        std::string content = velm_test::read_file(kExampleDir + "/" + name);
        ASSERT_FALSE(content.empty()) << name;
        dir.write(sub + "/" + name, content);
    }
}

RunResult make(const std::string& dir, std::vector<std::string> args) {
    const std::string tool = VELM_MAKE;
    if (tool.empty()) {
        ADD_FAILURE() << "make not found: install the Debian package make";
        return {};
    }
    args.push_back("C6X_VELM=" + c6x_path());
    args.push_back("VELM_DUMP=" + dump_path());
    args.push_back(std::string("VELM_BOOT=") + VELM_SOURCE_DIR + "/host");
    return velm_test::run_in(dir, args, tool);
}

void set_mtime(const std::string& path, std::time_t when) {
    struct utimbuf times = {when, when};
    ASSERT_EQ(::utime(path.c_str(), &times), 0) << path;
}

}  // namespace

TEST(BuildIntegration, TheReadmeShowsTheRulesOfTheExampleProject) {
    const std::vector<std::pair<std::string, std::string>> kinds = {{"make", "Makefile"},
                                                                    {"cmake", "CMakeLists.txt"}};
    for (const auto& [language, file] : kinds) {
        std::vector<std::string> blocks = readme_blocks(kBuildSection, language);
        ASSERT_FALSE(blocks.empty()) << "no ```" << language << " block in the README section";
        const std::vector<std::string> example =
            lines(velm_test::read_file(kExampleDir + "/" + file));
        for (const std::string& block : blocks) {
            for (const std::string& line : lines(block)) {
                if (line.empty()) continue;
                EXPECT_NE(std::find(example.begin(), example.end(), line), example.end())
                    << "README line not in examples/build-integration/" << file << ": " << line;
            }
        }
    }
    // The recipe lines start with a tab, as make demands.
    std::vector<std::string> make_blocks = readme_blocks(kBuildSection, "make");
    ASSERT_FALSE(make_blocks.empty());
    EXPECT_NE(make_blocks[0].find("\n\tcd $(dir $<) && $(C6X_VELM) "), std::string::npos);
}

TEST(BuildIntegration, MakeBuildsTheHostAndRebuildsTheImageWhenTheProgramChanges) {
    TempDir dir;
    copy_example(dir, "project");
    dir.write("app.out", velm_test::build_coff(velm_test::example_program()));
    const std::string project = dir.file("project");
    const std::vector<std::string> vars = {"DSP_PROGRAM=../app.out"};

    RunResult built = make(project, vars);
    ASSERT_EQ(built.exit_status, 0) << built.out << built.err;
    RunResult host = velm_test::run_in(project, {}, project + "/host");
    EXPECT_EQ(host.exit_status, 0);
    EXPECT_EQ(host.out, kHostOutput);

    std::vector<std::string> question = vars;
    question.insert(question.begin(), "-q");
    EXPECT_EQ(make(project, question).exit_status, 0) << "up to date after a build";
    set_mtime(dir.file("app.out"), std::time(nullptr) + 5);
    EXPECT_EQ(make(project, question).exit_status, 1) << "a newer DSP program is noticed";
    RunResult again = make(project, vars);
    ASSERT_EQ(again.exit_status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("--check dsp_image.c"), std::string::npos) << again.out;

    // The README's way to a const image and to two images in one program: the macro
    // renames the array and adds const, which puts it in read-only data.
    dir.write("project/two.c",
              std::string("extern const unsigned int dsp0_image[];\n"
                          "extern unsigned int C6XXX_VELM_DATA[];\n"
                          "int main(void) { return dsp0_image[0] == 0x90003B09u && "
                          "C6XXX_VELM_DATA[0] == 0x90003B09u ? 0 : 1; }\n"));
    RunResult two =
        velm_test::run_in(project,
                          {"-c",
                           "cc -c -DC6XXX_VELM_DATA=\"const dsp0_image\" dsp_image.c -o dsp0.o && "
                           "nm dsp0.o | grep -q ' R dsp0_image$' && "
                           "cc -c dsp_image.c -o dsp1.o && cc two.c dsp0.o dsp1.o -o two && ./two"},
                          "/bin/sh");
    EXPECT_EQ(two.exit_status, 0) << two.out << two.err;

    // A program that does not convert stops the build and leaves no image.
    dir.write("broken.out", std::string(100, 'x'));
    ASSERT_EQ(make(project, {"clean"}).exit_status, 0);
    RunResult broken = make(project, {"DSP_PROGRAM=../broken.out"});
    EXPECT_NE(broken.exit_status, 0);
    EXPECT_NE(broken.out.find(velm_test::kMsgFormat), std::string::npos) << broken.out;
    EXPECT_FALSE(dir.exists("project/dsp_image.c"));
    EXPECT_FALSE(dir.exists("project/host"));
}

// A stale image whose name differs only in letter case is neither overwritten nor taken
// for the target: the rule writes and checks the file it names.
TEST(BuildIntegration, MakeIgnoresAStaleImageOfAnotherCase) {
    TempDir dir;
    copy_example(dir, "project");
    dir.write("app.out", velm_test::build_coff(velm_test::example_program()));
    dir.write("project/DSP_IMAGE.C", std::string("stale image\n"));
    RunResult built = make(dir.file("project"), {"DSP_PROGRAM=../app.out", "dsp_image.c"});
    ASSERT_EQ(built.exit_status, 0) << built.out << built.err;
    EXPECT_EQ(dir.read("project/DSP_IMAGE.C"), "stale image\n");
    RunResult check =
        velm_test::run_in(dir.file("project"), {"--check", "dsp_image.c"}, dump_path());
    EXPECT_EQ(check.exit_status, 0) << check.err;
}

// Installs the built tools and velm_boot into DIR/usr, then configures and builds the CMake
// project DIR/source in DIR/build with them. Extra arguments go to the configure step.
void cmake_build(const TempDir& dir, const std::string& source, const std::string& build,
                 const std::vector<std::string>& extra) {
    const std::string cmake = VELM_CMAKE_COMMAND;
    const std::string prefix = dir.file("usr");
    RunResult installed =
        velm_test::run_in(dir.path(), {"--install", VELM_BINARY_DIR, "--prefix", prefix}, cmake);
    ASSERT_EQ(installed.exit_status, 0) << installed.out << installed.err;
    // The compiler of this build: a sanitizer build's library needs its own runtime.
    std::vector<std::string> args = {"-S",
                                     dir.file(source),
                                     "-B",
                                     dir.file(build),
                                     "-DCMAKE_PREFIX_PATH=" + prefix,
                                     std::string("-DCMAKE_C_COMPILER=") + VELM_C_COMPILER};
    args.insert(args.end(), extra.begin(), extra.end());
    RunResult configured = velm_test::run_in(dir.path(), args, cmake);
    ASSERT_EQ(configured.exit_status, 0) << configured.out << configured.err;
    RunResult built = velm_test::run_in(dir.path(), {"--build", dir.file(build)}, cmake);
    ASSERT_EQ(built.exit_status, 0) << built.out << built.err;
}

// The project finds both tools and the velm_boot package in the prefix that
// `cmake --install` filled, as the README shows. Another copy of the project, elsewhere
// and built with make, writes the same image: neither records where it lies.
TEST(BuildIntegration, CMakeBuildsTheHostWithTheCustomCommandAndTheInstalledLoader) {
    TempDir dir;
    copy_example(dir, "project");
    dir.write("app.out", velm_test::build_coff(velm_test::example_program()));
    ASSERT_NO_FATAL_FAILURE(
        cmake_build(dir, "project", "build", {"-DDSP_PROGRAM=" + dir.file("app.out")}));
    RunResult host = velm_test::run_in(dir.path(), {}, dir.file("build/host"));
    EXPECT_EQ(host.exit_status, 0);
    EXPECT_EQ(host.out, kHostOutput);

    const std::string image = dir.read("build/dsp_image.c");
    EXPECT_NE(image.find("\r\n// source C6xxx COFF file: APP.OUT\r\n"), std::string::npos);
    ASSERT_EQ(::mkdir(dir.file("elsewhere").c_str(), 0755), 0);
    copy_example(dir, "elsewhere/copy");
    dir.write("elsewhere/app.out", velm_test::build_coff(velm_test::example_program()));
    RunResult made = make(dir.file("elsewhere/copy"), {"dsp_image.c"});
    ASSERT_EQ(made.exit_status, 0) << made.out << made.err;
    EXPECT_EQ(dir.read("elsewhere/copy/dsp_image.c"), image);
}

// The README's make rule, CMake rule and loader program as they are written, each rule in
// a project of its own with the loader as host.c; the test supplies only the tools, the
// DSP program and, for CMake, the first two lines of a CMakeLists.txt.
TEST(BuildIntegration, TheReadmeRulesAndLoaderProgramBuildAsWritten) {
    const std::vector<std::string> make_rules = readme_blocks(kBuildSection, "make");
    const std::vector<std::string> cmake_rules = readme_blocks(kBuildSection, "cmake");
    const std::vector<std::string> programs = readme_blocks("Booting from host firmware", "c");
    ASSERT_EQ(make_rules.size(), 1u);
    ASSERT_EQ(cmake_rules.size(), 1u);
    ASSERT_FALSE(programs.empty());
    // What the loader prints: one line per record.
    const std::string loaded =
        std::string(kHostOutput).substr(0, std::string(kHostOutput).rfind("7 records"));

    TempDir dir;
    for (const char* sub : {"dsp", "make", "cmake"}) {
        ASSERT_EQ(::mkdir(dir.file(sub).c_str(), 0755), 0);
    }
    dir.write("dsp/app.out", velm_test::build_coff(velm_test::example_program()));
    dir.write("make/Makefile", make_rules[0]);
    dir.write("make/host.c", programs[0]);
    RunResult made = make(dir.file("make"), {"host", "DSP_PROGRAM=../dsp/app.out",
                                             "CFLAGS=-O2 -Wall -Wextra -Werror"});
    ASSERT_EQ(made.exit_status, 0) << made.out << made.err;
    RunResult host = velm_test::run_in(dir.path(), {}, dir.file("make/host"));
    EXPECT_EQ(host.exit_status, 0);
    EXPECT_EQ(host.out, loaded);

    dir.write("cmake/CMakeLists.txt",
              "cmake_minimum_required(VERSION 3.20)\nproject(readme_rules C)\n" + cmake_rules[0]);
    dir.write("cmake/host.c", programs[0]);
    ASSERT_NO_FATAL_FAILURE(cmake_build(
        dir, "cmake", "cmake-build",
        {"-DC6X_VELM=" + c6x_path(), "-DVELM_DUMP=" + dump_path(),
         "-DDSP_PROGRAM=" + dir.file("dsp/app.out"), "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror"}));
    host = velm_test::run_in(dir.path(), {}, dir.file("cmake-build/host"));
    EXPECT_EQ(host.exit_status, 0);
    EXPECT_EQ(host.out, loaded);
    EXPECT_EQ(dir.read("cmake-build/dsp_image.c"), dir.read("make/dsp_image.c"));
}
