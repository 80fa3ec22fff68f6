// The section table used where the input's mapping holds it, while another program cuts
// the file short: the pages past the new end must read as zeros instead of ending the
// process with SIGBUS, the run that used them must fail as a short read would, and
// neither the guard nor the loss may outlive that run.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "platform/io_hooks.h"
#include "support/coff_builder.h"
#include "support/console_text.h"
#include "support/run_checks.h"
#include "support/tool_runner.h"

using namespace velm_test;

namespace {

std::string cut_path;
void cut_to_100_bytes() {
    ASSERT_EQ(::truncate(cut_path.c_str(), 100), 0);
}

}  // namespace

// 200 sections of 4 bytes, all stored at offset 4, so that their contents survive the
// cut: only the table from byte 100 on is lost once the pass has begun. Past the first
// page it then reads as zeros, sections of no size that the pass skips: nothing else fails.
TEST(InputMapping, ARunWhoseSectionTableIsCutShortFailsAsARead) {
    Coff c;
    for (uint32_t i = 0; i < 200; ++i) {
        Section s;
        s.name = ".s";
        s.paddr = s.vaddr = 0x1000 + 16 * i;
        s.flags = 0x20;
        s.size = 4;
        s.scnptr = 4;
        c.sections.push_back(s);
    }
    c.symbols = Bytes(1000, 0);  // the headers and all contents must fit in the file
    TempDir dir;
    dir.write("app.out", build_coff(c));
    const std::vector<std::string> args = {dir.file("app.out"), dir.file("app.bin"), "-b"};
    struct sigaction before, after;
    ASSERT_EQ(::sigaction(SIGBUS, nullptr, &before), 0);

    cut_path = dir.file("app.out");
    velm::io_fail_arm(velm::IoOp::in_seek, 1, cut_to_100_bytes);  // the pass's first read
    velm_check::Capture run = velm_check::run_captured(args, dir.file("console.txt"));
    velm::io_fail_arm(velm::IoOp::in_seek, 0);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(velm_check::message_of(run.console), kMsgRead);
    EXPECT_EQ(velm_check::directory_names(dir.path()).count("app.bin"), 0u);
    ASSERT_EQ(::sigaction(SIGBUS, nullptr, &after), 0);
    EXPECT_TRUE(after.sa_sigaction == before.sa_sigaction) << "the guard outlived the run";

    dir.write("app.out", build_coff(c));
    EXPECT_EQ(velm_check::run_captured(args, dir.file("console.txt")).status, 0);
}
