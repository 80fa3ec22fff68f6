// Validating and loading a COFF2 input file.
#ifndef C6X_VELM_COFF_LOADER_H
#define C6X_VELM_COFF_LOADER_H

#include <cstdint>

#include "core/status.h"

namespace velm {

constexpr int64_t kMaxInputLength = 0x400000;  // the bound on a COFF2 file's length

// Validates a COFF2 input whose first 22 bytes (`file_header`, its file header) have been
// read from run_state.in_handle, and loads its optional header and section table into
// run_state. The checks run in a fixed order so that a file with several faults always
// reports the same one. Whatever was acquired stays recorded in run_state for the driver
// to release, also on failure.
Status load_coff_input(const uint8_t* file_header);

}  // namespace velm

#endif
