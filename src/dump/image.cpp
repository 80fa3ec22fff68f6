#include "dump/image.h"

#include <cstdlib>
#include <utility>

namespace velm::dump {

uint32_t tag_of(RecordKind kind) {
    switch (kind) {
        case RecordKind::section:
            return kSectionRecordTag;
        case RecordKind::cinit:
            return kCinitRecordTag;
        case RecordKind::end:
            return kEndRecordTag;
    }
    return 0;
}

const char* kind_name(RecordKind kind) {
    switch (kind) {
        case RecordKind::section:
            return "section";
        case RecordKind::cinit:
            return "cinit";
        case RecordKind::end:
            return "end";
    }
    return "?";
}

std::string position_text(Encoding encoding, uint64_t position) {
    return (encoding == Encoding::binary ? "byte offset " : "line ") + std::to_string(position);
}

RecordTable::RecordTable(RecordTable&& other) noexcept
    : blocks_(std::exchange(other.blocks_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      block_slots_(std::exchange(other.block_slots_, 0)) {}

RecordTable& RecordTable::operator=(RecordTable&& other) noexcept {
    if (this != &other) {
        clear();
        blocks_ = std::exchange(other.blocks_, nullptr);
        size_ = std::exchange(other.size_, 0);
        block_slots_ = std::exchange(other.block_slots_, 0);
    }
    return *this;
}

RecordTable::~RecordTable() {
    clear();
}

void RecordTable::clear() {
    const uint32_t used = (size_ + kBlockMask) >> kBlockBits;
    for (uint32_t b = 0; b < used; ++b) std::free(blocks_[b]);
    std::free(blocks_);
    blocks_ = nullptr;
    size_ = 0;
    block_slots_ = 0;
}

bool RecordTable::append(const Record& r) {
    if (size_ >= 0xFFFFFFFEu) return false;
    const uint32_t block = size_ >> kBlockBits;
    if ((size_ & kBlockMask) == 0) {
        if (block == block_slots_) {
            const uint32_t slots = block_slots_ == 0 ? 16 : 2 * block_slots_;
            void* grown = std::realloc(blocks_, sizeof(Record*) * slots);
            if (grown == nullptr) return false;
            blocks_ = static_cast<Record**>(grown);
            block_slots_ = slots;
        }
        // A small image gets a small first block; later blocks are whole.
        const size_t count = block == 0 ? 1024 : size_t{1} << kBlockBits;
        blocks_[block] = static_cast<Record*>(std::malloc(sizeof(Record) * count));
        if (blocks_[block] == nullptr) return false;
    } else if (block == 0 && size_ == 1024) {
        void* grown = std::realloc(blocks_[0], sizeof(Record) << kBlockBits);
        if (grown == nullptr) return false;
        blocks_[0] = static_cast<Record*>(grown);
    }
    blocks_[block][size_ & kBlockMask] = r;
    ++size_;
    return true;
}

Summary summarize(const RecordTable& records) {
    Summary sum;
    for (const Record& r : records) {
        const RecordKind kind = kind_of(r);
        if (kind == RecordKind::end) continue;
        ++sum.records;
        ++(kind == RecordKind::section ? sum.section_records : sum.cinit_records);
        sum.bytes += r.length;
        if (r.length == 0) continue;
        if (!sum.has_range || r.address < sum.lowest) sum.lowest = r.address;
        if (!sum.has_range || last_address(r) > sum.highest) sum.highest = last_address(r);
        sum.has_range = true;
    }
    return sum;
}

}  // namespace velm::dump
