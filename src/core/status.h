// Status codes and their message lines.
//
// Every operation that can fail returns one of these codes at once; callers hand the
// first non-zero code up unchanged and only the driver turns it into a message line.
// A code is a signed 16-bit value: 0 is success, every failure is negative.
#ifndef C6X_VELM_CORE_STATUS_H
#define C6X_VELM_CORE_STATUS_H

#include <cstdint>
#include <string>

namespace velm {

using Status = int16_t;

constexpr Status kOk = 0;
constexpr Status kUnsupportedElf = -2041;
constexpr Status kBadElfFormat = -2040;
constexpr Status kCannotCreateOutput = -2030;
constexpr Status kBadCinitTable = -2024;
constexpr Status kBadSectionFormat = -2022;
constexpr Status kBadFileFormat = -2021;
constexpr Status kBadDataLength = -2020;
constexpr Status kAddressRangeExceeded = -2019;
constexpr Status kAddressOutOfRange = -2018;
constexpr Status kUserTerminated = -2016;
constexpr Status kOutOfMemory = -2015;
constexpr Status kInputNotFound = -2013;
constexpr Status kBadFileLength = -2010;
constexpr Status kBadOption = -2008;
constexpr Status kDuplicateOption = -2007;
constexpr Status kBadOptionValue = -2006;
constexpr Status kUnexpectedEof = -2004;
constexpr Status kWriteError = -1013;
constexpr Status kReadError = -1012;

// The message line for `code` (only its low 16 bits count): empty for 0, the table's
// text after "error: ", "user terminated" alone for -2016, and a numbered line for any
// code without an entry.
void status_message(int32_t code, std::string* line);

}  // namespace velm

#endif
