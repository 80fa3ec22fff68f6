// The C auto-initialisation table (.cinit) of a COFF2 RAM-model program, walked entry
// by entry.
//
// The table, as stored from the section's start, all words little-endian:
//
//   { length L (non-zero, below 0x80000000), address A, L data bytes, 0-3 rounding bytes }
//   or a zero word (4 bytes of filler)
//   ... repeated, then one zero word that fills the section's last 4 bytes exactly.
//
// Every entry must leave room for at least the final word after it, so the bytes left
// (run_state.cinit_left) stay positive and the walk ends only at the final word or with
// a failure. The caller writes each entry as it comes, so records before a faulty entry
// are written.
//
// The walk reads the table where the input layer's read-ahead window holds it, without
// copying: the words and most entries' data are used where they lie.
#ifndef C6X_VELM_COFF_CINIT_TABLE_H
#define C6X_VELM_COFF_CINIT_TABLE_H

#include <cstdint>

#include "core/status.h"

namespace velm {

struct CinitEntry {
    uint32_t address;
    uint32_t length;      // as stored: the record's length; 0 once the table has ended
    uint32_t byte_count;  // the length rounded up to a multiple of 4: the data words' bytes
    // The byte_count bytes (rounding bytes as they stand), valid until the next input
    // call; or null, and then the input stands at them.
    const uint8_t* data;
};

// Where the walk is: the file offset of the next table word, and the bytes of the table
// it last saw in the window.
struct CinitWalk {
    uint32_t offset;
    uint32_t seen_offset;
    uint32_t seen_size;
    const uint8_t* seen;
};

// Starts the walk of the table of `size` bytes at file offset `offset`.
void cinit_begin(CinitWalk* walk, uint32_t offset, uint32_t size);

// The next entry; at the final word, kOk with an entry of length 0. Zero words are
// passed over. kBadCinitTable where the table breaks its layout: fewer than 4 bytes left
// where a word is due, fewer than 12 at a non-zero length word, a length word with its
// top bit set, an entry that with 4 bytes after it does not fit into what is left, a
// final word that is not 0. kReadError when a word cannot be read whole.
Status cinit_next(CinitWalk* walk, CinitEntry* entry);

}  // namespace velm

#endif
