// Inputs whose images exercise every part of the record stream, for the round trips
// from a COFF file through c6x_velm and back: velm_dump's reader, velm_boot's loader.
#ifndef C6X_VELM_TESTS_SUPPORT_ROUNDTRIP_INPUTS_H
#define C6X_VELM_TESTS_SUPPORT_ROUNDTRIP_INPUTS_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "support/coff_builder.h"

namespace velm_test {

// Bytes at an address: a record's contents, as DSP memory receives them.
struct Placed {
    uint32_t address;
    Bytes data;
};
bool operator==(const Placed& a, const Placed& b);
void PrintTo(const Placed& p, std::ostream* os);

struct RoundTripInput {
    std::string name;  // a C identifier: it names files and compiled-in arrays too
    Coff coff;
    std::vector<Placed> cinit;  // the entries of its expanded .cinit table, in order
};
void PrintTo(const RoundTripInput& input, std::ostream* os);

std::vector<RoundTripInput> roundtrip_inputs();

}  // namespace velm_test

#endif
