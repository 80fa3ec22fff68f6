// Writes the bundled example COFF2 program: make_example <path>.
#include <cstdio>

#include "support/coff_builder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example OUTPUT\n");
        return 2;
    }
    velm_test::Bytes bytes = velm_test::build_coff(velm_test::example_program());
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
