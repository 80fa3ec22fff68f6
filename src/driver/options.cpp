#include "driver/options.h"

#include "core/status.h"
#include "platform/stream.h"

namespace velm {

void upper_case(std::string* text) {
    for (char& c : *text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
}

int16_t classify_option(const std::string& argument) {
    std::string word = argument;
    upper_case(&word);
    if (word == "-?") return kOptionHelp;
    if (word == "-D") return kOptionDirectory;
    if (word == "-B") return kOptionBinary;
    return kBadOption;
}

void add_default_extension(std::string* path, const char* extension) {
    size_t slash = path->rfind('\\');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (path->find('.', start) == std::string::npos) path->append(extension);
}

void print_usage() {
    console_write(
        "usage:  C6X_VELM in_file[.OUT] out_file [-b]\n"
        "        C6X_VELM in_file[.OUT] -d\n\n"
        "options:\n"
        "        -b  - creates BINARY-VELM output file instead of TEXT-VELM file\n"
        "        -d  - display COFF file directory, do not convert file data\n\n");
}

}  // namespace velm
