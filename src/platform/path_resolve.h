// Typed paths onto a case-sensitive file system.
//
// The tool's paths come from a platform whose file names ignore letter case and accept
// both '/' and '\' as separators. The input is found as that platform would find it, so
// scripts written there keep working; the output is written exactly where the user names
// it, because matching it ignoring case would overwrite a file the user never named
// (`makefile` typed, `Makefile` destroyed).
//
// On Windows the file system itself ignores case and takes both separators, so there
// both functions return the typed path unchanged (path_resolve_win32.cpp).
#ifndef C6X_VELM_PLATFORM_PATH_RESOLVE_H
#define C6X_VELM_PLATFORM_PATH_RESOLVE_H

#include <string>

namespace velm {

// The input's on-disk spelling: every component is used with its typed spelling when an
// entry of exactly that name exists, else the first entry (in byte order) whose name
// matches ignoring ASCII case, else the typed spelling.
std::string resolve_path(const std::string& typed);

// The output's path: every component exactly as typed, only '\' read as a separator.
// Nothing on disk is consulted, so a directory typed in another case than it exists is
// simply missing.
std::string native_path(const std::string& typed);

// True when the path ends in '/' or '\': it names a directory, never a file.
bool names_directory(const std::string& typed);

}  // namespace velm

#endif
