/* The straightforward TEXT data writer the benchmark compares against: reads raw section
 * bytes and prints each little-endian data word with one fprintf call, in the tool's
 * layout (four words to a line, CR LF line ends, five spaces of indent).
 *
 *   fprintf_words SECTION.bin OUTPUT
 */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: fprintf_words SECTION.bin OUTPUT\n");
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (in == NULL) {
        perror(argv[1]);
        return 1;
    }
    fseek(in, 0, SEEK_END);
    long size = ftell(in);
    fseek(in, 0, SEEK_SET);
    unsigned char* bytes = malloc(size > 0 ? (size_t)size : 1);
    if (bytes == NULL || fread(bytes, 1, (size_t)size, in) != (size_t)size) {
        perror(argv[1]);
        return 1;
    }
    fclose(in);

    FILE* out = fopen(argv[2], "wb");
    if (out == NULL) {
        perror(argv[2]);
        return 1;
    }
    unsigned long words = (unsigned long)size / 4;
    unsigned long rest = (unsigned long)size % 4;
    for (unsigned long i = 0; i < words; ++i) {
        const unsigned char* p = bytes + 4 * i;
        unsigned int w = p[0] | (p[1] << 8) | (p[2] << 16) | ((unsigned int)p[3] << 24);
        int line_end = i % 4 == 3 || (i + 1 == words && rest == 0);
        fprintf(out, line_end ? "0x%08X,  \r\n     " : "0x%08X,  ", w);
    }
    if (rest != 0) {
        unsigned int w = 0;
        for (unsigned long k = 0; k < rest; ++k) w |= (unsigned int)bytes[4 * words + k] << (8 * k);
        fprintf(out, "0x%08X,\r\n     ", w);
    }
    free(bytes);
    if (fclose(out) != 0) {
        perror(argv[2]);
        return 1;
    }
    return 0;
}
