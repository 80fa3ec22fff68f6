// The bounds-checked little-endian readers and the COFF2 record decoders.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "coff/coff_format.h"
#include "support/coff_builder.h"

namespace {

using velm::ByteSpan;
using velm::decode_file_header;
using velm::decode_opt_header;
using velm::decode_section_header;
using velm::read_le16;
using velm::read_le32;

// Bytes 0x80, 0x81, 0x82, ...: every byte differs and has its top bit set, so a field
// read from the wrong offset, in the wrong order or with sign extension shows up.
std::vector<uint8_t> ramp(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x80 + i);
    return b;
}

ByteSpan span(const std::vector<uint8_t>& b) {
    return ByteSpan{b.data(), b.size()};
}

TEST(LittleEndianReaders, DecodeLowByteFirst) {
    std::vector<uint8_t> b = ramp(8);
    uint16_t v16 = 0;
    uint32_t v32 = 0;
    ASSERT_TRUE(read_le16(span(b), 0, &v16));
    EXPECT_EQ(v16, 0x8180);
    ASSERT_TRUE(read_le16(span(b), 5, &v16));
    EXPECT_EQ(v16, 0x8685);
    ASSERT_TRUE(read_le32(span(b), 0, &v32));
    EXPECT_EQ(v32, 0x83828180u);
    ASSERT_TRUE(read_le32(span(b), 3, &v32));
    EXPECT_EQ(v32, 0x86858483u);
    const std::vector<uint8_t> ones = {0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(read_le32(span(ones), 0, &v32));
    EXPECT_EQ(v32, 0xFFFFFFFFu);
}

TEST(LittleEndianReaders, LastFieldThatFits) {
    std::vector<uint8_t> b = ramp(8);
    uint16_t v16 = 0;
    uint32_t v32 = 0;
    EXPECT_TRUE(read_le16(span(b), 6, &v16));
    EXPECT_EQ(v16, 0x8786);
    EXPECT_TRUE(read_le32(span(b), 4, &v32));
    EXPECT_EQ(v32, 0x87868584u);
}

TEST(LittleEndianReaders, OutOfBoundsGivesFalseAndZero) {
    std::vector<uint8_t> b = ramp(8);
    const size_t offsets[] = {7,
                              8,
                              9,
                              1000,
                              SIZE_MAX,
                              SIZE_MAX - 1,
                              SIZE_MAX - 2,
                              SIZE_MAX - 3,
                              SIZE_MAX - 7,
                              SIZE_MAX / 2 + 1};
    for (size_t offset : offsets) {
        uint16_t v16 = 0xABCD;  // stale values must not survive a failed read
        uint32_t v32 = 0xABCDEF01u;
        EXPECT_FALSE(read_le16(span(b), offset, &v16)) << offset;
        EXPECT_EQ(v16, 0) << offset;
        EXPECT_FALSE(read_le32(span(b), offset, &v32)) << offset;
        EXPECT_EQ(v32, 0u) << offset;
    }
    // A 32-bit field that starts inside but runs past the end.
    for (size_t offset = 5; offset < 8; ++offset) {
        uint32_t v32 = 1;
        EXPECT_FALSE(read_le32(span(b), offset, &v32)) << offset;
        EXPECT_EQ(v32, 0u);
    }
}

TEST(LittleEndianReaders, EmptyAndNullSpans) {
    uint16_t v16 = 1;
    uint32_t v32 = 1;
    EXPECT_FALSE(read_le16(ByteSpan{nullptr, 0}, 0, &v16));
    EXPECT_EQ(v16, 0);
    // A null pointer with a size is still no data.
    EXPECT_FALSE(read_le32(ByteSpan{nullptr, 64}, 0, &v32));
    EXPECT_EQ(v32, 0u);
    const uint8_t one[1] = {0x7F};
    EXPECT_FALSE(read_le16(ByteSpan{one, 1}, 0, &v16));
    EXPECT_FALSE(read_le32(ByteSpan{one, 0}, 0, &v32));
}

TEST(LittleEndianReaders, HugeSizeDoesNotLetOffsetsWrap) {
    // A span claiming the whole address space: an offset near SIZE_MAX plus the field
    // width must not wrap round to a small number that looks in bounds.
    std::vector<uint8_t> b = ramp(8);
    ByteSpan wide{b.data(), SIZE_MAX};
    uint32_t v32 = 1;
    uint16_t v16 = 1;
    EXPECT_FALSE(read_le32(wide, SIZE_MAX - 2, &v32));
    EXPECT_EQ(v32, 0u);
    EXPECT_FALSE(read_le16(wide, SIZE_MAX, &v16));
    EXPECT_EQ(v16, 0);
    EXPECT_TRUE(read_le32(wide, 0, &v32));
    EXPECT_EQ(v32, 0x83828180u);
}

TEST(DecodeFileHeader, FieldsAtTheirOffsets) {
    std::vector<uint8_t> b = ramp(22);
    velm::FileHeader h;
    ASSERT_TRUE(decode_file_header(span(b), &h));
    EXPECT_EQ(h.f_version, 0x8180);
    EXPECT_EQ(h.f_nscns, 0x8382);
    EXPECT_EQ(h.f_timdat, 0x87868584u);
    EXPECT_EQ(h.f_symptr, 0x8B8A8988u);
    EXPECT_EQ(h.f_nsyms, 0x8F8E8D8Cu);
    EXPECT_EQ(h.f_opthdr, 0x9190);
    EXPECT_EQ(h.f_flags, 0x9392);
    EXPECT_EQ(h.f_target_id, 0x9594);
}

TEST(DecodeFileHeader, BuiltFile) {
    velm_test::Coff c = velm_test::example_program();
    velm_test::Bytes file = velm_test::build_coff(c);
    velm::FileHeader h;
    ASSERT_TRUE(decode_file_header(ByteSpan{file.data(), file.size()}, &h));
    EXPECT_EQ(h.f_version, 0x00C2);
    EXPECT_EQ(h.f_nscns, 9);
    EXPECT_EQ(h.f_opthdr, 28);
    EXPECT_EQ(h.f_flags, 0x0103);
    EXPECT_EQ(h.f_target_id, 0x0099);
    EXPECT_LT(h.f_symptr, file.size());
    velm::OptHeader o;
    ASSERT_TRUE(decode_opt_header(ByteSpan{file.data() + 22, 28}, &o));
    EXPECT_EQ(o.o_magic, 0x0108);
    EXPECT_EQ(o.o_entry, 0x00000A80u);
}

TEST(DecodeOptHeader, FieldsAtTheirOffsets) {
    std::vector<uint8_t> b = ramp(28);
    velm::OptHeader h;
    ASSERT_TRUE(decode_opt_header(span(b), &h));
    EXPECT_EQ(h.o_magic, 0x8180);
    EXPECT_EQ(h.o_vstamp, 0x8382);
    EXPECT_EQ(h.o_tsize, 0x87868584u);
    EXPECT_EQ(h.o_dsize, 0x8B8A8988u);
    EXPECT_EQ(h.o_bsize, 0x8F8E8D8Cu);
    EXPECT_EQ(h.o_entry, 0x93929190u);
    EXPECT_EQ(h.o_text_start, 0x97969594u);
    EXPECT_EQ(h.o_data_start, 0x9B9A9998u);
}

TEST(DecodeSectionHeader, FieldsAtTheirOffsets) {
    std::vector<uint8_t> b = ramp(48);
    velm::SectionHeader h;
    ASSERT_TRUE(decode_section_header(span(b), &h));
    EXPECT_EQ(std::memcmp(h.s_name, b.data(), 8), 0);
    EXPECT_EQ(h.s_paddr, 0x8B8A8988u);
    EXPECT_EQ(h.s_vaddr, 0x8F8E8D8Cu);
    EXPECT_EQ(h.s_size, 0x93929190u);
    EXPECT_EQ(h.s_scnptr, 0x97969594u);
    EXPECT_EQ(h.s_relptr, 0x9B9A9998u);
    EXPECT_EQ(h.s_lnnoptr, 0x9F9E9D9Cu);
    EXPECT_EQ(h.s_nreloc, 0xA3A2A1A0u);
    EXPECT_EQ(h.s_nlnno, 0xA7A6A5A4u);
    EXPECT_EQ(h.s_flags, 0xABAAA9A8u);
    EXPECT_EQ(h.s_reserved, 0xADAC);
    EXPECT_EQ(h.s_page, 0xAFAE);
}

TEST(Decoders, LongerSpanReadsOnlyTheRecord) {
    std::vector<uint8_t> b = ramp(100);
    velm::SectionHeader s;
    ASSERT_TRUE(decode_section_header(ByteSpan{b.data() + 48, 52}, &s));
    EXPECT_EQ(s.s_name[0], 0xB0);
    EXPECT_EQ(s.s_page, 0xDFDE);
}

TEST(Decoders, ShortSpanFailsAndZeroes) {
    std::vector<uint8_t> b = ramp(48);
    velm::FileHeader f;
    velm::OptHeader o;
    velm::SectionHeader s;
    // One byte short of each record, and no data at all.
    std::memset(&f, 0x5A, sizeof f);
    std::memset(&o, 0x5A, sizeof o);
    std::memset(&s, 0x5A, sizeof s);
    EXPECT_FALSE(decode_file_header(ByteSpan{b.data(), 21}, &f));
    EXPECT_FALSE(decode_opt_header(ByteSpan{b.data(), 27}, &o));
    EXPECT_FALSE(decode_section_header(ByteSpan{b.data(), 47}, &s));
    EXPECT_EQ(f.f_version, 0);
    EXPECT_EQ(f.f_target_id, 0);
    EXPECT_EQ(f.f_symptr, 0u);
    EXPECT_EQ(o.o_magic, 0);
    EXPECT_EQ(o.o_entry, 0u);
    EXPECT_EQ(o.o_data_start, 0u);
    EXPECT_EQ(s.s_name[0], 0);
    EXPECT_EQ(s.s_name[7], 0);
    EXPECT_EQ(s.s_size, 0u);
    EXPECT_EQ(s.s_page, 0);

    std::memset(&s, 0x5A, sizeof s);
    EXPECT_FALSE(decode_section_header(ByteSpan{nullptr, 0}, &s));
    EXPECT_EQ(s.s_flags, 0u);
    EXPECT_FALSE(decode_file_header(ByteSpan{nullptr, 22}, &f));
}

}  // namespace
