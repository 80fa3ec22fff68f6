// The check on hand-made images: every fault with the record and word it names, in
// both encodings; no write for a damaged image; the write function's own failures; and
// a BINARY image cut at every length.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/coff_builder.h"
#include "velm_boot.h"

namespace {

using Words = std::vector<uint32_t>;

constexpr unsigned int S = VELM_TAG_SECTION;
constexpr unsigned int C = VELM_TAG_CINIT;
constexpr unsigned int E = VELM_TAG_END;

struct Writes {
    std::vector<uint32_t> addresses;
    std::vector<uint32_t> lengths;
    size_t fail_at = SIZE_MAX;  // the call (from 0) that returns `failure`
    int failure = 0;
};

int record_write(void* ctx, uint32_t address, const unsigned int*, uint32_t length) {
    Writes* w = static_cast<Writes*>(ctx);
    const bool fail = w->addresses.size() == w->fail_at;
    w->addresses.push_back(address);
    w->lengths.push_back(length);
    return fail ? w->failure : 0;
}

struct Case {
    const char* name;
    Words words;
    int error;
    size_t record;
    size_t word;
};

const Case kCases[] = {
    {"sound", {S, 0x100, 5, 1, 2, C, 0x200, 4, 3, E, 0, 0}, VELM_OK, 2, 9},
    {"sound_end_record_only", {E, 0, 0}, VELM_OK, 0, 0},
    {"sound_up_to_0xFFFFFFFE", {C, 0xFFFFFFF0, 0x0F, 1, 2, 3, 4, E, 0, 0}, VELM_OK, 1, 7},

    {"unknown_tag_first", {0x90023B09, 0, 0, E, 0, 0}, VELM_ERR_UNKNOWN_TAG, 0, 0},
    {"unknown_tag_after_a_record", {S, 0x100, 4, 1, 0x3B09, 0, 0}, VELM_ERR_UNKNOWN_TAG, 1, 4},
    {"unknown_tag_in_the_last_word", {S, 0x100, 4, 1, 0}, VELM_ERR_UNKNOWN_TAG, 1, 4},

    {"data_cut_short", {S, 0x100, 9, 1, 2}, VELM_ERR_TRUNCATED, 0, 0},
    {"data_run_over_the_end_record", {C, 0x100, 20, 1, E, 0, 0}, VELM_ERR_TRUNCATED, 0, 0},
    {"header_cut_short", {S, 0x100, 4, 1, E, 0}, VELM_ERR_TRUNCATED, 1, 4},

    {"length_0", {S, 0x100, 0, E, 0, 0}, VELM_ERR_BAD_LENGTH, 0, 0},
    {"length_all_ones", {S, 0, 0xFFFFFFFF, E, 0, 0}, VELM_ERR_BAD_LENGTH, 0, 0},
    {"cinit_length_0", {S, 0x100, 1, 1, C, 0x200, 0, E, 0, 0}, VELM_ERR_BAD_LENGTH, 1, 4},

    {"last_byte_at_0xFFFFFFFF",
     {S, 0xFFFFFFF0, 0x10, 1, 2, 3, 4, E, 0, 0},
     VELM_ERR_ADDRESS_RANGE,
     0,
     0},
    {"address_wraps", {C, 0xFFFFFFFF, 2, 1, E, 0, 0}, VELM_ERR_ADDRESS_RANGE, 0, 0},
    // Checked before the data: the announced words need not be there.
    {"range_before_presence",
     {S, 0x80000000, 0x80000001, 1, E, 0, 0},
     VELM_ERR_ADDRESS_RANGE,
     0,
     0},

    {"empty", {}, VELM_ERR_NO_END, 0, 0},
    {"no_end_after_records", {S, 0x100, 4, 1, C, 0x200, 1, 2}, VELM_ERR_NO_END, 2, 8},

    {"word_after_the_end", {S, 0x100, 4, 1, E, 0, 0, 0}, VELM_ERR_AFTER_END, 2, 7},

    {"end_with_an_address", {E, 0x100, 0}, VELM_ERR_BAD_END, 0, 0},
    {"end_with_a_length", {S, 0x100, 4, 1, E, 0, 4, 0}, VELM_ERR_BAD_END, 1, 4},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class BootCheck : public ::testing::TestWithParam<Case> {};

TEST_P(BootCheck, NamesTheFaultAndWritesNothingForADamagedImage) {
    const Case& c = GetParam();
    const unsigned int* words = c.words.empty() ? nullptr : c.words.data();
    velm_report report = {-99, 99, 99};
    EXPECT_EQ(velm_check(words, c.words.size(), &report), c.error);
    EXPECT_EQ(report.error, c.error);
    EXPECT_EQ(report.record, c.record);
    EXPECT_EQ(report.word, c.word);
    Writes writes;
    EXPECT_EQ(velm_boot(words, c.words.size(), record_write, &writes), c.error);

    const std::vector<unsigned char> bytes = velm_test::words(c.words);
    velm_report binary = {-99, 99, 99};
    EXPECT_EQ(velm_check_bytes(bytes.data(), bytes.size(), &binary), c.error);
    EXPECT_EQ(binary.record, c.record);
    EXPECT_EQ(binary.word, c.word);
    Writes binary_writes;
    EXPECT_EQ(velm_boot_bytes(bytes.data(), bytes.size(), record_write, &binary_writes), c.error);

    if (c.error != VELM_OK) {
        EXPECT_TRUE(writes.addresses.empty());
        EXPECT_TRUE(binary_writes.addresses.empty());
        EXPECT_NE(velm_error_text(c.error), nullptr);
    } else {
        EXPECT_EQ(writes.addresses.size(), c.record);
        EXPECT_EQ(binary_writes.addresses, writes.addresses);
        EXPECT_EQ(binary_writes.lengths, writes.lengths);
    }
}

INSTANTIATE_TEST_SUITE_P(Images, BootCheck, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

// A BINARY image is bytes: one cut inside a word still leaves the bytes before it.
TEST(BootCheckBytes, StrayBytesAreAnIncompleteRecordOrDataAfterTheEnd) {
    const std::vector<unsigned char> sound = velm_test::words({S, 0x100, 5, 1, 2, E, 0, 0});
    std::vector<unsigned char> longer = sound;
    longer.push_back(0);
    velm_report report;
    EXPECT_EQ(velm_check_bytes(longer.data(), longer.size(), &report), VELM_ERR_AFTER_END);
    EXPECT_EQ(report.record, 2u);
    EXPECT_EQ(report.word, 8u);

    // Every shorter prefix fails without a write: cut in a header or in the data, or
    // (at the two record boundaries) with no end record.
    for (size_t n = 0; n < sound.size(); ++n) {
        Writes writes;
        const int error = velm_boot_bytes(sound.data(), n, record_write, &writes);
        const int expected = n == 0 || n == 20 ? VELM_ERR_NO_END : VELM_ERR_TRUNCATED;
        EXPECT_EQ(error, expected) << n << " bytes";
        EXPECT_TRUE(writes.addresses.empty()) << n << " bytes";
        EXPECT_EQ(velm_check_bytes(sound.data(), n, &report), expected) << n << " bytes";
        EXPECT_EQ(report.record, n < 20 ? 0u : 1u) << n << " bytes";
    }
}

TEST(BootWrite, AFailedWriteStopsTheWalkAndComesBackUnchanged) {
    // Records of 4, 600 and 4 bytes: BINARY hands the second on in pieces of 256 bytes.
    Words image = {S, 0x100, 4, 1, C, 0x1000, 600};
    image.resize(image.size() + 150, 0xA5A5A5A5);
    for (unsigned int w : {S, 0x2000u, 4u, 2u, E, 0u, 0u}) image.push_back(w);
    const std::vector<unsigned char> bytes = velm_test::words(image);

    Writes all;
    EXPECT_EQ(velm_boot(image.data(), image.size(), record_write, &all), VELM_OK);
    EXPECT_EQ(all.addresses, (std::vector<uint32_t>{0x100, 0x1000, 0x2000}));
    EXPECT_EQ(all.lengths, (std::vector<uint32_t>{4, 600, 4}));
    Writes pieces;
    EXPECT_EQ(velm_boot_bytes(bytes.data(), bytes.size(), record_write, &pieces), VELM_OK);
    EXPECT_EQ(pieces.addresses, (std::vector<uint32_t>{0x100, 0x1000, 0x1100, 0x1200, 0x2000}));
    EXPECT_EQ(pieces.lengths, (std::vector<uint32_t>{4, 256, 256, 88, 4}));

    for (int failure : {7, -1, VELM_ERR_TRUNCATED}) {
        Writes text;
        text.fail_at = 1;
        text.failure = failure;
        EXPECT_EQ(velm_boot(image.data(), image.size(), record_write, &text), failure);
        EXPECT_EQ(text.addresses.size(), 2u) << "no write after the failed one";
        Writes binary;
        binary.fail_at = 2;
        binary.failure = failure;
        EXPECT_EQ(velm_boot_bytes(bytes.data(), bytes.size(), record_write, &binary), failure);
        EXPECT_EQ(binary.addresses.size(), 3u) << "no piece after the failed one";
    }

    // Without a write function the boot functions only check.
    EXPECT_EQ(velm_boot(image.data(), image.size(), nullptr, nullptr), VELM_OK);
    EXPECT_EQ(velm_boot_bytes(bytes.data(), 3, nullptr, nullptr), VELM_ERR_TRUNCATED);
}

// Firmware prints these texts: each code keeps its own, and no value gives NULL.
TEST(BootErrorText, EveryCodeHasItsOwnText) {
    const std::pair<int, const char*> kTexts[] = {
        {VELM_OK, "sound image"},
        {VELM_ERR_UNKNOWN_TAG, "unknown record tag"},
        {VELM_ERR_TRUNCATED, "record runs past the end of the image"},
        {VELM_ERR_BAD_LENGTH, "record length 0 or 0xFFFFFFFF"},
        {VELM_ERR_ADDRESS_RANGE, "record passes address 0xFFFFFFFF"},
        {VELM_ERR_NO_END, "no end record"},
        {VELM_ERR_AFTER_END, "data after the end record"},
        {VELM_ERR_BAD_END, "end record with an address or length"},
        {1, "write function failed"},
        {INT_MAX, "write function failed"},
        {-8, "unknown code"},
        {INT_MIN, "unknown code"},
    };
    for (const auto& [code, text] : kTexts) {
        const char* got = velm_error_text(code);
        ASSERT_NE(got, nullptr) << code;
        EXPECT_STREQ(got, text) << code;
    }
}

}  // namespace
