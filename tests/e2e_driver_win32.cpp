// The command line against what Windows adds: pipes and devices among the paths a user
// can type, and file names in any script, which reach the tool as UTF-8.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/simple_program.h"
#include "support/tool_runner.h"

namespace {

using namespace velm_test;

// The server end of a named pipe no one writes to: a tool that read from it would wait
// for ever, so after a few seconds the guard writes a byte to release it and notes that.
class IdlePipe {
  public:
    explicit IdlePipe(const std::string& name) : name_(name) {
        std::wstring wide(name.begin(), name.end());
        server_ = ::CreateNamedPipeW(wide.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE,
                                     PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
        guard_ = std::thread([this] {
            auto start = std::chrono::steady_clock::now();
            while (!done_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) continue;
                DWORD written = 0;
                if (::WriteFile(server_, "x", 1, &written, nullptr)) had_to_release_ = true;
                ::DisconnectNamedPipe(server_);
            }
        });
    }
    ~IdlePipe() {
        done_ = true;
        guard_.join();
        ::CloseHandle(server_);
    }
    bool ok() const { return server_ != INVALID_HANDLE_VALUE; }
    bool had_to_release() const { return had_to_release_; }

  private:
    std::string name_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
    std::atomic<bool> done_{false};
    std::atomic<bool> had_to_release_{false};
    std::thread guard_;
};

// With a dot in its last component, so that no ".OUT" is appended to it.
std::string pipe_name(const char* what) {
    return "\\\\.\\pipe\\c6x_velm_test." + std::string(what) + "_" +
           std::to_string(::GetCurrentProcessId());
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

}  // namespace

// A pipe has no length, and the tool decides so before reading: it never waits on one.
TEST(NotARegularFile, NamedPipeHasNoLengthAndDoesNotBlock) {
    TempDir dir;
    const std::string name = pipe_name("in");
    IdlePipe pipe(name);
    ASSERT_TRUE(pipe.ok());
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{name, "out.c"}, {name, "-d"}}) {
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1) << describe(args);
        EXPECT_EQ(r.out, failed(kMsgFileLength)) << describe(args);
        EXPECT_EQ(r.err, "") << describe(args);
    }
    EXPECT_FALSE(pipe.had_to_release()) << "the tool waited on the pipe";
    EXPECT_EQ(dir.snapshot(), Snapshot{});
}

// Device names are devices in every directory and with any letter case. The trailing
// dot keeps ".OUT" from being appended and is dropped by the system. NUL always exists;
// COM1 may be missing (not found) but is never read as a file.
TEST(NotARegularFile, DeviceNamesHaveNoLength) {
    TempDir dir;
    for (const char* device : {"NUL.", "nul.", "\\\\.\\NUL.", "COM1."}) {
        RunResult r = run_in(dir.path(), {device, "-d"});
        EXPECT_EQ(r.exit_status, 1) << device;
        if (std::string(device) == "COM1." && r.out == failed(kMsgNotFound)) continue;
        EXPECT_EQ(r.out, failed(kMsgFileLength)) << device;
        EXPECT_EQ(r.err, "") << device;
    }
    EXPECT_EQ(dir.snapshot(), Snapshot{});
}

// Names outside ASCII reach the tool intact (the manifest's UTF-8 code page) and are
// used as typed; only ASCII letters are upper-cased in what it prints.
TEST(Paths, NamesOutsideAsciiAreFoundAndCreated) {
    TempDir dir;
    const std::string in =
        "pr\xc3\xbc"
        "f\xe2\x82\xac";                             // "prüf€"
    const std::string out = "\xce\xb1\xce\xb2.bin";  // "αβ.bin"
    dir.write(in + ".out", simple_coff());
    RunResult r = run_in(dir.path(), {in, out, "-b"});
    EXPECT_EQ(r.exit_status, 0) << r.out;
    EXPECT_EQ(r.out, simple_summary(upper(in) + ".OUT", upper(out), "BINARY"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.snapshot(),
              (Snapshot{{in + ".out", as_text(simple_coff())}, {out, simple_binary()}}));
}
