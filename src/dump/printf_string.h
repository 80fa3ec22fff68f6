// printf-style formatting into a std::string of any length: velm_dump builds its output
// texts as strings, so that tests can check them whole.
#ifndef C6X_VELM_DUMP_PRINTF_STRING_H
#define C6X_VELM_DUMP_PRINTF_STRING_H

#include <string>

namespace velm::dump {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
format(const char* fmt, ...);

}  // namespace velm::dump

#endif
