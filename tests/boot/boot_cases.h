// The inputs of the loader's round trip. make_boot_inputs writes each one as NAME.out,
// converts it with c6x_velm into NAME.c (TEXT) and NAME.bin (BINARY), and writes
// boot_images.c, which compiles every NAME.c into the test under its own array name.
#ifndef C6X_VELM_TESTS_BOOT_BOOT_CASES_H
#define C6X_VELM_TESTS_BOOT_BOOT_CASES_H

#include <cstdint>
#include <string>
#include <vector>

#include "support/coff_builder.h"

namespace velm_boot_test {

struct Load {
    uint32_t address;
    velm_test::Bytes data;
};

struct BootCase {
    std::string name;  // a C identifier: it names the compiled-in array too
    velm_test::Coff coff;
    std::vector<Load> cinit;  // the entries of the expanded .cinit table, in order
};

std::vector<BootCase> boot_cases();

}  // namespace velm_boot_test

#endif
