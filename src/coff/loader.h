// Opening, validating and loading a COFF2 input file.
#ifndef C6X_VELM_COFF_LOADER_H
#define C6X_VELM_COFF_LOADER_H

#include <cstdint>

#include "driver/status.h"

namespace velm {

constexpr int64_t kMinInputLength = 70;  // file header + one section header
constexpr int64_t kMaxInputLength = 0x400000;
constexpr int32_t kReadPiece = 0x8000;  // the largest single read request

// Opens run_state.in_typed (resolved on disk), validates the file header, optional
// header and section table, and loads them into run_state. The checks run in a fixed
// order so that a file with several faults always reports the same one. Whatever was
// acquired stays recorded in run_state for the driver to release, also on failure.
Status load_coff_input();

// Reads exactly `count` bytes at the current position in pieces of at most 32 KiB.
// kReadError when any piece comes back short or fails; bytes that arrived stay.
Status read_exact(int16_t handle, void* destination, int32_t count);

}  // namespace velm

#endif
