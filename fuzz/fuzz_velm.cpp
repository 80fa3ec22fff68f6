// libFuzzer target: the input bytes become the COFF input file, and the whole tool runs
// in this process on it three times (TEXT, BINARY, -d). After the runs every property of
// run_checks.h must hold; a broken one aborts, so libFuzzer keeps the input as a crash.
//
// The runs use absolute paths inside one private directory made at start-up; the
// process's working directory is left alone because libFuzzer writes its artifacts
// relative to it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/run_checks.h"

namespace {

std::string work_dir;

void remove_work_dir() {
    for (const std::string& name : velm_check::directory_names(work_dir)) {
        ::unlink((work_dir + "/" + name).c_str());
    }
    ::rmdir(work_dir.c_str());
}

const std::string& private_dir() {
    if (work_dir.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/velm_fuzz.XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        work_dir = buf.data();
        std::atexit(remove_work_dir);
    }
    return work_dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = private_dir();
    const std::string input = "in.out";
    if (!velm_check::write_whole(dir + "/" + input, data, size)) {
        std::perror("writing the fuzz input");
        std::abort();
    }
    velm_check::AllModes runs = velm_check::run_all_modes(dir, input);
    std::string why = velm_check::check_all(runs);
    if (!why.empty()) {
        std::fprintf(stderr, "\nbroken property: %s\n", why.c_str());
        std::fprintf(stderr, "TEXT exit %d, BINARY exit %d, listing exit %d\n",
                     runs.text.run.status, runs.binary.run.status, runs.listing.run.status);
        std::abort();
    }
    ::unlink((dir + "/" + input).c_str());
    return 0;
}
