#include "dump/image.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/dump_files.h"

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

namespace {

static_assert(sizeof(Record) == 28, "a record takes 28 bytes");
constexpr size_t kBlockBytes = sizeof(Record) << 21;  // 28 huge pages of 2 MiB
constexpr size_t kHugePage = size_t{2} << 20;
constexpr uint32_t kSlots = 2048;  // blocks for 2^32 records

}  // namespace

RecordTable::RecordTable(RecordTable&& other) noexcept
    : blocks_(std::exchange(other.blocks_, nullptr)), size_(std::exchange(other.size_, 0)) {}

RecordTable& RecordTable::operator=(RecordTable&& other) noexcept {
    if (this != &other) {
        clear();
        blocks_ = std::exchange(other.blocks_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

RecordTable::~RecordTable() {
    clear();
}

void RecordTable::clear() {
    if (blocks_ != nullptr) {
        if (size_ <= kFirst) {
            std::free(blocks_[0]);
        } else {
            for (uint32_t b = 0; b <= (size_ - 1) >> kBlockBits; ++b) {
                velm::dump_memory_free(blocks_[b], kBlockBytes);
            }
        }
    }
    std::free(blocks_);
    blocks_ = nullptr;
    size_ = 0;
}

bool RecordTable::append_slow(const Record& r) {
    if (size_ >= 0xFFFFFFFEu) return false;
    if (size_ == 0) {
        if (blocks_ == nullptr) {
            blocks_ = static_cast<Record**>(std::calloc(kSlots, sizeof(Record*)));
            if (blocks_ == nullptr) return false;
        }
        blocks_[0] = static_cast<Record*>(std::malloc(sizeof(Record) * kFirst));
        if (blocks_[0] == nullptr) return false;
    } else if (size_ == kFirst) {
        // The image goes on: its records move to a block of their own.
        Record* block = static_cast<Record*>(velm::dump_memory_alloc(kBlockBytes));
        if (block == nullptr) return false;
        std::memcpy(block, blocks_[0], sizeof(Record) * kFirst);
        std::free(blocks_[0]);
        blocks_[0] = block;
    } else {
        Record* block = static_cast<Record*>(velm::dump_memory_alloc(kBlockBytes));
        if (block == nullptr) return false;
        blocks_[size_ >> kBlockBits] = block;
    }
    blocks_[size_ >> kBlockBits][size_ & kBlockMask] = r;
    ++size_;
    return true;
}

uint32_t* index_alloc(uint32_t n) {
    const size_t bytes = sizeof(uint32_t) * (n > 0 ? n : 1);
    if (bytes < kHugePage) return static_cast<uint32_t*>(std::malloc(bytes));
    return static_cast<uint32_t*>(
        velm::dump_memory_alloc((bytes + kHugePage - 1) / kHugePage * kHugePage));
}

void index_free(uint32_t* index, uint32_t n) {
    const size_t bytes = sizeof(uint32_t) * (n > 0 ? n : 1);
    if (bytes < kHugePage) {
        std::free(index);
    } else {
        velm::dump_memory_free(index, (bytes + kHugePage - 1) / kHugePage * kHugePage);
    }
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
