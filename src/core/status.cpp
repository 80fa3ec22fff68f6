#include "core/status.h"

#include <cstdio>

namespace velm {

namespace {

struct Entry {
    Status code;
    const char* text;
};

// The complete table; texts are the tool's fixed wording (including its spelling).
constexpr Entry kTable[] = {
    {kUnsupportedElf, "unsupported ELF file (little-endian C6000 executables only)"},
    {kBadElfFormat, "invalid ELF file format"},
    {kCannotCreateOutput, "unable to create output VELM file"},
    {kBadCinitTable, "invalid COFF CINIT table data"},
    {kBadSectionFormat, "invalid COFF section format"},
    {kBadFileFormat, "invalid COFF file format"},
    {kBadDataLength, "invalid section data length"},
    {kAddressRangeExceeded, "section data exceed the permitted address range"},
    {kAddressOutOfRange, "data address is out of range"},
    {kUserTerminated, "user terminated"},
    {kOutOfMemory, "out of memory"},
    {kInputNotFound, "input COFF file not found"},
    {kBadFileLength, "invalid COFF file length"},
    {kBadOption, "invalid command line option"},
    {kDuplicateOption, "duplicate or ambigious command line options"},
    {kBadOptionValue, "invalid value of command line option"},
    {kUnexpectedEof, "unexpected end of file"},
    {kWriteError, "error writing to output VELM file"},
    {kReadError, "error reading input COFF file"},
};

const Entry* find(Status code) {
    for (const Entry& e : kTable) {
        if (e.code == code) return &e;
    }
    return nullptr;
}

}  // namespace

void status_message(int32_t code, std::string* line) {
    line->clear();
    Status s = static_cast<Status>(code);
    if (s == kOk) return;
    if (s == kUserTerminated) {
        *line = "user terminated";
        return;
    }
    if (const Entry* e = find(s)) {
        *line = std::string("error: ") + e->text;
        return;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "error: #%i (call Kestrane Systems Ltd)", static_cast<int>(s));
    *line = buf;
}

}  // namespace velm
