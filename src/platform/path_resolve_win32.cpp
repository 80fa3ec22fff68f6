#include "platform/path_resolve.h"

namespace velm {

// Windows looks names up ignoring letter case and takes both separators itself, so
// both paths go to the system as typed.
std::string resolve_path(const std::string& typed) {
    return typed;
}

std::string native_path(const std::string& typed) {
    return typed;
}

}  // namespace velm
