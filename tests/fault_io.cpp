// Every input and output call of a run, failed in turn.
//
// The fault-injection build of the platform layer counts each kind of I/O call and fails
// the N-th one on request. A clean run of a realistic input counts the calls; then N
// walks over all of them. Whatever fails, the run must end with exit status 1, the one
// message line that belongs to that failure and no summary, leave the output path as it
// was and no temporary file behind, and close every descriptor. Only a temporary file
// that cannot be made fails nothing: the output is then written in place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/io_hooks.h"
#include "support/coff_builder.h"
#include "support/elf_builder.h"
#include "support/run_checks.h"
#include "support/tool_runner.h"

using namespace velm_test;
using velm::IoOp;
using velm_check::Mode;

namespace {

// The bundled example (code, data, a .cinit table with filler, BSS, a copy section, a
// name in the string table) plus a section larger than the 0x40000-byte data buffer, so
// that records span several buffer pieces and the output spans several stream buffers.
Bytes realistic_input() {
    Coff c = example_program();
    Section big;
    big.name = ".far";
    big.paddr = big.vaddr = 0x80100000;
    big.flags = 0x40;
    big.data = pattern(0x40000 + 0x1235, 29);
    c.sections.push_back(big);
    return build_coff(c);
}

// The ELF example with a section larger than the data buffer, for the same reasons.
Bytes realistic_elf_input() {
    Elf e = elf_example_program();
    e.sections.push_back(
        alloc_section(".far", kShfWrite, 0x80100000, pattern(0x40000 + 0x1235, 29)));
    e.segments.push_back(load_segment(0x80100000, {".far"}));
    return build_elf(e);
}

struct Scenario {
    const char* name;
    Mode mode;
    std::vector<std::string> args;  // relative to the run's directory
    const char* output;             // the output file's name; nullptr for a listing
};

const Scenario kText{"TEXT", Mode::text, {"app.out", "app.c"}, "app.c"};
const Scenario kBinary{"BINARY", Mode::binary, {"app.out", "app.bin", "-b"}, "app.bin"};
const Scenario kListing{"listing", Mode::listing, {"app.out", "-d"}, nullptr};

// The output named so long that no temporary file name can be made from it.
const std::string kLongName = std::string(240, 'x') + ".c";
const Scenario kTextInPlace{"TEXT in place", Mode::text, {"app.out", kLongName}, kLongName.c_str()};

struct OpCase {
    IoOp op;
    const char* name;
    const char* message;  // nullptr: the run succeeds all the same
};

// What each failing call reports: an input that cannot be opened is "not found", any
// failing read or seek of it a read error, a mapping that cannot be made nothing; an output that
// cannot be created is refused as such, and a failing write, close or rename of it is a write error
// in both encodings.
const OpCase kOps[] = {
    {IoOp::in_open, "input open", velm_test::kMsgNotFound},
    {IoOp::in_read, "input read", velm_test::kMsgRead},
    {IoOp::in_seek, "input seek", velm_test::kMsgRead},
    {IoOp::out_open, "output open", velm_test::kMsgCreate},
    {IoOp::out_write, "output write", velm_test::kMsgWrite},
    {IoOp::out_close, "output close", velm_test::kMsgWrite},
    {IoOp::out_temp, "temporary file", nullptr},
    {IoOp::out_rename, "rename", velm_test::kMsgWrite},
    {IoOp::in_map, "input mapping", nullptr},  // the header area is read instead
};
constexpr size_t kOpCount = sizeof kOps / sizeof kOps[0];

struct Outcome {
    velm_check::Capture run;
    bool out_exists = false;
    std::string out;
    std::string other_files;  // names beside the input and the output
    int fds_before = 0;
    int fds_after = 0;
};

Outcome run_scenario(const TempDir& dir, const Scenario& s) {
    std::vector<std::string> args;
    for (const std::string& a : s.args) args.push_back(a == "-d" || a == "-b" ? a : dir.file(a));
    Outcome o;
    o.fds_before = velm_check::open_descriptors();
    o.run = velm_check::run_captured(args, dir.file("console.txt"));
    o.fds_after = velm_check::open_descriptors();
    for (const std::string& name : velm_check::directory_names(dir.path())) {
        if (name == "app.out") continue;
        if (s.output != nullptr && name == s.output) {
            o.out_exists = true;
            velm_check::read_whole(dir.file(name), &o.out);
        } else {
            o.other_files += name + " ";
        }
    }
    return o;
}

// Counts the calls of `op` in a clean run (which must succeed), then fails each of them
// in turn and checks the run. Returns the number of calls walked.
long walk(const Scenario& s, const OpCase& oc, const Bytes& input = realistic_input()) {
    SCOPED_TRACE(std::string(s.name) + ", failing " + oc.name);
    TempDir dir;
    dir.write("app.out", input);

    velm::io_fail_arm(oc.op, 0);
    Outcome clean = run_scenario(dir, s);
    long calls = velm::io_count(oc.op);
    EXPECT_EQ(clean.run.status, 0) << clean.run.console;
    EXPECT_EQ(velm_check::check_run(s.mode, clean.run, clean.out_exists, clean.out), "");
    EXPECT_EQ(clean.other_files, "");
    if (s.output != nullptr) velm_check::remove_file(dir.file(s.output));

    for (long n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls));
        velm::io_fail_arm(oc.op, n);
        Outcome o = run_scenario(dir, s);
        EXPECT_EQ(velm::io_count(oc.op), n) << "the run went on past the failing call";
        if (oc.message == nullptr) {
            EXPECT_EQ(o.run.console + o.out, clean.run.console + clean.out);
        } else {
            EXPECT_EQ(o.run.status, 1);
            EXPECT_EQ(velm_check::message_of(o.run.console), oc.message);
            EXPECT_EQ(o.run.console.find("COFF file        :"), std::string::npos) << "summary";
            EXPECT_FALSE(o.out_exists) << "output left behind";
        }
        EXPECT_EQ(velm_check::check_run(s.mode, o.run, o.out_exists, o.out), "");
        EXPECT_EQ(o.other_files, "");
        EXPECT_EQ(o.fds_after, o.fds_before) << "descriptor left open";
        if (o.out_exists) velm_check::remove_file(dir.file(s.output));
    }

    // One past the last call: nothing fails, so the walk has covered every call.
    velm::io_fail_arm(oc.op, calls + 1);
    Outcome after = run_scenario(dir, s);
    EXPECT_EQ(after.run.status, 0) << after.run.console;
    EXPECT_EQ(velm::io_count(oc.op), calls);
    velm::io_fail_arm(oc.op, 0);
    return calls;
}

}  // namespace

