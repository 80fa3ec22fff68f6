#include "support/console_text.h"

namespace velm_test {

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string banner() {
    return crlf(
        "\nTMS320C6xxx COFF-to-VELM File Conversion Utility. v.1.2W\n"
        "Copyright (C) Kestrane Systems Ltd.\n\n");
}

std::string usage() {
    return crlf(
        "usage:  C6X_VELM in_file[.OUT] out_file [-b]\n"
        "        C6X_VELM in_file[.OUT] -d\n\n"
        "options:\n"
        "        -b  - creates BINARY-VELM output file instead of TEXT-VELM file\n"
        "        -d  - display COFF file directory, do not convert file data\n\n");
}

std::string erase() {
    return "\r" + std::string(79, ' ') + "\r";
}

std::string failure(const std::string& message) {
    return erase() + crlf(message + "\n\n");
}

}  // namespace velm_test
