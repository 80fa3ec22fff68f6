// The conversion pass: the section table, in order, into a VELM stream.
#ifndef C6X_VELM_WRITER_CONVERT_H
#define C6X_VELM_WRITER_CONVERT_H

#include "core/status.h"

namespace velm {

// Writes one section record per valid section stored in the file, one cinit record per
// entry of a .cinit copy section, and the end record; counts valid sections and prints
// the progress text per section. Stops at the first failure.
Status convert_sections();

}  // namespace velm

#endif
