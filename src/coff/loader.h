// Opening, validating and loading a COFF2 input file.
#ifndef C6X_VELM_COFF_LOADER_H
#define C6X_VELM_COFF_LOADER_H

#include <cstdint>

#include "core/status.h"

namespace velm {

constexpr int64_t kMinInputLength = 70;  // file header + one section header
constexpr int64_t kMaxInputLength = 0x400000;

// Opens run_state.in_typed (resolved on disk), validates the file header, optional
// header and section table, and loads them into run_state. The checks run in a fixed
// order so that a file with several faults always reports the same one. Whatever was
// acquired stays recorded in run_state for the driver to release, also on failure.
Status load_coff_input();

}  // namespace velm

#endif
