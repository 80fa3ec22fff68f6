// The tool's console texts, written out once for every test: the banner, the usage
// text, the erase sequence and the message line of every status code. They are the
// tool's fixed wording, typed here from its documentation rather than taken from the
// product, so a change to any of them fails a test.
#ifndef C6X_VELM_TESTS_SUPPORT_CONSOLE_TEXT_H
#define C6X_VELM_TESTS_SUPPORT_CONSOLE_TEXT_H

#include <cstdint>
#include <string>

namespace velm_test {

// The text with every "\n" turned into "\r\n", as the tool writes console and TEXT lines.
std::string crlf(const std::string& text);

// The console text of a run before its own output: the banner.
std::string banner();
// The usage text after the banner.
std::string usage();
// Carriage return, 79 spaces, carriage return.
std::string erase();
// What a failed run prints after the banner (and any progress): erase, message, empty line.
std::string failure(const std::string& message);

constexpr char kMsgElfUnsupported[] =
    "error: unsupported ELF file (little-endian C6000 executables only)";
constexpr char kMsgElfFormat[] = "error: invalid ELF file format";
constexpr char kMsgCreate[] = "error: unable to create output VELM file";
constexpr char kMsgCinit[] = "error: invalid COFF CINIT table data";
constexpr char kMsgSectionFormat[] = "error: invalid COFF section format";
constexpr char kMsgFormat[] = "error: invalid COFF file format";
constexpr char kMsgLength[] = "error: invalid section data length";
constexpr char kMsgRange[] = "error: section data exceed the permitted address range";
constexpr char kMsgAddress[] = "error: data address is out of range";
constexpr char kMsgTerminated[] = "user terminated";
constexpr char kMsgMemory[] = "error: out of memory";
constexpr char kMsgNotFound[] = "error: input COFF file not found";
constexpr char kMsgFileLength[] = "error: invalid COFF file length";
constexpr char kMsgOption[] = "error: invalid command line option";
constexpr char kMsgDuplicateOption[] = "error: duplicate or ambigious command line options";
constexpr char kMsgOptionValue[] = "error: invalid value of command line option";
constexpr char kMsgEndOfFile[] = "error: unexpected end of file";
constexpr char kMsgWrite[] = "error: error writing to output VELM file";
constexpr char kMsgRead[] = "error: error reading input COFF file";

// Every code of the table with its line, in the wording (and spelling) the tool has
// always printed.
struct MessageLine {
    int32_t code;
    const char* line;
};
inline constexpr MessageLine kMessageLines[] = {
    {-2041, kMsgElfUnsupported}, {-2040, kMsgElfFormat},     {-2030, kMsgCreate},
    {-2024, kMsgCinit},          {-2022, kMsgSectionFormat}, {-2021, kMsgFormat},
    {-2020, kMsgLength},         {-2019, kMsgRange},         {-2018, kMsgAddress},
    {-2016, kMsgTerminated},     {-2015, kMsgMemory},        {-2013, kMsgNotFound},
    {-2010, kMsgFileLength},     {-2008, kMsgOption},        {-2007, kMsgDuplicateOption},
    {-2006, kMsgOptionValue},    {-2004, kMsgEndOfFile},     {-1013, kMsgWrite},
    {-1012, kMsgRead},
};

}  // namespace velm_test

#endif
