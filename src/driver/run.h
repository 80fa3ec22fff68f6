// One run of the tool, from banner to exit status.
#ifndef C6X_VELM_DRIVER_RUN_H
#define C6X_VELM_DRIVER_RUN_H

namespace velm {

// Runs the tool on argv[1..argc-1] (argv[0], the tool's own name, is not used) and
// returns the exit status: 0 after a conversion or listing, 1 after a usage fault or any
// failure. Starts from a fresh run state and leaves nothing open or allocated, so tests
// and fuzzers may call it repeatedly in one process.
int run_tool(int argc, const char* const* argv);

}  // namespace velm

#endif
