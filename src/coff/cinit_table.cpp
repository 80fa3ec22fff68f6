#include "coff/cinit_table.h"

#include "core/byte_order.h"
#include "core/range.h"
#include "core/run_state.h"
#include "platform/compiler.h"
#include "platform/input_file.h"

namespace velm {

namespace {

// The `n` bytes at `offset` where the walk last saw them, or null when it did not see
// them all. An offset before what was seen wraps round to a distance beyond it.
const uint8_t* seen_bytes(const CinitWalk* w, uint32_t offset, uint32_t n) {
    uint32_t at = offset - w->seen_offset;
    if (at > w->seen_size || n > w->seen_size - at) return nullptr;
    return w->seen + at;
}

// Looks at the table from `offset` on, at least `n` bytes (below kViewLimit) where the
// file has them. kReadError on an error; fewer bytes are left to the caller to judge.
VELM_NOINLINE Status look_at(CinitWalk* w, uint32_t offset, uint32_t n) {
    w->seen_size = 0;
    int64_t available = 0;
    const uint8_t* p = in_view(run_state.in_handle, offset, n, &available);
    if (p == nullptr) return kReadError;
    w->seen = p;
    w->seen_offset = offset;
    w->seen_size = static_cast<uint32_t>(available);
    return kOk;
}

// table_word when the walk has not seen the word: looks again.
VELM_NOINLINE Status table_word_unseen(CinitWalk* w, uint32_t offset, uint32_t* word) {
    Status st = look_at(w, offset, 4);
    if (st != kOk) return st;
    const uint8_t* p = seen_bytes(w, offset, 4);
    if (p == nullptr) return kReadError;
    *word = load_le32(p);
    return kOk;
}

// The table word at `offset`; kReadError when fewer than 4 bytes can be read there.
inline Status table_word(CinitWalk* w, uint32_t offset, uint32_t* word) {
    const uint8_t* p = seen_bytes(w, offset, 4);
    if (p == nullptr) return table_word_unseen(w, offset, word);
    *word = load_le32(p);
    return kOk;
}

// The entry's data at `offset`, where the input holds them in memory; otherwise null,
// with the input positioned at them for the record writer to read in pieces.
Status entry_data(CinitWalk* w, uint32_t offset, uint32_t n, const uint8_t** data) {
    *data = seen_bytes(w, offset, n);
    if (*data != nullptr) return kOk;
    if (n < kViewLimit) {
        Status st = look_at(w, offset, n);
        if (st != kOk) return st;
        *data = seen_bytes(w, offset, n);
        if (*data != nullptr) return kOk;
    }
    // Too large for a view, or the file ended early: the writer reads them, and a
    // read that comes up short fails there, after the entry's checks, in its place.
    w->seen_size = 0;
    return in_seek(run_state.in_handle, offset) < 0 ? kReadError : kOk;
}

}  // namespace

void cinit_begin(CinitWalk* walk, uint32_t offset, uint32_t size) {
    run_state.cinit_left = static_cast<int32_t>(size);
    walk->offset = offset;
    walk->seen_offset = 0;
    walk->seen_size = 0;
    walk->seen = nullptr;
}

Status cinit_next(CinitWalk* walk, CinitEntry* entry) {
    RunState& rs = run_state;
    while (rs.cinit_left != 4) {
        if (rs.cinit_left < 4) return kBadCinitTable;
        uint32_t len_word;
        Status st = table_word(walk, walk->offset, &len_word);
        if (st != kOk) return st;
        rs.cinit_len = static_cast<int32_t>(len_word);
        if (len_word == 0) {
            rs.cinit_left -= 4;
            walk->offset += 4;
            continue;
        }
        // A length with the top bit set cannot describe bytes of a 4 MiB file.
        if (len_word >= 0x80000000u) return kBadCinitTable;
        int64_t padded = (int64_t{rs.cinit_len} + 3) / 4 * 4;
        rs.cinit_len_padded = static_cast<int32_t>(padded);
        if (rs.cinit_left < 12) return kBadCinitTable;
        st = table_word(walk, walk->offset + 4, &rs.cinit_addr);
        if (st != kOk) return st;
        // The entry's words, its rounded data and the final word after it must fit.
        if (!ends_within(static_cast<uint64_t>(padded), 12, static_cast<uint64_t>(rs.cinit_left)))
            return kBadCinitTable;
        // Within the section, so within the file: the offsets below do not wrap.
        uint32_t data_offset = walk->offset + 8;
        st = entry_data(walk, data_offset, static_cast<uint32_t>(padded), &entry->data);
        if (st != kOk) return st;
        entry->address = rs.cinit_addr;
        entry->length = len_word;
        entry->byte_count = static_cast<uint32_t>(padded);
        rs.cinit_left -= static_cast<int32_t>(padded + 8);
        walk->offset = data_offset + static_cast<uint32_t>(padded);
        return kOk;
    }
    uint32_t final_word;
    Status st = table_word(walk, walk->offset, &final_word);
    if (st != kOk) return st;
    if (final_word != 0) return kBadCinitTable;
    entry->address = 0;
    entry->length = 0;
    entry->byte_count = 0;
    entry->data = nullptr;
    return kOk;
}

}  // namespace velm
