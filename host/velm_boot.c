/* SPDX-License-Identifier: MIT */
/* velm_boot: the check and the walk over a VELM boot image (see velm_boot.h). */
#include "velm_boot.h"

#ifndef VELM_BOOT_PIECE_WORDS
#define VELM_BOOT_PIECE_WORDS 64
#endif

/* A TEXT image is an `unsigned int` array whose initializers are 32-bit values: it only
 * compiles as an image where unsigned int holds 32 bits. */
typedef char velm_boot_unsigned_int_holds_32_bits[((unsigned int)-1 >= 0xFFFFFFFFul) ? 1 : -1];
typedef char velm_boot_piece_holds_a_word[(VELM_BOOT_PIECE_WORDS >= 1) ? 1 : -1];

/* One image in either encoding: `words` for TEXT, `bytes` for BINARY (the other NULL).
 * `word_count` counts the whole words; `stray` is the 0 to 3 bytes of a BINARY image
 * after its last whole word. */
struct image {
    const unsigned int* words;
    const unsigned char* bytes;
    size_t word_count;
    size_t stray;
};

/* Word `i` (below word_count). BINARY words are decoded byte by byte: the image may sit
 * at any alignment, and the host may be big-endian. */
static uint32_t word_at(const struct image* im, size_t i) {
    const unsigned char* p;
    if (im->words != NULL) return (uint32_t)im->words[i];
    p = im->bytes + 4 * i;
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

/* Data words of a section or cinit record of `length` bytes. */
static uint32_t data_words(uint32_t length) {
    return length / 4 + (length % 4 != 0 ? 1 : 0);
}

/* Walks the records up to the end record or the first fault. The checks run in header
 * order (tag, then address and length, then the data's presence), so that a damaged
 * image always reports the same fault. `left` words are still ahead, and no word is read
 * before `left` shows it is there, so nothing outside the image is read. */
static int check(const struct image* im, struct velm_report* report) {
    size_t at = 0;
    size_t record = 0;
    int error;
    for (;;) {
        const size_t left = im->word_count - at;
        uint32_t tag;
        uint32_t length;
        if (left == 0) {
            /* Stray bytes here are the start of a header that is cut short. */
            error = im->stray != 0 ? VELM_ERR_TRUNCATED : VELM_ERR_NO_END;
            break;
        }
        tag = word_at(im, at);
        if (velm_check_record(tag, 0, 0) == VELM_ERR_UNKNOWN_TAG) {
            error = VELM_ERR_UNKNOWN_TAG;
            break;
        }
        if (left < 3) {
            error = VELM_ERR_TRUNCATED;
            break;
        }
        length = word_at(im, at + 2);
        error = velm_check_record(tag, word_at(im, at + 1), length);
        if (error != VELM_OK) break;
        if (tag == VELM_TAG_END) {
            if (left > 3 || im->stray != 0) {
                error = VELM_ERR_AFTER_END;
                ++record;
                at += 3;
            }
            break;
        }
        /* left is at least 3 here; a record holds at most 2^30 data words. */
        if (left - 3 < data_words(length)) {
            error = VELM_ERR_TRUNCATED;
            break;
        }
        at += 3 + (size_t)data_words(length);
        ++record;
    }
    if (report != NULL) {
        report->error = error;
        report->record = record;
        report->word = at;
    }
    return error;
}

/* Hands the `length` data bytes of a BINARY record, whose data words start at word
 * `first`, to `write_fn` a piece at a time, decoded into a buffer on the stack. The
 * check bounds address + length, so address + done cannot wrap. */
static int write_pieces(const struct image* im, size_t first, uint32_t address, uint32_t length,
                        velm_write_fn write_fn, void* ctx) {
    unsigned int piece[VELM_BOOT_PIECE_WORDS];
    const uint32_t room = 4u * VELM_BOOT_PIECE_WORDS;
    uint32_t done = 0;
    while (done < length) {
        const uint32_t n = length - done < room ? length - done : room;
        const uint32_t count = data_words(n);
        uint32_t i;
        int result;
        for (i = 0; i < count; ++i) piece[i] = (unsigned int)word_at(im, first + i);
        result = write_fn(ctx, address + done, piece, n);
        if (result != 0) return result;
        first += count;
        done += n;
    }
    return 0;
}

/* Hands every record of a checked image to `write_fn`, in order. TEXT records go whole,
 * pointing into the image. */
static int load(const struct image* im, velm_write_fn write_fn, void* ctx) {
    size_t at = 0;
    while (word_at(im, at) != VELM_TAG_END) {
        const uint32_t address = word_at(im, at + 1);
        const uint32_t length = word_at(im, at + 2);
        const int result = im->words != NULL
                               ? write_fn(ctx, address, im->words + at + 3, length)
                               : write_pieces(im, at + 3, address, length, write_fn, ctx);
        if (result != 0) return result;
        at += 3 + (size_t)data_words(length);
    }
    return VELM_OK;
}

static int boot(const struct image* im, velm_write_fn write_fn, void* ctx) {
    const int error = check(im, NULL);
    if (error != VELM_OK || write_fn == NULL) return error;
    return load(im, write_fn, ctx);
}

static struct image text_image(const unsigned int* words, size_t word_count) {
    struct image im;
    im.words = words;
    im.bytes = NULL;
    im.word_count = word_count;
    im.stray = 0;
    return im;
}

static struct image binary_image(const void* bytes, size_t byte_count) {
    struct image im;
    im.words = NULL;
    im.bytes = (const unsigned char*)bytes;
    im.word_count = byte_count / 4;
    im.stray = byte_count % 4;
    return im;
}

int velm_check_record(uint32_t tag, uint32_t address, uint32_t length) {
    if (tag == VELM_TAG_END) return address == 0 && length == 0 ? VELM_OK : VELM_ERR_BAD_END;
    if (tag != VELM_TAG_SECTION && tag != VELM_TAG_CINIT) return VELM_ERR_UNKNOWN_TAG;
    /* c6x_velm never writes either length: 0 carries nothing, and 0xFFFFFFFF is what a
     * damaged or negative length word reads as. */
    if (length == 0 || length == 0xFFFFFFFFu) return VELM_ERR_BAD_LENGTH;
    /* The last byte, address + length - 1, must not lie above 0xFFFFFFFE. */
    if (length > 0xFFFFFFFFu - address) return VELM_ERR_ADDRESS_RANGE;
    return VELM_OK;
}

int velm_check(const unsigned int* words, size_t word_count, struct velm_report* report) {
    const struct image im = text_image(words, word_count);
    return check(&im, report);
}

int velm_boot(const unsigned int* words, size_t word_count, velm_write_fn write_fn, void* ctx) {
    const struct image im = text_image(words, word_count);
    return boot(&im, write_fn, ctx);
}

int velm_check_bytes(const void* bytes, size_t byte_count, struct velm_report* report) {
    const struct image im = binary_image(bytes, byte_count);
    return check(&im, report);
}

int velm_boot_bytes(const void* bytes, size_t byte_count, velm_write_fn write_fn, void* ctx) {
    const struct image im = binary_image(bytes, byte_count);
    return boot(&im, write_fn, ctx);
}

const char* velm_error_text(int code) {
    switch (code) {
        case VELM_OK:
            return "sound image";
        case VELM_ERR_UNKNOWN_TAG:
            return "unknown record tag";
        case VELM_ERR_TRUNCATED:
            return "record runs past the end of the image";
        case VELM_ERR_BAD_LENGTH:
            return "record length 0 or 0xFFFFFFFF";
        case VELM_ERR_ADDRESS_RANGE:
            return "record passes address 0xFFFFFFFF";
        case VELM_ERR_NO_END:
            return "no end record";
        case VELM_ERR_AFTER_END:
            return "data after the end record";
        case VELM_ERR_BAD_END:
            return "end record with an address or length";
        default:
            return code > 0 ? "write function failed" : "unknown code";
    }
}
