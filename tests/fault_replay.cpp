// Replays the fuzz seed corpus (fuzz/corpus/) and every input that once broke a property
// of a run (tests/regressions/) through TEXT, BINARY and -d in this process, with the
// fuzz target's own checks. A crash or broken property the fuzzer finds is saved into
// tests/regressions/ and stays replayed here for good.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/coff_builder.h"
#include "support/run_checks.h"
#include "support/tool_runner.h"

using namespace velm_test;

namespace {

// Regular files in `dir` whose names do not end in ".md", sorted.
std::vector<std::string> inputs_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const std::string& name : velm_check::directory_names(dir)) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(dir + "/" + name, ec)) continue;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".md") == 0) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// "" when all three runs of `bytes` keep every property.
std::string replay(const Bytes& bytes) {
    TempDir dir;
    dir.write("in.out", bytes);
    return velm_check::check_all(velm_check::run_all_modes(dir.path(), "in.out"));
}

std::string replay_file(const std::string& path) {
    std::string content = read_file(path);
    return replay(Bytes(content.begin(), content.end()));
}

}  // namespace

TEST(Replay, SeedCorpusKeepsEveryProperty) {
    const std::string dir = std::string(VELM_SOURCE_DIR) + "/fuzz/corpus";
    std::vector<std::string> names = inputs_in(dir);
    EXPECT_GE(names.size(), 30u) << "seed corpus missing";
    for (const std::string& name : names) EXPECT_EQ(replay_file(dir + "/" + name), "") << name;
}

TEST(Replay, RegressionInputsKeepEveryProperty) {
    const std::string dir = std::string(VELM_SOURCE_DIR) + "/tests/regressions";
    for (const std::string& name : inputs_in(dir)) {
        EXPECT_EQ(replay_file(dir + "/" + name), "") << name;
    }
}

// The checks themselves must catch what they claim to: a stream cut short, a wrong tag,
// a TEXT line broken in two, a leftover file.
TEST(Replay, ChecksRejectBrokenRuns) {
    using velm_check::check_records;
    EXPECT_EQ(check_records({0x90003B09, 0x400, 5, 0x04030201, 0x05, 0xFFFF3B09, 0, 0}), "");
    EXPECT_NE(check_records({0x90003B09, 0x400, 5, 0x04030201, 0xFFFF3B09, 0, 0}), "");
    EXPECT_NE(check_records({0x90003B09, 0x400, 5, 0x04030201, 0x0105, 0xFFFF3B09, 0, 0}), "");
    EXPECT_NE(check_records({0x90023B09, 0x400, 4, 0x04030201, 0xFFFF3B09, 0, 0}), "");
    EXPECT_NE(check_records({0x90003B09, 0x400, 4, 0x04030201}), "");

    TempDir dir;
    dir.write("in.out", build_coff(example_program()));
    velm_check::AllModes good = velm_check::run_all_modes(dir.path(), "in.out");
    ASSERT_EQ(velm_check::check_all(good), "");

    velm_check::AllModes bad = good;
    size_t comment = bad.text.out.find("// section '.text'");
    ASSERT_NE(comment, std::string::npos);
    bad.text.out.insert(comment + 13, "\r\n");
    EXPECT_NE(velm_check::check_all(bad), "");

    bad = good;
    bad.binary.out.erase(bad.binary.out.size() - 12);
    EXPECT_NE(velm_check::check_all(bad), "");

    bad = good;
    bad.binary.out[20] ^= 1;  // a data word: TEXT and BINARY now disagree
    EXPECT_NE(velm_check::check_all(bad), "");

    bad = good;
    bad.text.run.status = 1;
    EXPECT_NE(velm_check::check_all(bad), "");
}

// A line feed or carriage return in a section name used to reach the TEXT comment line
// as it stood, ending the comment there: the rest of the line ("':  addr=...") became C
// code and the image did not compile. Found by the fuzzer (text-comment-line-feed-in-
// name.out); such a byte is now shown as '?'.
TEST(Regression, LineEndsInSectionNamesStayInsideTheComment) {
    Coff c;
    Section s;
    s.name = std::string("a\nb\rc");
    s.paddr = s.vaddr = 0x400;
    s.flags = 0x20;
    s.data = words({0x11223344});
    c.sections.push_back(s);

    TempDir dir;
    dir.write("in.out", build_coff(c));
    velm_check::AllModes r = velm_check::run_all_modes(dir.path(), "in.out");
    EXPECT_EQ(velm_check::check_all(r), "");
    EXPECT_NE(r.text.out.find("\r\n// section 'a?b?c':  addr=00000400H  len=00000004H  "
                              "attrib='exec'\r\n     0x90003B09,  0x00000400,  0x00000004,\r\n"
                              "     0x11223344,  \r\n"),
              std::string::npos)
        << r.text.out;
}
