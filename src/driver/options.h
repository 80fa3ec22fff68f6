// Command-line words.
#ifndef C6X_VELM_DRIVER_OPTIONS_H
#define C6X_VELM_DRIVER_OPTIONS_H

#include <cstdint>
#include <string>

namespace velm {

constexpr int16_t kOptionHelp = 1;       // -?
constexpr int16_t kOptionDirectory = 2;  // -d
constexpr int16_t kOptionBinary = 3;     // -b

// 1, 2 or 3 for the option words -?, -D and -B in any letter case (whole-word match);
// kBadOption for anything else, which the driver then takes as a path.
int16_t classify_option(const std::string& argument);

// Appends `extension` when the last component of `path` has no '.'. Only a backslash
// ends a component here, as on the tool's original platform: "build.2/boot" keeps its
// name because the dot before the slash counts.
void add_default_extension(std::string* path, const char* extension);

// Upper-cases the letters a to z in place; every other byte is unchanged. The printed
// paths and the option words are upper-cased this way, as the original platform did.
void upper_case(std::string* text);

// Prints the usage text.
void print_usage();

}  // namespace velm

#endif
