#include "driver/run.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/run_state.h"
#include "core/status.h"
#include "core/version.h"
#include "driver/options.h"
#include "input/input.h"
#include "listing/listing.h"
#include "platform/input_file.h"
#include "platform/memory.h"
#include "platform/stream.h"
#include "writer/convert.h"
#include "writer/velm_writer.h"

namespace velm {

namespace {

// Carriage return, 79 spaces, carriage return: clears the progress line.
constexpr char kEraseLine[] =
    "\r                                                                               \r";

// Reads the command line into the run state. False for a usage fault.
bool parse_command_line(int argc, const char* const* argv) {
    RunState& rs = run_state;
    if (argc != 3 && argc != 4) return false;
    std::string first = argv[1];
    if (classify_option(first) != kBadOption) return false;

    // The typed spelling gets the extension too, so that "boot" finds boot.out (or
    // BOOT.OUT) on disk while the console shows BOOT.OUT. Whether it is added does not
    // depend on letter case, so upper-casing afterwards gives the printed path.
    rs.in_typed = first;
    add_default_extension(&rs.in_typed, ".OUT");
    rs.in_path = rs.in_typed;
    upper_case(&rs.in_path);

    std::string second = argv[2];
    int16_t option = classify_option(second);
    if (option == kOptionHelp || option == kOptionBinary) return false;
    if (option == kOptionDirectory) {
        rs.directory_only = 1;  // a third argument is not examined at all
        return true;
    }
    rs.out_typed = second;
    rs.out_path = second;
    upper_case(&rs.out_path);
    rs.binary_mode = 0;
    if (argc == 4) {
        if (classify_option(argv[3]) != kOptionBinary) return false;
        rs.binary_mode = 1;
    }
    return true;
}

void print_summary(const InputDescription& input) {
    const RunState& rs = run_state;
    console_write("COFF file        : ");
    console_write(rs.in_path);
    console_write("\nCOFF file format : ");
    console_write(input.format);
    console_write("\nVELM file        : ");
    console_write(rs.out_path);
    char line[128];
    std::snprintf(line, sizeof line,
                  "\nVELM file format : %s\nsections         : %u  (valid sections: %u)\n",
                  rs.binary_mode ? "BINARY" : "TEXT", static_cast<unsigned>(input.total_sections),
                  static_cast<unsigned>(rs.valid_sections));
    console_write(line);
    if (input.has_entry_point) {
        std::snprintf(line, sizeof line, "entry point      : 0x%X\n\n",
                      static_cast<unsigned>(input.entry_point));
        console_write(line);
    } else {
        console_write("\n");
    }
}

// Releases everything the load and the pass acquired, in its fixed order, and returns the
// run's status with the output's close folded in. The output is closed and checked in
// both encodings: a close that cannot write the last buffer is a write failure. Only a
// complete image takes the output's place; after a failure, or an interrupt, the output
// path holds what it held before, so no build ever picks up a half-written image and no
// failed run destroys a file.
Status release_run(Status status) {
    RunState& rs = run_state;
    block_free(rs.header_area);
    rs.header_area = nullptr;
    rs.opt_header = nullptr;
    rs.section_table = nullptr;
    rs.cur_section = nullptr;
    block_free(rs.elf_area);
    rs.elf_area = nullptr;
    rs.elf_section_table = nullptr;
    rs.elf_program_table = nullptr;
    block_free(rs.elf_load_map);
    rs.elf_load_map = nullptr;
    block_free(rs.elf_names);
    rs.elf_names = nullptr;
    block_free(rs.data_buffer);
    rs.data_buffer = nullptr;
    if (rs.in_handle != -1) {
        // Headers used in place read as zeros once another program cut them off the file:
        // the run then read nothing it could trust.
        if (status == kOk && !in_intact(rs.in_handle)) status = kReadError;
        in_close(rs.in_handle);
    }
    rs.in_handle = -1;
    if (rs.out_stream != nullptr) {
        int closed = out_close(rs.out_stream, status != kOk);
        rs.out_stream = nullptr;
        // An interrupt stops the pass with a failed write: it is what the run reports.
        if (closed == kOutInterrupted) {
            status = kUserTerminated;
        } else if (closed != 0 && status == kOk) {
            status = kWriteError;
        }
    }
    return status;
}

// Releases everything and reports the outcome: the message line, or the summary.
int end_of_run(Status status) {
    RunState& rs = run_state;
    console_write(kEraseLine);
    // A COFF2 file's entry point lives in the header area, which is released first: the
    // summary's values are read now. Reading them afterwards touches freed memory, and a
    // large section table is given back to the system at once, so the summary would crash.
    const InputDescription input = describe_input();
    status = release_run(status);
    if (status != kOk) {
        status_message(status, &rs.message_text);
        console_write(rs.message_text);
        console_write("\n\n");
        return 1;
    }
    if (!rs.directory_only) print_summary(input);
    return 0;
}

}  // namespace

int run_tool(int argc, const char* const* argv) {
    reset_run_state();
    console_write("\nTMS320C6xxx COFF-to-VELM File Conversion Utility. ");
    console_write(kToolVersion);
    console_write("\nCopyright (C) Kestrane Systems Ltd.\n\n");
    int exit_status;
    if (!parse_command_line(argc, argv)) {
        print_usage();
        exit_status = 1;
    } else {
        Status status = load_input();
        if (status == kOk) {
            if (run_state.directory_only) {
                list_directory();
            } else {
                status = open_output();
                if (status == kOk) status = convert_sections(console());
            }
        }
        exit_status = end_of_run(status);
    }
    console_flush();
    return exit_status;
}

Status convert_held_program(intptr_t held, const std::string& label, BlockSink sink, void* ctx,
                            std::string* message) {
    reset_run_state();
    RunState& rs = run_state;
    rs.in_typed = label;
    rs.in_path = label;
    rs.binary_mode = 1;
    Status status = load_held_input(held);
    if (status == kOk) status = open_output_into(out_open_sink(false, sink, ctx));
    if (status == kOk) status = convert_sections(nullptr);
    status = release_run(status);
    status_message(status, message);
    reset_run_state();
    return status;
}

}  // namespace velm
