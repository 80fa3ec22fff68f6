/* The TEXT images of the round-trip inputs, compiled into the test: boot_images.c,
 * written at build time, includes every generated image under its own array name and
 * lists them here. */
#ifndef C6X_VELM_TESTS_BOOT_BOOT_TEXT_IMAGES_H
#define C6X_VELM_TESTS_BOOT_BOOT_TEXT_IMAGES_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct boot_text_image {
    const char* name;
    const unsigned int* words;
    size_t word_count;
};

extern const struct boot_text_image boot_text_images[];
extern const size_t boot_text_image_count;

#ifdef __cplusplus
}
#endif

#endif
