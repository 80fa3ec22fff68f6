#include "dump/dump_options.h"

#include <cstring>

namespace velm::dump {

namespace {

struct OptionWord {
    const char* name;
    Mode mode;    // the mode it selects (Mode::list for --strict)
    bool strict;  // true for --strict
};

constexpr OptionWord kOptions[] = {
    {"check", Mode::check, false}, {"json", Mode::json, false}, {"diff", Mode::diff, false},
    {"strict", Mode::list, true},  {"help", Mode::help, false}, {"version", Mode::version, false},
};

}  // namespace

std::string parse_dump_options(const std::vector<std::string>& args, DumpOptions* out) {
    *out = DumpOptions();
    const char* mode_word = nullptr;
    bool options_end = false;
    for (const std::string& arg : args) {
        if (options_end || arg == "-" || arg.empty() || arg[0] != '-') {
            out->files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        if (arg[1] != '-') return "invalid option -- '" + std::string(1, arg[1]) + "'";
        std::string name = arg.substr(2);
        bool has_value = false;
        if (size_t eq = name.find('='); eq != std::string::npos) {
            name.erase(eq);
            has_value = true;
        }
        // An exact name wins; otherwise a prefix of exactly one option name.
        const OptionWord* found = nullptr;
        std::string candidates;
        int matches = 0;
        for (const OptionWord& o : kOptions) {
            if (name == o.name) {
                found = &o;
                matches = 1;
                break;
            }
            if (!name.empty() && std::strncmp(o.name, name.c_str(), name.size()) == 0) {
                candidates += std::string(" '--") + o.name + "'";
                found = &o;
                ++matches;
            }
        }
        if (matches == 0) return "unrecognized option '" + arg + "'";
        if (matches > 1) return "option '--" + name + "' is ambiguous; possibilities:" + candidates;
        if (has_value)
            return std::string("option '--") + found->name + "' doesn't allow an argument";
        if (found->mode == Mode::help || found->mode == Mode::version) {
            out->mode = found->mode;
            out->files.clear();
            return "";
        }
        if (found->strict) {
            out->strict = true;
            continue;
        }
        if (mode_word != nullptr && out->mode != found->mode) {
            return std::string("options '--") + mode_word + "' and '--" + found->name +
                   "' cannot be used together";
        }
        mode_word = found->name;
        out->mode = found->mode;
    }
    const size_t wanted = out->mode == Mode::diff ? 2 : 1;
    if (out->files.empty()) return "missing operand";
    if (out->files.size() < wanted) return "missing operand after '" + out->files.back() + "'";
    if (out->files.size() > wanted) return "extra operand '" + out->files[wanted] + "'";
    return "";
}

std::string help_text() {
    return "Usage: velm_dump [--check | --json] [--strict] FILE\n"
           "  or:  velm_dump --diff [--strict] FILE_A FILE_B\n"
           "List the records of a VELM boot image (as written by c6x_velm), check that\n"
           "the image is complete and sound, or compare two images.\n"
           "\n"
           "FILE may hold either encoding, BINARY (raw little-endian words) or TEXT (the\n"
           "C source); the encoding is detected from the content. With FILE '-', read\n"
           "standard input.\n"
           "\n"
           "      --check     print nothing but the problems found\n"
           "      --json      print the records, summary and problems as JSON\n"
           "      --diff      compare FILE_A with FILE_B record by record, matched by\n"
           "                    address range; print added, removed and changed records.\n"
           "                    Either file may be a C6000 program (COFF2 or ELF): what\n"
           "                    is compared is the image c6x_velm makes of it\n"
           "      --strict    treat warnings (overlapping address ranges) as errors\n"
           "      --help      display this help and exit\n"
           "      --version   output version information and exit\n"
           "\n"
           "Problems go to standard error, one line each, naming the record and its\n"
           "position (byte offset in BINARY, line in TEXT).\n"
           "\n"
           "Exit status:\n"
           " 0  the image is sound (--diff: the images are equal)\n"
           " 1  the image has errors, or warnings with --strict (--diff: the images differ)\n"
           " 2  trouble: a usage error, a file that cannot be read, or a program (COFF2\n"
           "      or ELF) instead of an image (--diff: also an image with errors, or a\n"
           "      program c6x_velm refuses)\n";
}

std::string version_text() {
    return "velm_dump (c6x_velm) " VELM_DUMP_VERSION
           "\n"
           "Copyright (C) Kestrane Systems Ltd.\n";
}

}  // namespace velm::dump
