// A real SIGINT, SIGTERM or SIGHUP in the middle of a conversion, raised at an exact output
// write (none at all depends on timing): the run stops at the next buffer, or before the
// rename, leaves the output path and no temporary file, ends as "user terminated", and
// puts back the handler it found; an ignored signal stays ignored. SIGPIPE (a console pipe
// whose reader has gone) does not end the run: the image is finished.
#include <gtest/gtest.h>
#include <signal.h>

#include "platform/io_hooks.h"
#include "support/run_checks.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;
using velm::IoOp;

namespace {
int signal_to_raise = 0;
void raise_it() {
    ::raise(signal_to_raise);
}
void previous_handler(int) {}
}  // namespace

TEST(Interrupt, SignalMidRunLeavesTheOutputAsItWas) {
    Coff coff = small_program();
    coff.sections.push_back(sec(".far", 0x40, 0x80100000, pattern(300 * 1024, 7)));
    TempDir dir;
    dir.write("app.out", build_coff(coff));
    const std::vector<std::string> args = {dir.file("app.out"), dir.file("app.c")};
    velm::io_fail_arm(IoOp::out_write, 0);
    velm_check::run_captured(args, dir.file("console.txt"));
    const long last = velm::io_count(IoOp::out_write);  // at the last, only the rename is left
    struct Case {
        int signal;
        void (*previous)(int);
        long at_write;
    };
    for (const Case& k : {Case{SIGINT, previous_handler, 2}, Case{SIGTERM, previous_handler, 2},
                          Case{SIGHUP, previous_handler, last}, Case{SIGHUP, SIG_IGN, 2},
                          Case{SIGPIPE, SIG_DFL, 2}}) {
        SCOPED_TRACE(std::to_string(k.signal) + " at write " + std::to_string(k.at_write));
        dir.write("app.c", std::string("an older image"));
        const std::map<std::string, std::string> before = dir.snapshot();
        struct sigaction act = {}, saved, after;
        act.sa_handler = k.previous;
        ASSERT_EQ(::sigaction(k.signal, &act, &saved), 0);
        signal_to_raise = k.signal;
        velm::io_fail_arm(IoOp::out_write, k.at_write, raise_it);
        velm_check::Capture run = velm_check::run_captured(args, dir.file("console.txt"));
        const long writes = velm::io_count(IoOp::out_write);
        velm::io_fail_arm(IoOp::out_write, 0);
        ::sigaction(k.signal, &saved, &after);
        EXPECT_EQ(after.sa_handler, k.previous) << "the handler found was not put back";
        if (k.previous == SIG_IGN || k.signal == SIGPIPE) {
            EXPECT_EQ(run.status, 0);
            EXPECT_NE(dir.read("app.c"), "an older image");
            EXPECT_EQ(dir.snapshot().size(), 2u);
        } else {
            EXPECT_EQ(writes, k.at_write) << "the pass went on after the interrupt";
            EXPECT_EQ(run.console, failed(4, kMsgTerminated));
            EXPECT_EQ(dir.snapshot(), before);
        }
    }
}
