/* Host side of the build-integration example: firmware with a DSP boot image compiled
 * in. velm_boot checks the whole image, then hands each record to write_record, which
 * a real loader would make write the data into DSP memory at the record's address; this
 * one prints what it would load. */
#include <stdio.h>

#include "velm_boot.h"

/* The generated image is compiled into this file, so that its size is known here. */
#include "dsp_image.c"

#define IMAGE_WORDS (sizeof C6XXX_VELM_DATA / sizeof C6XXX_VELM_DATA[0])

struct totals {
    unsigned long records;
    unsigned long bytes;
};

static int write_record(void* ctx, uint32_t address, const unsigned int* data_words,
                        uint32_t byte_length) {
    struct totals* t = (struct totals*)ctx;
    (void)data_words;
    printf("load 0x%08lX %lu bytes\n", (unsigned long)address, (unsigned long)byte_length);
    ++t->records;
    t->bytes += byte_length;
    return 0;
}

int main(void) {
    struct totals t = {0, 0};
    struct velm_report report;
    int status = velm_check(C6XXX_VELM_DATA, IMAGE_WORDS, &report);
    if (status != VELM_OK) {
        fprintf(stderr, "host: damaged boot image, record %lu (word %lu): %s\n",
                (unsigned long)report.record, (unsigned long)report.word, velm_error_text(status));
        return 1;
    }
    status = velm_boot(C6XXX_VELM_DATA, IMAGE_WORDS, write_record, &t);
    if (status != VELM_OK) {
        fprintf(stderr, "host: loading failed (%d)\n", status);
        return 1;
    }
    printf("%lu records, %lu bytes\n", t.records, t.bytes);
    return 0;
}
