// The platform layer under misuse and failure: the input's read-ahead window against
// arbitrary seeks and read sizes, calls on handles that are not open, a second input
// while one is open, and the output stream's sticky errors, direct writes and CR LF
// conversion across its buffer's end, and a console that cannot be written to.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/input_file.h"
#include "platform/io_hooks.h"
#include "platform/stream.h"
#include "support/coff_builder.h"
#include "support/run_checks.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;
using velm::IoOp;

namespace {

constexpr size_t kStreamBuffer = 128 * 1024;  // the output stream's buffer
constexpr int64_t kWindow = 64 * 1024;        // the input's read-ahead window

class InputFile : public ::testing::Test {
  protected:
    void SetUp() override {
        bytes_ = pattern(5 * kWindow + 1234, 77);
        dir_.write("in.bin", bytes_);
        fds_ = velm_check::open_descriptors();
        ASSERT_EQ(velm::in_open(dir_.file("in.bin"), &handle_), velm::InOpen::ok);
    }
    void TearDown() override {
        velm::in_close(handle_);
        EXPECT_EQ(velm_check::open_descriptors(), fds_) << "descriptor left open";
    }
    // The file's bytes [at, at + n), cut at its end.
    Bytes expected(int64_t at, int64_t n) const {
        int64_t size = static_cast<int64_t>(bytes_.size());
        int64_t end = at + n < size ? at + n : size;
        return at >= size ? Bytes() : Bytes(bytes_.begin() + at, bytes_.begin() + end);
    }

    TempDir dir_;
    Bytes bytes_;
    int16_t handle_ = -1;
    int fds_ = 0;
};

}  // namespace

// Any mix of seeks and read sizes, small ones served from the window, large ones read
// directly, backwards and forwards, across the window's edges and the end of the file:
// every read returns exactly the file's bytes, fewer only at the end.
TEST_F(InputFile, ReadsMatchTheFileWhateverTheSeeksAndSizes) {
    std::mt19937 rng(12345);
    const int64_t size = static_cast<int64_t>(bytes_.size());
    const int64_t sizes[] = {0,           1,
                             3,           4,
                             22,          48,
                             4096,        kWindow / 2 - 1,
                             kWindow / 2, kWindow / 2 + 1,
                             kWindow,     kWindow + 5,
                             3 * kWindow};
    int64_t pos = 0;
    for (int i = 0; i < 3000; ++i) {
        switch (rng() % 4) {
            case 0:  // anywhere, past the end included
                pos = static_cast<int64_t>(rng() % static_cast<uint32_t>(size + kWindow));
                ASSERT_EQ(velm::in_seek(handle_, pos), pos);
                break;
            case 1:  // just before or at the current window's likely edges
                pos = (pos / kWindow + 1) * kWindow - static_cast<int64_t>(rng() % 8);
                ASSERT_EQ(velm::in_seek(handle_, pos), pos);
                break;
            default:  // no seek: carry on from where the last read ended
                break;
        }
        int64_t n = rng() % 3 == 0 ? static_cast<int64_t>(rng() % 200)
                                   : sizes[rng() % (sizeof sizes / sizeof sizes[0])];
        Bytes got(static_cast<size_t>(n) + 1, 0xCC);
        int64_t r = velm::in_read(handle_, got.data(), n);
        Bytes want = expected(pos, n);
        ASSERT_EQ(r, static_cast<int64_t>(want.size())) << "read " << n << " at " << pos;
        got.resize(static_cast<size_t>(r));
        ASSERT_EQ(got, want) << "read " << n << " at " << pos;
        pos += r;
    }
    EXPECT_EQ(velm::in_filelength(handle_), size);
}

TEST_F(InputFile, CallsOnHandlesThatAreNotOpenFail) {
    uint8_t buf[8];
    int16_t other = static_cast<int16_t>(handle_ + 1);
    for (int16_t h : {static_cast<int16_t>(-1), other}) {
        EXPECT_EQ(velm::in_read(h, buf, 4), -1);
        EXPECT_EQ(velm::in_seek(h, 0), -1);
        EXPECT_EQ(velm::in_filelength(h), -1);
        EXPECT_EQ(velm::in_descriptor(h), -1);
        velm::in_close(h);  // harmless
    }
    EXPECT_EQ(velm::in_seek(handle_, -1), -1);
    EXPECT_EQ(velm::in_read(handle_, buf, -1), -1);
    // The handle still works after the refused calls.
    EXPECT_EQ(velm::in_read(handle_, buf, 8), 8);
    EXPECT_EQ(Bytes(buf, buf + 8), expected(0, 8));
}