TEST(FaultInjection, TextConversionFailsCleanlyAtEveryIoCall) {
    long calls[kOpCount];
    for (size_t i = 0; i < kOpCount; ++i) calls[i] = walk(kText, kOps[i]);
    EXPECT_EQ(calls[0], 1);   // input open
    EXPECT_GT(calls[1], 12);  // reads: headers, 32 KiB pieces, .cinit words
    EXPECT_GE(calls[2], 5);   // a seek per stored valid section
    EXPECT_EQ(calls[3], 1);   // output open
    EXPECT_GE(calls[4], 8);   // 0.9 MB of C source through a 128 KiB buffer
    EXPECT_EQ(calls[5], 1);   // output close
}

TEST(FaultInjection, BinaryConversionFailsCleanlyAtEveryIoCall) {
    long calls[kOpCount];
    for (size_t i = 0; i < kOpCount; ++i) calls[i] = walk(kBinary, kOps[i]);
    EXPECT_EQ(calls[0], 1);
    EXPECT_GT(calls[1], 12);
    EXPECT_GE(calls[2], 5);
    EXPECT_EQ(calls[3], 1);
    EXPECT_GE(calls[4], 2);  // a direct write of a whole buffer piece, and the final flush
    EXPECT_EQ(calls[5], 1);
}

// Written in place, a failed output is removed; nothing is renamed.
TEST(FaultInjection, OutputWrittenInPlaceFailsCleanly) {
    EXPECT_GE(walk(kTextInPlace, kOps[4]), 8);
    EXPECT_EQ(walk(kTextInPlace, kOps[5]), 1);
    EXPECT_EQ(walk(kTextInPlace, kOps[7]), 0);
}

TEST(FaultInjection, ListingFailsCleanlyAtEveryInputCall) {
    EXPECT_EQ(walk(kListing, kOps[0]), 1);
    // The file header, then the header area where the input is not mapped (Windows).
#ifdef _WIN32
    EXPECT_EQ(walk(kListing, kOps[1]), 2);
#else
    EXPECT_EQ(walk(kListing, kOps[1]), 1);
#endif
    EXPECT_EQ(walk(kListing, kOps[kOpCount - 1]), 1);
    // The listing reads nothing else and writes no file.
    for (size_t i = 2; i + 1 < kOpCount; ++i) {
        EXPECT_EQ(walk(kListing, kOps[i]), 0) << kOps[i].name;
    }
}

TEST(FaultInjection, ElfInputFailsCleanlyAtEveryIoCall) {
    const Bytes input = realistic_elf_input();
    for (const Scenario* s : {&kText, &kBinary}) {
        long calls[kOpCount];
        for (size_t i = 0; i < kOpCount; ++i) calls[i] = walk(*s, kOps[i], input);
        EXPECT_GT(calls[1], 12) << s->name;  // header, tables, names, 32 KiB pieces
        EXPECT_GE(calls[2], 8) << s->name;   // three tables, a seek per loaded section
    }
    // Loading reads the header's first bytes, its rest, both tables and the names.
    EXPECT_EQ(walk(kListing, kOps[1], input), 5);
}

// A file already at the output path comes through every failure as it was; only writing
// in place, which succeeds, replaces it.
TEST(FaultInjection, ExistingOutputSurvivesEveryFailure) {
    for (const Scenario* s : {&kText, &kBinary}) {
        for (const OpCase& oc : kOps) {
            SCOPED_TRACE(std::string(s->name) + ", failing " + oc.name);
            TempDir dir;
            dir.write("app.out", realistic_input());
            velm::io_fail_arm(oc.op, 0);
            run_scenario(dir, *s);
            long calls = velm::io_count(oc.op);
            for (long n = 1; n <= calls; ++n) {
                dir.write(s->output, std::string("an older image"));
                velm::io_fail_arm(oc.op, n);
                Outcome o = run_scenario(dir, *s);
                EXPECT_EQ(o.run.status, oc.message == nullptr ? 0 : 1);
                EXPECT_EQ(o.out == "an older image", oc.message != nullptr) << "call " << n;
                EXPECT_EQ(o.other_files, "") << "call " << n;
            }
            velm::io_fail_arm(oc.op, 0);
        }
    }
}
