#include "platform/path_resolve.h"

namespace velm {

bool names_directory(const std::string& typed) {
    return !typed.empty() && (typed.back() == '/' || typed.back() == '\\');
}

}  // namespace velm
