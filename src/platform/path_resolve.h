// Case-insensitive path resolution on a case-sensitive file system.
//
// The tool's paths come from a platform whose file names ignore letter case and accept
// both '/' and '\' as separators. resolve_path() maps a typed path onto the file system:
// every component is used with its typed spelling when an entry of exactly that name
// exists, else the first entry (in byte order) whose name matches ignoring ASCII case,
// else the typed spelling (so a new file is created as the user typed it).
#ifndef C6X_VELM_PLATFORM_PATH_RESOLVE_H
#define C6X_VELM_PLATFORM_PATH_RESOLVE_H

#include <string>

namespace velm {

std::string resolve_path(const std::string& typed);

// True when the path ends in '/' or '\': it names a directory, never a file.
bool names_directory(const std::string& typed);

}  // namespace velm

#endif
