/* SPDX-License-Identifier: MIT */
/* velm_boot: checks a VELM boot image and hands its records, in order, to a function
 * that writes them into DSP memory (over HPI, PCIe, shared memory, ...).
 *
 * An image is a stream of 32-bit words. Each record is a header triple followed by its
 * data words; one end record closes the stream:
 *
 *   word 0   tag      0x90003B09 section record, 0x90013B09 cinit record,
 *                     0xFFFF3B09 end record
 *   word 1   address  target address of the first data byte; 0 in the end record
 *   word 2   length   data bytes, not rounded; 0 in the end record
 *   word 3.. data     ceil(length / 4) words; data byte k is byte k % 4 (least
 *                     significant first) of data word k / 4. The unused high bytes of
 *                     a last partial word are padding.
 *
 * c6x_velm writes an image in two encodings. TEXT is a C source file that defines
 * `unsigned int C6XXX_VELM_DATA[]`; velm_check and velm_boot take that array as it is
 * compiled in. BINARY is each word as 4 little-endian bytes; velm_check_bytes and
 * velm_boot_bytes take those bytes as read from storage, at any alignment and whatever
 * the host's byte order.
 *
 * A sound image is a sequence of section and cinit records, each with a length from 1
 * to 0xFFFFFFFE whose bytes end below address 0xFFFFFFFF (address + length at most
 * 0xFFFFFFFF), closed by an end record with address and length 0 and followed by
 * nothing. These are the records c6x_velm writes. The boot functions check the whole
 * image before the first write, so a damaged image never half-loads a DSP.
 *
 * Needs only <stddef.h> and <stdint.h>; never allocates, keeps no state (the functions
 * may run in several threads at once) and reads nothing outside the image it is given.
 * Builds as C99 and as C++. */
#ifndef VELM_BOOT_H
#define VELM_BOOT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VELM_TAG_SECTION 0x90003B09u
#define VELM_TAG_CINIT 0x90013B09u
#define VELM_TAG_END 0xFFFF3B09u

/* What the check returns: 0 for a sound image, or the first fault found. */
#define VELM_OK 0
#define VELM_ERR_UNKNOWN_TAG (-1)   /* a record starts with none of the three tags */
#define VELM_ERR_TRUNCATED (-2)     /* a record (or its header) runs past the image's end */
#define VELM_ERR_BAD_LENGTH (-3)    /* a section or cinit length of 0 or 0xFFFFFFFF */
#define VELM_ERR_ADDRESS_RANGE (-4) /* address + length passes 0xFFFFFFFF */
#define VELM_ERR_NO_END (-5)        /* the image ends where a record should start */
#define VELM_ERR_AFTER_END (-6)     /* words (or bytes) follow the end record */
#define VELM_ERR_BAD_END (-7)       /* an end record whose address or length is not 0 */

/* Where the check stopped. */
struct velm_report {
    int error; /* what the check returned */
    /* The record at fault, counted from 0; on success the end record, which is also the
     * number of section and cinit records. After VELM_ERR_AFTER_END it is one past the
     * end record, after VELM_ERR_NO_END the number of records. */
    size_t record;
    /* Index of that record's first word (for the _bytes functions: its byte offset / 4).
     * After VELM_ERR_AFTER_END the first word after the end record; after
     * VELM_ERR_NO_END the number of words. */
    size_t word;
};

/* Writes `byte_length` bytes, held in `data_words` as described above, to DSP memory
 * at `address`. Returns 0 to go on; any other value stops the walk, and the boot
 * function returns that value unchanged. Give it values above 0 to keep them apart from
 * the VELM_ERR_ codes. */
typedef int (*velm_write_fn)(void* ctx, uint32_t address, const unsigned int* data_words,
                             uint32_t byte_length);

/* Judges one record by its three header words: the rule every record of a sound image
 * meets, which velm_check applies to each record and velm_dump applies too, so that the
 * two never disagree. Returns VELM_OK for a section or cinit record whose length is 1 to
 * 0xFFFFFFFE and whose last data byte lies at 0xFFFFFFFE at the highest (address +
 * length at most 0xFFFFFFFF), and for an end record with address and length 0.
 * Otherwise VELM_ERR_UNKNOWN_TAG (decided by the tag alone, whatever the other two
 * words), VELM_ERR_BAD_LENGTH, VELM_ERR_ADDRESS_RANGE or VELM_ERR_BAD_END. Whether the
 * data words are present, and what follows the end record, is for the caller to see. */
int velm_check_record(uint32_t tag, uint32_t address, uint32_t length);

/* Checks the image of `word_count` words at `words` (which may be NULL when
 * `word_count` is 0). Returns VELM_OK or a VELM_ERR_ code, and fills `report` unless it
 * is NULL. */
int velm_check(const unsigned int* words, size_t word_count, struct velm_report* report);

/* Checks the image like velm_check and returns the fault without any write. Then calls
 * `write_fn(ctx, address, data_words, length)` once per section and cinit record, in
 * image order, with `data_words` pointing into the image. Returns VELM_OK, the fault, or
 * the first non-zero value of `write_fn`. With `write_fn` NULL it only checks. */
int velm_boot(const unsigned int* words, size_t word_count, velm_write_fn write_fn, void* ctx);

/* The same for a BINARY image of `byte_count` bytes. A byte count that is not a multiple
 * of 4 makes a record or the part after the end record incomplete, and is reported as
 * such. */
int velm_check_bytes(const void* bytes, size_t byte_count, struct velm_report* report);

/* velm_boot for a BINARY image. The image is not copied: each record's words are
 * decoded into a small buffer on the stack (VELM_BOOT_PIECE_WORDS words, 64 unless the
 * library is compiled with another value) and handed on piece by piece, so `write_fn`
 * may be called several times per record: each piece comes with the address of its first
 * byte, and every piece but a record's last holds whole words. */
int velm_boot_bytes(const void* bytes, size_t byte_count, velm_write_fn write_fn, void* ctx);

/* A short text for a VELM_ERR_ code ("unknown record tag", ...), "sound image" for
 * VELM_OK, "write function failed" for any value above 0 (what a write function
 * returned) and "unknown code" for any other. Never NULL, so that it can be printed
 * with "%s" whatever the boot function returned. */
const char* velm_error_text(int code);

#ifdef __cplusplus
}
#endif

#endif
