// A VELM boot image as velm_dump keeps it while reading: the records, a few bytes each,
// and the problems found on the way. The data words are never kept: whatever needs them
// again (--diff) reads them again from the file. The record stream and its two encodings
// are laid out in core/velm_format.h.
#ifndef C6X_VELM_DUMP_IMAGE_H
#define C6X_VELM_DUMP_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/velm_format.h"

namespace velm::dump {

enum class Encoding { binary, text };

enum class Severity { warning, error };

struct Problem {
    Severity severity = Severity::error;
    uint32_t record = 0;  // the record it names (from 1); 0 when it names none
    bool has_position = false;
    uint64_t position = 0;  // byte offset (BINARY) or line (TEXT)
    std::string message;    // the whole text, naming the record and its position
};

enum class RecordKind : uint8_t { section, cinit, end };

// One record whose header and data words are all present. Its index (from 1, the end
// record counted too) is its place in the table. An image may hold hundreds of millions
// of records, so this is 28 bytes: the kind rides in the top two bits of the position.
#pragma pack(push, 4)
struct Record {
    uint64_t position_kind;  // position of the tag: byte offset (BINARY) or line (TEXT)
    uint64_t resume;         // byte offset of the tag in the file, where a second read
                             // of the record starts (--diff reuses it, see image_diff.cpp)
    uint32_t address;
    uint32_t length;
    uint32_t crc32;  // of the `length` data bytes; 0 when not computed (--check)
};
#pragma pack(pop)

constexpr uint64_t kPositionMask = (uint64_t{1} << 62) - 1;

inline RecordKind kind_of(const Record& r) {
    return static_cast<RecordKind>(r.position_kind >> 62);
}
inline uint64_t position_of(const Record& r) {
    return r.position_kind & kPositionMask;
}
inline Record make_record(RecordKind kind, uint64_t position, uint64_t resume, uint32_t address,
                          uint32_t length) {
    Record r;
    r.position_kind = (position & kPositionMask) | (uint64_t{static_cast<uint8_t>(kind)} << 62);
    r.resume = resume;
    r.address = address;
    r.length = length;
    r.crc32 = 0;
    return r;
}

// The record's tag, the words its data take (ceil(length / 4), 0 for the end record)
// and its last address (address + length - 1, in 64 bits; only meaningful for a length
// above 0).
uint32_t tag_of(RecordKind kind);
inline uint32_t data_words_of(const Record& r) {
    return kind_of(r) == RecordKind::end
               ? 0
               : static_cast<uint32_t>((static_cast<uint64_t>(r.length) + 3) / 4);
}
inline uint64_t last_address(const Record& r) {
    return static_cast<uint64_t>(r.address) + r.length - 1;
}

const char* kind_name(RecordKind kind);

// "byte offset 28" or "line 27".
std::string position_text(Encoding encoding, uint64_t position);

// The records of an image in file order, in blocks that never move: memory grows with
// the records read and nothing else, and a record's address stays valid. A block holds
// 2^21 records, 28 whole huge pages (dump_memory_alloc); the first 1,024 records of an
// image come from the heap, so that a small image costs no more than it needs.
// Allocation failures are reported, never thrown.
class RecordTable {
  public:
    RecordTable() = default;
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;
    RecordTable(RecordTable&& other) noexcept;
    RecordTable& operator=(RecordTable&& other) noexcept;
    ~RecordTable();

    // False when there is no memory for it, or the table holds 0xFFFFFFFE records.
    bool append(const Record& r) {
        if ((size_ & kBlockMask) == 0 || size_ == kFirst) return append_slow(r);
        blocks_[size_ >> kBlockBits][size_ & kBlockMask] = r;
        ++size_;
        return true;
    }
    void clear();

    uint32_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Record& operator[](uint32_t i) { return blocks_[i >> kBlockBits][i & kBlockMask]; }
    const Record& operator[](uint32_t i) const { return blocks_[i >> kBlockBits][i & kBlockMask]; }
    const Record& back() const { return (*this)[size_ - 1]; }

    class const_iterator {
      public:
        const_iterator(const RecordTable* t, uint32_t i) : table_(t), i_(i) {}
        const Record& operator*() const { return (*table_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

      private:
        const RecordTable* table_;
        uint32_t i_;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size_); }

  private:
    static constexpr uint32_t kBlockBits = 21;
    static constexpr uint32_t kBlockMask = (1u << kBlockBits) - 1;
    static constexpr uint32_t kFirst = 1024;
    bool append_slow(const Record& r);
    Record** blocks_ = nullptr;  // 2,048 slots, enough for 2^32 records
    uint32_t size_ = 0;
};

// An index of n records (uint32_t each), from the heap or, when large, on huge pages.
uint32_t* index_alloc(uint32_t n);
void index_free(uint32_t* index, uint32_t n);

struct Summary {
    uint64_t records = 0;  // section and cinit records; the end record is not counted
    uint64_t section_records = 0;
    uint64_t cinit_records = 0;
    uint64_t bytes = 0;      // sum of their lengths
    bool has_range = false;  // false when no record covers any byte
    uint64_t lowest = 0;     // lowest address covered
    uint64_t highest = 0;    // highest address covered (may pass 0xFFFFFFFF)
};

Summary summarize(const RecordTable& records);

}  // namespace velm::dump

#endif