// One input is open at a time: a second open is refused without disturbing the first or
// leaking the descriptor it opened.
TEST_F(InputFile, SecondInputWhileOneIsOpenIsRefused) {
    dir_.write("other.bin", pattern(100, 3));
    int16_t second = 7;
    EXPECT_EQ(velm::in_open(dir_.file("other.bin"), &second), velm::InOpen::not_found);
    EXPECT_EQ(second, -1);
    uint8_t buf[16];
    ASSERT_EQ(velm::in_seek(handle_, 1000), 1000);
    EXPECT_EQ(velm::in_read(handle_, buf, 16), 16);
    EXPECT_EQ(Bytes(buf, buf + 16), expected(1000, 16));
}

// --- the output stream ---

namespace {

std::string stream_file(const TempDir& dir) {
    return dir.read("out");
}

}  // namespace

// Once a write has failed, every later write accepts nothing and the close reports the
// failure and removes the file: a caller that checks only some results can never turn a
// lost block into a successful image.
TEST(OutputStream, ErrorsAreStickyAndTheFileIsRemoved) {
    for (bool text : {false, true}) {
        SCOPED_TRACE(text ? "TEXT" : "BINARY");
        TempDir dir;
        velm::OutStream* s = velm::out_open(dir.file("out"), text, -1);
        ASSERT_NE(s, nullptr);
        std::string block(kStreamBuffer - 10, 'x');
        velm::io_fail_arm(IoOp::out_write, 1);
        EXPECT_EQ(velm::out_write(s, block.data(), block.size()), block.size());  // still buffered
        EXPECT_EQ(velm::out_write(s, block.data(), block.size()), 0u);            // the flush fails
        EXPECT_EQ(velm::out_write(s, "more\n", 5), 0u);
        EXPECT_EQ(velm::out_close(s, false), -1);
        EXPECT_EQ(velm::io_count(IoOp::out_write), 1) << "nothing written after the failure";
        velm::io_fail_arm(IoOp::out_write, 0);
        EXPECT_FALSE(dir.exists("out"));
    }
}

