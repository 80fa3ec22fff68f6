// The conversion pass: the section table, in order, into a VELM stream.
#ifndef C6X_VELM_WRITER_CONVERT_H
#define C6X_VELM_WRITER_CONVERT_H

#include "core/status.h"

namespace velm {

struct OutStream;

// Walks the loaded file's sections in order, as its reader describes them: writes one
// section record per section whose contents are loaded, one cinit record per entry of a
// .cinit table, and the end record; counts valid sections and prints the progress text
// per section to `progress` (the console; null for none). Stops at the first failure.
Status convert_sections(OutStream* progress);

}  // namespace velm

#endif
