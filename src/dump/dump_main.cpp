// velm_dump: lists, checks and compares VELM boot images. The work is done by run_dump;
// this file only reads the files and writes the results.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "dump/dump_options.h"
#include "dump/dump_run.h"
#include "platform/std_streams.h"

namespace {

// Far above the largest image c6x_velm can write (a 4 MiB input gives about 20 MiB of
// TEXT), and a bound on what a mistaken argument can make the tool swallow.
constexpr size_t kMaxInput = 256u << 20;

// Reads a whole file ("-": standard input). Returns "" or the reason it failed.
std::string read_input(const std::string& path, std::string* bytes) {
    std::FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        // Windows refuses to open a directory ("Permission denied") where POSIX opens it
        // and fails the read: both say what it is.
        int error = errno;
        std::error_code ec;
        if (std::filesystem::is_directory(std::filesystem::u8path(path), ec)) error = EISDIR;
        return std::strerror(error);
    }
    std::string reason;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes->size() + n > kMaxInput) {
            reason = "file too large (more than 256 MiB)";
            break;
        }
        bytes->append(buf, n);
    }
    if (reason.empty() && std::ferror(f)) reason = std::strerror(errno);
    if (f != stdin) std::fclose(f);
    return reason;
}

bool write_all(std::FILE* f, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), f) == text.size();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velm::dump;
    velm::std_streams_binary();
    std::vector<std::string> args(argv + 1, argv + argc);
    DumpOptions options;
    std::string fault = parse_dump_options(args, &options);
    if (!fault.empty()) {
        std::fprintf(stderr, "velm_dump: %s\nTry 'velm_dump --help' for more information.\n",
                     fault.c_str());
        return kExitTrouble;
    }
    std::vector<DumpInput> inputs;
    for (const std::string& path : options.files) {
        DumpInput in;
        in.label = path == "-" ? "standard input" : path;
        std::string reason = read_input(path, &in.bytes);
        if (!reason.empty()) {
            std::fprintf(stderr, "velm_dump: %s: %s\n", in.label.c_str(), reason.c_str());
            return kExitTrouble;
        }
        inputs.push_back(std::move(in));
    }
    DumpResult result = run_dump(options, inputs);
    bool written = write_all(stdout, result.out) && std::fflush(stdout) == 0;
    write_all(stderr, result.err);
    if (!written) {
        std::fprintf(stderr, "velm_dump: write error: %s\n", std::strerror(errno));
        return kExitTrouble;
    }
    return result.status;
}