// A binary write of a whole buffer or more into an empty buffer goes straight to the
// file; it must land in order with what is buffered around it, and its failure counts.
TEST(OutputStream, LargeBinaryWritesGoStraightToTheFile) {
    TempDir dir;
    Bytes big = pattern(kStreamBuffer + 333, 5);
    Bytes small = pattern(20, 6);
    velm::OutStream* s = velm::out_open(dir.file("out"), false, -1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(velm::out_write(s, big.data(), big.size()), big.size());
    EXPECT_EQ(velm::out_write(s, small.data(), small.size()), small.size());
    EXPECT_EQ(velm::out_write(s, big.data(), big.size()), big.size());  // through the buffer
    EXPECT_EQ(velm::out_close(s, false), 0);
    Bytes want = big;
    want.insert(want.end(), small.begin(), small.end());
    want.insert(want.end(), big.begin(), big.end());
    std::string got = stream_file(dir);
    EXPECT_EQ(Bytes(got.begin(), got.end()), want);

    s = velm::out_open(dir.file("out"), false, -1);
    ASSERT_NE(s, nullptr);
    velm::io_fail_arm(IoOp::out_write, 1);
    EXPECT_EQ(velm::out_write(s, big.data(), big.size()), 0u);
    EXPECT_EQ(velm::out_write(s, small.data(), small.size()), 0u);
    velm::io_fail_arm(IoOp::out_write, 0);
    EXPECT_EQ(velm::out_close(s, false), -1);
    EXPECT_EQ(dir.snapshot(), (std::map<std::string, std::string>{{"out", got}}));
}

// Every "\n" becomes "\r\n" also where the pair falls across the buffer's end, and a
// lone "\r" stays alone; nothing is lost or doubled at the boundaries.
TEST(OutputStream, TextLineEndsSurviveTheBufferBoundary) {
    for (size_t shift = 0; shift < 4; ++shift) {
        SCOPED_TRACE("shift " + std::to_string(shift));
        TempDir dir;
        velm::OutStream* s = velm::out_open(dir.file("out"), true, -1);
        ASSERT_NE(s, nullptr);
        std::string in, want;
        auto put = [&](const std::string& text) {
            ASSERT_EQ(velm::out_write(s, text.data(), text.size()), text.size());
            in += text;
        };
        put(std::string(kStreamBuffer - 1 - shift, 'a'));  // the "\r\n" straddles the end
        put("\nb\rc\n");
        for (int i = 0; i < 3000; ++i) put("0x0123ABCD,  0x89ABCDEF,  \n     ");
        put(std::string(kStreamBuffer + 7, 'z'));  // a line longer than the buffer
        put("\n");
        EXPECT_EQ(velm::out_close(s, false), 0);
        EXPECT_EQ(stream_file(dir), crlf(in));
    }
}

// Paths that cannot become an output file: a directory, a directory spelled with a
// trailing separator, a missing directory, and the open input itself (which must come
// through untouched). A discarded device is closed, not removed.
TEST(OutputStream, PathsThatCannotBeCreatedAreRefusedUntouched) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    Bytes input = pattern(300, 8);
    dir.write("in.out", input);
    int fds = velm_check::open_descriptors();
    EXPECT_EQ(velm::out_open(dir.file("sub"), false, -1), nullptr);
    EXPECT_EQ(velm::out_open(dir.file("sub") + "/", false, -1), nullptr);
    EXPECT_EQ(velm::out_open(dir.file("missing/out"), false, -1), nullptr);
    EXPECT_EQ(velm::out_open("", false, -1), nullptr);

    int16_t h = -1;
    ASSERT_EQ(velm::in_open(dir.file("in.out"), &h), velm::InOpen::ok);
    EXPECT_EQ(velm::out_open(dir.file("in.out"), true, velm::in_descriptor(h)), nullptr);
    velm::in_close(h);
    std::string after = dir.read("in.out");
    EXPECT_EQ(Bytes(after.begin(), after.end()), input);

    velm::OutStream* s = velm::out_open(velm_check::null_device(), false, -1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(velm::out_write(s, "x", 1), 1u);
    EXPECT_EQ(velm::out_close(s, true), -1);
    EXPECT_TRUE(velm_check::null_device_intact());
    EXPECT_EQ(velm_check::open_descriptors(), fds);
}

// A console that cannot be written to is not reported, and it must not silence the
// runs that follow in the same process (tests and the fuzzer run the tool many times).
TEST(Console, AFailedConsoleDoesNotSilenceTheNextRun) {
    TempDir dir;
    const char* argv[] = {"c6x_velm", "x", nullptr};
    std::fflush(stdout);
    intptr_t saved = velm_check::stdout_to_file(dir.file("read-only"), false);
    ASSERT_NE(saved, -1);
    EXPECT_EQ(velm::run_tool(2, argv), 1);
    velm_check::restore_stdout(saved);
    velm_check::Capture next = velm_check::run_captured({"x"}, dir.file("console"));
    EXPECT_EQ(next.console, banner() + usage());
}

// Six thousand sections around the pass's edges, over several read-ahead windows and output
// buffers: contents of 1 to 40 bytes, most of them not whole words and each followed by
// other bytes; sections that count without contents (not stored) and that do not count
// (uninitialised); contents too large to be built in place, and contents taken again
// from long before. The image holds every record as the format gives it, whether the
// contents come from the input's mapping or, where it cannot be mapped, through its
// read-ahead window.
TEST(LongSectionTable, EveryRecordWhetherTheInputIsMappedOrRead) {
    Coff c;
    c.symbols = pattern(64, 5);  // room for the contents counted twice
    std::vector<velm_test::Record> records;
    unsigned valid = 0;
    for (uint32_t i = 0; i < 6000; ++i) {
        Section s;
        s.name = ".s";
        s.paddr = s.vaddr = 0x10000 * (i + 1);
        s.flags = i % 10 == 9 ? 0 : (i % 2 == 0 ? 0x20 : 0x40);
        if (i == 3000) {  // section 5's contents: its offset is set once the file is laid out
            s.size = static_cast<uint32_t>(c.sections[5].data.size());
            s.scnptr = 0;
            records.push_back(velm_test::section_record("", "", s.vaddr, c.sections[5].data));
        } else if (i % 10 == 7 || i % 10 == 8) {
            s.flags = i % 10 == 7 ? 0x80 : 0x40;
            s.size = 64;
        } else {
            s.data = pattern(i == 1000 ? 5000 : 1 + (i * 7) % 40, i);
            records.push_back(velm_test::section_record("", "", s.vaddr, s.data));
        }
        valid += s.flags != 0x80;
        c.sections.push_back(s);
    }
    c.sections[3000].scnptr = velm_test::le32_at(build_coff(c), 22 + 28 + 5 * 48 + 20);

    TempDir dir;
    dir.write("app.out", build_coff(c));
    const Bytes expected = velm_test::binary_file(records);
    for (bool mapped : {true, false}) {
        SCOPED_TRACE(mapped ? "mapped" : "read");
        velm::io_fail_arm(IoOp::in_map, mapped ? 0 : 1);
        velm_check::Capture run = velm_check::run_captured(
            {dir.file("app.out"), dir.file("app.bin"), "-b"}, dir.file("console.txt"));
        velm::io_fail_arm(IoOp::in_map, 0);
        EXPECT_EQ(run.status, 0) << run.console;
        EXPECT_NE(run.console.find(velm_test::fmt("(valid sections: %u)", valid)),
                  std::string::npos);
        std::string image;
        ASSERT_TRUE(velm_check::read_whole(dir.file("app.bin"), &image));
        EXPECT_TRUE(image == std::string(expected.begin(), expected.end()));
        velm_check::remove_file(dir.file("app.bin"));
    }
}
