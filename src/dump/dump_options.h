// velm_dump's command line, GNU style: long options anywhere among the operands, unique
// abbreviations accepted (--che for --check), "--" ends the options, "-" names standard
// input.
#ifndef C6X_VELM_DUMP_DUMP_OPTIONS_H
#define C6X_VELM_DUMP_DUMP_OPTIONS_H

#include <string>
#include <vector>

namespace velm::dump {

enum class Mode { list, check, json, diff, help, version };

struct DumpOptions {
    Mode mode = Mode::list;
    bool strict = false;
    std::vector<std::string> files;  // one, or two with --diff
};

// Reads the arguments after the program name. Returns "" on success, else the usage
// fault as GNU tools word it ("unrecognized option '--foo'", "missing operand", ...);
// the caller adds the program name and the pointer to --help. --help and --version end
// the reading where they stand.
std::string parse_dump_options(const std::vector<std::string>& args, DumpOptions* out);

std::string help_text();
std::string version_text();

}  // namespace velm::dump

#endif
