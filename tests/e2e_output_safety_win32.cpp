// The output safety rules against what Windows adds: a write that fails on a pipe whose
// reader has gone, an output that another program holds open without sharing, the NUL
// device, and the many spellings under which Windows finds the input again.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

using namespace velm_test;

namespace {

std::wstring wide(const std::string& s) {
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    w.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return w;
}

// A named pipe whose reader goes away as soon as the tool connects: every write the
// tool makes after that fails, and one that waits for room in the pipe is failed then.
class VanishingReader {
  public:
    explicit VanishingReader(const std::string& name) {
        server_ = ::CreateNamedPipeW(wide(name).c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
        connected_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        reader_ = std::thread([this] {
            OVERLAPPED wait = {};
            wait.hEvent = connected_;
            if (!::ConnectNamedPipe(server_, &wait) && ::GetLastError() == ERROR_IO_PENDING &&
                ::WaitForSingleObject(connected_, 20000) != WAIT_OBJECT_0) {
                ::CancelIo(server_);
                return;
            }
            ::DisconnectNamedPipe(server_);
        });
    }
    ~VanishingReader() {
        reader_.join();
        ::CloseHandle(connected_);
        ::CloseHandle(server_);
    }
    bool ok() const { return server_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE server_ = INVALID_HANDLE_VALUE;
    HANDLE connected_ = nullptr;
    std::thread reader_;
};

}  // namespace

// --- write failures are reported in both encodings ---

// The first section is far larger than the pipe and the output buffer, so the failure
// comes while it is written and ends the pass at once. A pipe is not a file: nothing is
// removed.
TEST(OutputSafety, WriteFailureOnAPipeStopsThePass) {
    Coff coff;
    coff.entry = 0x400;
    coff.sections.push_back(sec(".text", 0x20, 0x400, pattern(2 * 1024 * 1024, 3)));
    coff.sections.push_back(sec(".data", 0x40, 0x80000000, pattern(16, 4)));
    for (const char* option : {"", "-b"}) {
        SCOPED_TRACE(option);
        TempDir dir;
        dir.write("app.out", build_coff(coff));
        const std::string name =
            "\\\\.\\pipe\\c6x_velm_test_out_" + std::to_string(::GetCurrentProcessId()) + option;
        VanishingReader reader(name);
        ASSERT_TRUE(reader.ok());
        std::vector<std::string> args = {"app", name};
        if (*option) args.push_back(option);
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, failed(1, kMsgWrite));
        EXPECT_EQ(dir.snapshot().size(), 1u);
    }
}

// --- how an output is replaced ---

// A file with another hard link is replaced under the name given (ReplaceFileW); the
// other name keeps the old contents. A run that fails changes neither.
TEST(OutputSafety, HardLinkedOutputIsReplacedUnderTheNameGiven) {
    TempDir dir;
    dir.write("good.out", build_coff(small_program()));
    dir.write("bad.out", build_coff(damaged_cinit_program()));
    dir.write("t.c", std::string("x\n"));
    ASSERT_TRUE(
        ::CreateHardLinkW(wide(dir.file("h.c")).c_str(), wide(dir.file("t.c")).c_str(), nullptr));
    std::map<std::string, std::string> files = dir.snapshot();
    EXPECT_EQ(run_in(dir.path(), {"bad.out", "T.C", "-b"}).out, failed(5, kMsgCinit));
    EXPECT_EQ(dir.snapshot(), files);
    EXPECT_EQ(run_in(dir.path(), {"good.out", "t.c", "-b"}).exit_status, 0);
    EXPECT_EQ(run_in(dir.path(), {"good.out", "new.c", "-b"}).exit_status, 0);
    files["t.c"] = files["new.c"] = dir.read("new.c");
    EXPECT_EQ(dir.snapshot(), files);
}

// --- the output never destroys the input, nor a file held by another program ---

// Windows finds a file under other names too: another letter case, a trailing dot or
// space (dropped by the system), and a hard link. Each is the input itself.
TEST(OutputSafety, InputUnderAnotherNameIsRefused) {
    const Bytes input = build_coff(small_program());
    const std::vector<std::vector<std::string>> runs = {
        {"app.out", "APP.OUT"},  {"app", "App.Out", "-b"}, {"app.out", "app.out."},
        {"app.out", "app.out "}, {"app.out", "hard.out"},  {"app", "HARD.OUT", "-b"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        TempDir dir;
        dir.write("app.out", input);
        ASSERT_TRUE(::CreateHardLinkW(wide(dir.file("hard.out")).c_str(),
                                      wide(dir.file("app.out")).c_str(), nullptr));
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, banner() + failure(kMsgCreate));
        EXPECT_EQ(dir.snapshot(), (std::map<std::string, std::string>{
                                      {"app.out", as_text(input)}, {"hard.out", as_text(input)}}));
    }
}

// An output that another program holds open without sharing cannot be created; it is
// neither truncated nor removed.
TEST(OutputSafety, OutputHeldOpenWithoutSharingIsLeftAlone) {
    for (const auto& args : kBothEncodings) {
        SCOPED_TRACE(args.size());
        TempDir dir;
        dir.write("app.out", build_coff(small_program()));
        dir.write("app.c", std::string("held\n"));
        HANDLE held = ::CreateFileW(wide(dir.file("app.c")).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        RunResult r = run_in(dir.path(), args);
        ::CloseHandle(held);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, banner() + failure(kMsgCreate));
        EXPECT_EQ(dir.read("app.c"), "held\n");
    }
}

// NUL takes the whole image; a device is written to, never truncated or removed.
TEST(OutputSafety, NulDeviceTakesTheImage) {
    const Coff coff = small_program();
    for (const char* device : {"NUL", "nul"}) {
        for (bool binary : {false, true}) {
            TempDir dir;
            dir.write("app.out", build_coff(coff));
            std::vector<std::string> args = {"app", device};
            if (binary) args.push_back("-b");
            RunResult r = run_in(dir.path(), args);
            EXPECT_EQ(r.exit_status, 0) << device;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out, converted(3, summary("APP.OUT", "NUL", binary, 3, 2, 0x400)));
            EXPECT_EQ(dir.snapshot().size(), 1u);
        }
    }
}
