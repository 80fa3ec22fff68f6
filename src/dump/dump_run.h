// One velm_dump command, from parsed options and file contents to the texts for standard
// output and standard error and the exit status. Pure: the caller reads the files and
// writes the results, so every mode is testable in-process.
#ifndef C6X_VELM_DUMP_DUMP_RUN_H
#define C6X_VELM_DUMP_DUMP_RUN_H

#include <string>
#include <vector>

#include "dump/dump_options.h"

namespace velm::dump {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;  // errors (or warnings with --strict); --diff: different
constexpr int kExitTrouble = 2;   // usage fault, unreadable file; --diff: a damaged image

struct DumpInput {
    std::string label;  // the file name as given, or "standard input" for "-"
    std::string bytes;
};

struct DumpResult {
    int status = kExitOk;
    std::string out;
    std::string err;
};

// `inputs` holds the contents of options.files, in order (none for --help and
// --version).
DumpResult run_dump(const DumpOptions& options, const std::vector<DumpInput>& inputs);

}  // namespace velm::dump

#endif
