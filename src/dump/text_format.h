// printf-style formatting into a std::string, of any length.
#ifndef C6X_VELM_DUMP_TEXT_FORMAT_H
#define C6X_VELM_DUMP_TEXT_FORMAT_H

#include <string>

namespace velm::dump {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
format(const char* fmt, ...);

}  // namespace velm::dump

#endif
