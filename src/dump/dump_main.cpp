// velm_dump: lists, checks and compares VELM boot images. The work is done by run_dump;
// this file only opens the files and connects the output streams.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dump/dump_options.h"
#include "dump/dump_run.h"
#include "platform/dump_files.h"
#include "platform/std_streams.h"

namespace {

bool write_stream(void* ctx, const char* p, size_t n, std::string* error) {
    std::FILE* f = static_cast<std::FILE*>(ctx);
    if (std::fwrite(p, 1, n, f) == n) return true;
    *error = std::strerror(errno);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velm::dump;
    velm::std_streams_binary();
    // velm_dump writes in blocks of its own; a write error shows at once.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::vector<std::string> args(argv + 1, argv + argc);
    DumpOptions options;
    std::string fault = parse_dump_options(args, &options);
    if (!fault.empty()) {
        std::fprintf(stderr, "velm_dump: %s\nTry 'velm_dump --help' for more information.\n",
                     fault.c_str());
        return kExitTrouble;
    }
    std::vector<Source> sources;
    sources.reserve(options.files.size());
    for (const std::string& path : options.files) {
        velm::DumpFile file;
        std::string reason;
        if (path == "-") {
            file = velm::dump_stdin();
        } else if (!velm::dump_open(path, &file, &reason)) {
            std::fprintf(stderr, "velm_dump: %s: %s\n", path.c_str(), reason.c_str());
            for (Source& s : sources) close_source(&s);
            return kExitTrouble;
        }
        sources.push_back(file_source(path == "-" ? "standard input" : path, file));
    }
    std::vector<Source*> pointers;
    for (Source& s : sources) pointers.push_back(&s);
    std::unique_ptr<OutSink> out(new OutSink);
    std::unique_ptr<OutSink> err(new OutSink);
    out->write = write_stream;
    out->ctx = stdout;
    err->write = write_stream;
    err->ctx = stderr;
    int status = run_dump(options, pointers, out.get(), err.get());
    const bool written = flush(out.get());
    flush(err.get());
    for (Source& s : sources) close_source(&s);
    if (!written) {
        std::fprintf(stderr, "velm_dump: write error: %s\n", out->error.c_str());
        return kExitTrouble;
    }
    return status;
}
