// The tool's version text, shown in the console banner and in the first comment line of
// every TEXT image.
#ifndef C6X_VELM_CORE_VERSION_H
#define C6X_VELM_CORE_VERSION_H

namespace velm {

constexpr char kToolVersion[] = "v.1.2W";

}  // namespace velm

#endif
