// One run of the tool, from banner to exit status.
#ifndef C6X_VELM_DRIVER_RUN_H
#define C6X_VELM_DRIVER_RUN_H

#include <cstdint>
#include <string>

#include "core/status.h"
#include "platform/stream.h"

namespace velm {

// Runs the tool on argv[1..argc-1] (argv[0], the tool's own name, is not used) and
// returns the exit status: 0 after a conversion or listing, 1 after a usage fault or any
// failure. Starts from a fresh run state and leaves nothing open or allocated, so tests
// and fuzzers may call it repeatedly in one process.
int run_tool(int argc, const char* const* argv);

// The conversion alone, for a program that another tool has open as `held` (velm_dump
// --diff): the same load, checks and pass as `c6x_velm PROGRAM IMAGE -b`, its BINARY
// image handed to `sink` in blocks, in order. No console text, no file, no progress line,
// no interrupt handling. Returns the status the tool would end with, and its message line
// ("error: invalid COFF CINIT table data") in *message, empty for kOk; after a failure the
// image handed over is incomplete. Like run_tool, it starts from a fresh run state and
// leaves nothing open or allocated; `label` stands for the file's name.
Status convert_held_program(intptr_t held, const std::string& label, BlockSink sink, void* ctx,
                            std::string* message);

}  // namespace velm

#endif
