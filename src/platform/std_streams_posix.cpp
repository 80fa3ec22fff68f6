#include "platform/std_streams.h"

namespace velm {

// POSIX streams never translate bytes.
void std_streams_binary() {}

}  // namespace velm
