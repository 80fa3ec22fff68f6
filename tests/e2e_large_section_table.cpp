// A section table too large for the allocator to keep in its heap: the header area is
// mapped on its own and handed back to the system as soon as it is released, so any
// use of it after the end of run's release fails at once instead of reading stale data.
#include <gtest/gtest.h>

#include <string>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;

namespace {

// 20,000 headers (960,000 bytes of table), one stored .text section among empty ones.
Coff many_headers() {
    Coff c;
    c.entry = 0x0000ABC0;
    c.sections.resize(20000);
    for (size_t i = 0; i < c.sections.size(); ++i) c.sections[i].name = ".e";
    c.sections[123] = {".text", {}, 0x400, 0x400, 0x20, words({0xDEADBEEF, 0x01234567}), {}, {}, 0};
    return c;
}

}  // namespace

// The whole console text: 20,000 progress texts (their index carried over 9, 99, 999 and
// 9999, and built across many console buffers), then the summary with the entry point.
TEST(LargeSectionTable, SummaryReportsEntryPointInBothEncodings) {
    TempDir dir;
    dir.write("big.out", build_coff(many_headers()));
    for (bool binary : {false, true}) {
        std::vector<std::string> args = {"big", "big.img"};
        if (binary) args.push_back("-b");
        RunResult r = run_in(dir.path(), args);
        ASSERT_EQ(r.exit_status, 0) << r.out;
        EXPECT_EQ(r.out, converted(20000, summary("BIG.OUT", "BIG.IMG", binary, 20000, 1, 0xABC0)));
        EXPECT_TRUE(dir.exists("big.img"));
    }
}

TEST(LargeSectionTable, ListingCompletes) {
    TempDir dir;
    dir.write("big.out", build_coff(many_headers()));
    RunResult r = run_in(dir.path(), {"big", "-d"});
    EXPECT_EQ(r.exit_status, 0) << r.out;
    EXPECT_NE(r.out.find("entry point   : 0xABC0"), std::string::npos);
}
