/* Host side of the build-integration example: firmware with a DSP boot image compiled
 * in. A real loader writes the data words of each record into DSP memory at the
 * record's address; this one walks the records and prints what it would load. */
#include <stdio.h>

/* Defined by the generated dsp_image.c. */
extern unsigned int C6XXX_VELM_DATA[];

#define SECTION_TAG 0x90003B09u
#define CINIT_TAG 0x90013B09u
#define END_TAG 0xFFFF3B09u

int main(void) {
    const unsigned int* w = C6XXX_VELM_DATA;
    unsigned long records = 0;
    unsigned long bytes = 0;
    for (;;) {
        unsigned int tag = w[0];
        unsigned int address = w[1];
        unsigned int length = w[2];
        if (tag == END_TAG) break;
        if (tag != SECTION_TAG && tag != CINIT_TAG) {
            fprintf(stderr, "host: unknown record tag 0x%08X\n", tag);
            return 1;
        }
        printf("%-7s 0x%08X %u bytes\n", tag == SECTION_TAG ? "section" : "cinit", address, length);
        ++records;
        bytes += length;
        w += 3 + (length + 3u) / 4u; /* header, then ceil(length / 4) data words */
    }
    printf("%lu records, %lu bytes\n", records, bytes);
    return 0;
}
