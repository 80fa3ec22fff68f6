// Validating and loading an ELF executable (C6000 EABI).
#ifndef C6X_VELM_ELF_LOADER_H
#define C6X_VELM_ELF_LOADER_H

#include <cstdint>

#include "core/status.h"

namespace velm {

// The bound on an ELF file's length: debug builds are often far above the 4 MiB that
// bounds a COFF2 file, and every offset and size the tool takes from the file then fits
// in 31 bits.
constexpr int64_t kMaxElfLength = 0x7FFFFFFF;

// Validates an ELF input whose first `count` bytes (`first_bytes`) have been read from
// run_state.in_handle: reads the rest of the ELF header, the section and program header
// tables and the section name table, decides which sections are loaded and where, and
// checks that a small file cannot describe a large image. The checks run in a fixed
// order; kUnsupportedElf for a file that is not a little-endian 32-bit C6000 executable,
// kBadElfFormat for a damaged one. Whatever was acquired stays recorded in run_state for
// the driver to release, also on failure.
Status load_elf_input(const uint8_t* first_bytes, uint32_t count);

}  // namespace velm

#endif
