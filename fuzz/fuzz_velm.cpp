// libFuzzer target: the input bytes become the COFF input file, and the whole tool runs
// in this process on it three times (TEXT, BINARY, -d). After the runs every property of
// run_checks.h must hold; a broken one aborts, so libFuzzer keeps the input as a crash.
//
// The runs use absolute paths inside one private directory made at start-up; the
// process's working directory is left alone because libFuzzer writes its artifacts
// relative to it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run_checks.h"

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

uint32_t le(const uint8_t* data, size_t size, size_t at, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | (at + i < size ? data[at + i] : 0);
    return v;
}

// Bytes of section contents a conversion would copy. The loader holds code and data
// sections to the file's length in total, but sections flagged 0 are exempt and may
// overlap: a 48 KiB input with a thousand of them makes 36 MB of C source, and a 4 MiB
// one could make terabytes. Such inputs only run the same record loop over and over at
// great cost, so they are skipped, and libFuzzer (told so by -1) does not keep them.
uint64_t converted_bytes(const uint8_t* data, size_t size) {
    uint32_t nscns = le(data, size, 2, 2);
    uint32_t table = 22 + (le(data, size, 16, 2) != 0 ? 28 : 0);
    uint64_t total = 0;
    for (uint32_t i = 0; i < nscns && table + uint64_t{i} * 48 + 48 <= size; ++i) {
        size_t at = table + size_t{i} * 48;
        uint64_t s_size = le(data, size, at + 16, 4);
        uint64_t scnptr = le(data, size, at + 20, 4);
        uint32_t flags = le(data, size, at + 40, 4);
        if (scnptr == 0 || (flags != 0 && (flags & 0x60) == 0)) continue;
        // A read past the end of the file stops the run there: only what is there counts.
        total += scnptr >= size ? 0 : std::min<uint64_t>(s_size, size - scnptr);
    }
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (converted_bytes(data, size) > size + (1u << 20)) return -1;
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
