// One velm_dump command, from parsed options and opened sources to the texts for standard
// output and standard error and the exit status. The caller opens the files and owns the
// streams, so every mode also runs in-process on bytes in memory.
#ifndef C6X_VELM_DUMP_DUMP_RUN_H
#define C6X_VELM_DUMP_DUMP_RUN_H

#include <string>
#include <vector>

#include "dump/dump_format.h"
#include "dump/dump_options.h"
#include "dump/source.h"

namespace velm::dump {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;  // errors (or warnings with --strict); --diff: different
constexpr int kExitTrouble = 2;   // usage fault, unreadable file; --diff: a damaged image

// `sources` are options.files, opened, in order (none for --help and --version). The
// listing and JSON go out as the records are read (a TEXT image's once its list has
// ended: a syntax error before then voids them all); problems go to `err` at the end.
// --diff copies a source that cannot be read twice into a temporary file as it reads it.
int run_dump(const DumpOptions& options, const std::vector<Source*>& sources, OutSink* out,
             OutSink* err);

// The same on bytes in memory.
struct DumpInput {
    std::string label;  // the file name as given, or "standard input" for "-"
    std::string bytes;
};

struct DumpResult {
    int status = kExitOk;
    std::string out;
    std::string err;
};

DumpResult run_dump(const DumpOptions& options, const std::vector<DumpInput>& inputs);

}  // namespace velm::dump

#endif
