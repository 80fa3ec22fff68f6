// `cmake --install` into a scratch prefix: both tools run from there, and both man pages
// are installed and render without a single warning.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "dump_test_support.h"

using namespace velm_dump_test;

namespace {

// Runs a tool found at configure time; an empty path fails the test with the package.
RunResult run_tool(const std::string& tool, const char* package, const std::string& dir,
                   const std::vector<std::string>& args) {
    if (tool.empty()) {
        ADD_FAILURE() << "tool not found: install the Debian package " << package;
        return {};
    }
    return velm_test::run_in(dir, args, tool);
}

class InstalledTools : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix_ = root_.path() + "/usr";
        RunResult r = velm_test::run_in(
            root_.path(), {"--install", VELM_BINARY_DIR, "--prefix", prefix_}, VELM_CMAKE_COMMAND);
        ASSERT_EQ(r.exit_status, 0) << r.out << r.err;
    }
    std::string bin(const std::string& name) const {
        return prefix_ + "/" + VELM_INSTALL_BINDIR + "/" + name;
    }
    std::string man_page(const std::string& name) const {
        return prefix_ + "/" + VELM_INSTALL_MANDIR + "/man1/" + name + ".1";
    }

    TempDir root_;
    TempDir work_;
    std::string prefix_;
};

}  // namespace

TEST_F(InstalledTools, BothToolsRunFromThePrefix) {
    work_.write("app.out", velm_test::build_coff(velm_test::example_program()));
    RunResult text = velm_test::run_in(work_.path(), {"app", "app.c"}, bin("c6x_velm"));
    EXPECT_EQ(text.exit_status, 0) << text.out;
    EXPECT_EQ(text.out.rfind(velm_test::banner(), 0), 0u);
    RunResult binary = velm_test::run_in(work_.path(), {"app", "app.bin", "-b"}, bin("c6x_velm"));
    EXPECT_EQ(binary.exit_status, 0) << binary.out;
    RunResult usage = velm_test::run_in(work_.path(), {}, bin("c6x_velm"));
    EXPECT_EQ(usage.exit_status, 1);
    EXPECT_EQ(usage.out, velm_test::banner() + velm_test::usage());

    for (const char* image : {"app.c", "app.bin"}) {
        RunResult check = velm_test::run_in(work_.path(), {"--check", image}, bin("velm_dump"));
        EXPECT_EQ(check.exit_status, 0) << check.err;
        EXPECT_EQ(check.out + check.err, "");
    }
    RunResult diff =
        velm_test::run_in(work_.path(), {"--diff", "app.c", "app.bin"}, bin("velm_dump"));
    EXPECT_EQ(diff.exit_status, 0) << diff.out << diff.err;
    RunResult version = velm_test::run_in(work_.path(), {"--version"}, bin("velm_dump"));
    EXPECT_EQ(version.out.rfind(std::string("velm_dump (c6x_velm) ") + VELM_PROJECT_VERSION, 0),
              0u);
}

TEST_F(InstalledTools, ManPagesRenderWithoutWarnings) {
    // What each page must cover: usage, modes, exit status, Linux paths, examples.
    const std::vector<std::pair<std::string, std::vector<std::string>>> pages = {
        {"c6x_velm",
         {"SYNOPSIS", "MODES", "OPTIONS", "EXIT STATUS", "ON LINUX", "EXAMPLES",
          "Case-insensitive names", "CRLF line ends"}},
        {"velm_dump",
         {"SYNOPSIS", "CHECKS", "OPTIONS", "--check", "--json", "--diff", "--strict", "EXIT STATUS",
          "ON LINUX", "EXAMPLES"}},
    };
    for (const auto& [name, headings] : pages) {
        const std::string page = man_page(name);
        EXPECT_EQ(velm_test::read_file(page),
                  velm_test::read_file(std::string(VELM_SOURCE_DIR) + "/man/" + name + ".1"))
            << page;
        RunResult groff =
            run_tool(VELM_GROFF, "groff-base", work_.path(), {"-ww", "-z", "-man", page});
        EXPECT_EQ(groff.exit_status, 0) << name;
        EXPECT_EQ(groff.err, "") << name;
        RunResult man = run_tool(VELM_MAN, "man-db", work_.path(), {"--warnings", "-l", page});
        EXPECT_EQ(man.exit_status, 0) << name << man.err;
        EXPECT_EQ(man.err, "") << name;
        for (const std::string& heading : headings) {
            EXPECT_NE(man.out.find(heading), std::string::npos) << name << ": " << heading;
        }
    }
}

// Every example of velm_dump's man page that shows a prompt is real: its "$ " commands,
// run in order on the images of examples/app.out, print the lines that follow them (the
// page may wrap a long line at a space).
TEST_F(InstalledTools, VelmDumpManPageExamplesAreRealOutput) {
    const std::string page =
        velm_test::read_file(std::string(VELM_SOURCE_DIR) + "/man/velm_dump.1");
    const size_t examples = page.find("\n.SH EXAMPLES\n");
    ASSERT_NE(examples, std::string::npos);
    work_.write("app.out",
                velm_test::read_file(std::string(VELM_SOURCE_DIR) + "/examples/app.out"));
    const std::string tools = "PATH='" + prefix_ + "/" + VELM_INSTALL_BINDIR + "':\"$PATH\"\n";
    RunResult setup = velm_test::run_in(
        work_.path(), {"-c", tools + "c6x_velm app.out app.bin -b && c6x_velm app.out app.c"},
        "/bin/sh");
    ASSERT_EQ(setup.exit_status, 0) << setup.out;

    // The roff escapes the examples use; \e last, so that its backslash starts no other.
    const std::pair<std::string, std::string> kEscapes[] = {
        {"\\-", "-"}, {"\\(aq", "'"}, {"\\&", ""}, {"\\e", "\\"}};
    const auto flat = [](std::string text) {  // a wrapped line is the same as a long one
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    };
    int run = 0;
    std::istringstream in(page.substr(examples, page.find("\n.SH ", examples + 1) - examples));
    std::string script, shown;  // of the current block
    bool inside = false, continued = false;
    for (std::string line; std::getline(in, line);) {
        if (line == ".EX" || line == ".EE") {
            if (line == ".EE" && !script.empty()) {
                ++run;
                RunResult r =
                    velm_test::run_in(work_.path(), {"-c", tools + script + "} 2>&1"}, "/bin/sh");
                EXPECT_EQ(flat(r.out), flat(shown)) << script;
            }
            inside = line == ".EX";
            script.clear();
            shown.clear();
            continue;
        }
        if (!inside) continue;
        for (const auto& [roff, text] : kEscapes) {
            for (size_t at = line.find(roff); at != std::string::npos;
                 at = line.find(roff, at + text.size())) {
                line.replace(at, roff.size(), text);
            }
        }
        if (continued || line.rfind("$ ", 0) == 0) {
            if (script.empty()) script = "{\n";
            script += (continued ? line : line.substr(2)) + "\n";
            continued = !line.empty() && line.back() == '\\';
        } else {
            shown += line + "\n";
        }
    }
    EXPECT_EQ(run, 4) << "examples with a prompt";
}
