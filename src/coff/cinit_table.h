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
// The walk reads the table where the input layer holds it in memory (in_view: the mapped
// file, or the read-ahead window), without copying: the words and most entries' data are
// used where they lie.
#ifndef C6X_VELM_COFF_CINIT_TABLE_H
#define C6X_VELM_COFF_CINIT_TABLE_H

#include <cstddef>
#include <cstdint>

#include "core/byte_order.h"
#include "core/range.h"
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
// it last saw in memory.
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

// For a caller that takes many entries at once from the bytes the walk has in memory:
// cinit_in_memory gives them (false when there are none), cinit_step decodes one step of
// the walk there, and cinit_skip moves the walk past what the steps took.
//
// cinit_step applies cinit_next's rules in the same order to `avail` bytes of the table at
// `p`, `left` bytes of the table being left (run_state.cinit_left). It reads nothing:
// what needs bytes beyond `avail`, and the final word, is cinit_next's.
enum class CinitStep : uint8_t {
    filler,     // a zero word: 4 bytes
    entry,      // `*entry` with its data at p + 8: 8 + byte_count bytes
    bad_table,  // the table breaks its layout here: kBadCinitTable
    other,      // for cinit_next
};

inline CinitStep cinit_step(const uint8_t* p, size_t avail, int32_t left, CinitEntry* entry) {
    if (left == 4) return CinitStep::other;
    if (left < 4) return CinitStep::bad_table;
    if (avail < 8) return CinitStep::other;
    uint32_t length = load_le32(p);
    if (length == 0) return CinitStep::filler;
    if (length >= 0x80000000u || left < 12) return CinitStep::bad_table;
    uint64_t padded = (uint64_t{length} + 3) / 4 * 4;
    if (!ends_within(padded, 12, static_cast<uint64_t>(left))) return CinitStep::bad_table;
    if (padded > avail - 8) return CinitStep::other;
    entry->address = load_le32(p + 4);
    entry->length = length;
    entry->byte_count = static_cast<uint32_t>(padded);
    entry->data = p + 8;
    return CinitStep::entry;
}

inline bool cinit_in_memory(const CinitWalk* walk, const uint8_t** p, size_t* avail) {
    uint32_t at = walk->offset - walk->seen_offset;  // wraps round when before what was seen
    if (at >= walk->seen_size) return false;
    *p = walk->seen + at;
    *avail = walk->seen_size - at;
    return true;
}

inline void cinit_skip(CinitWalk* walk, uint32_t n) {
    walk->offset += n;
}

}  // namespace velm

#endif
