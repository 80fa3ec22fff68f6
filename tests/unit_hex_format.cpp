// TEXT data words and their line breaks, the hexadecimal and decimal helpers behind
// them, and the length check made before every record.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "writer/hex_format.h"
#include "writer/velm_writer.h"

namespace {

std::vector<uint8_t> le_words(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    return out;
}

std::string format(const std::vector<uint8_t>& bytes, uint32_t first_index, uint32_t whole_words,
                   bool partial_follows) {
    const uint32_t count = static_cast<uint32_t>(bytes.size() / 4);
    std::vector<char> out(velm::kMaxTextPerWord * count + 1, '#');
    char* end = velm::format_text_words(out.data(), bytes.data(), count, first_index, whole_words,
                                        partial_follows);
    EXPECT_LE(end - out.data(), static_cast<std::ptrdiff_t>(velm::kMaxTextPerWord * count));
    return std::string(out.data(), end);
}

std::string hex8u(uint32_t v) {
    char buf[9];
    return std::string(buf, velm::put_hex8_upper(buf, v));
}
std::string hex8l(uint32_t v) {
    char buf[9];
    return std::string(buf, velm::put_hex8_lower(buf, v));
}
std::string hexmin(uint32_t v) {
    char buf[9];
    return std::string(buf, velm::put_hex_min(buf, v));
}
std::string decimal(uint64_t v) {
    char buf[21];
    return std::string(buf, velm::put_decimal(buf, v));
}

const std::string kBreak = "\r\n     ";

}  // namespace

TEST(TextWords, FourWordsPerLineAndBreakAfterLastWord) {
    // Six whole words, no partial word: breaks after index 3 and after the last word.
    EXPECT_EQ(format(le_words({1, 2, 3, 4, 5, 6}), 0, 6, false),
              "0x00000001,  0x00000002,  0x00000003,  0x00000004,  " + kBreak +
                  "0x00000005,  0x00000006,  " + kBreak);
    // A partial word follows: it shares the last line, so no break after the last word.
    EXPECT_EQ(format(le_words({1, 2, 3, 4, 5, 6}), 0, 6, true),
              "0x00000001,  0x00000002,  0x00000003,  0x00000004,  " + kBreak +
                  "0x00000005,  0x00000006,  ");
}

TEST(TextWords, LastWordAtLineEndBreaksOnce) {
    EXPECT_EQ(format(le_words({1, 2, 3, 4}), 0, 4, false),
              "0x00000001,  0x00000002,  0x00000003,  0x00000004,  " + kBreak);
    // Index 3 always ends a line, partial word or not.
    EXPECT_EQ(format(le_words({1, 2, 3, 4}), 0, 4, true),
              "0x00000001,  0x00000002,  0x00000003,  0x00000004,  " + kBreak);
    EXPECT_EQ(format(le_words({0xA}), 0, 1, false), "0x0000000A,  " + kBreak);
    EXPECT_EQ(format(le_words({0xA}), 0, 1, true), "0x0000000A,  ");
}

// A later piece of a record continues the count: breaks follow the word's index within
// the whole record, not within the piece.
TEST(TextWords, IndexOffsetAcrossPieces) {
    EXPECT_EQ(format(le_words({2, 3, 4, 5}), 2, 100, false),
              "0x00000002,  0x00000003,  " + kBreak + "0x00000004,  0x00000005,  ");
    EXPECT_EQ(format(le_words({0xFFFE, 0xFFFF, 0x10000, 0x10001}), 0xFFFE, 0x10005, false),
              "0x0000FFFE,  0x0000FFFF,  " + kBreak + "0x00010000,  0x00010001,  ");
    // The record's last whole word lies in this piece.
    EXPECT_EQ(format(le_words({5, 6}), 5, 7, false), "0x00000005,  0x00000006,  " + kBreak);
    EXPECT_EQ(format(le_words({5, 6}), 5, 7, true), "0x00000005,  0x00000006,  ");
    // The last whole word lies in a later piece: no early break.
    EXPECT_EQ(format(le_words({5, 6}), 5, 9, false), "0x00000005,  0x00000006,  ");
}

TEST(TextWords, WordsAreLittleEndianUpperCase) {
    const std::vector<uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0xEF, 0xBE, 0xAD, 0xDE};
    EXPECT_EQ(format(bytes, 0, 2, true), "0x04030201,  0xDEADBEEF,  ");
}

TEST(TextWords, NoWordsNoText) {
    char out[4] = {'#', '#', '#', '#'};
    uint8_t none[4] = {0, 0, 0, 0};
    EXPECT_EQ(velm::format_text_words(out, none, 0, 0, 0, false), out);
    EXPECT_EQ(out[0], '#');
}

TEST(TextWords, LongRunMatchesLineRule) {
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < 23; ++i) {
        for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(i * 7 + k));
    }
    const std::string text = format(bytes, 0, 23, false);
    // 23 words: five lines of four, one of three, each ending with the break.
    size_t breaks = 0;
    for (size_t at = text.find(kBreak); at != std::string::npos; at = text.find(kBreak, at + 1))
        ++breaks;
    EXPECT_EQ(breaks, 6u);
    EXPECT_EQ(text.size(), 23u * 13 + 6 * kBreak.size());
}

TEST(HexFormat, EightDigits) {
    EXPECT_EQ(hex8u(0), "00000000");
    EXPECT_EQ(hex8u(0x90003B09), "90003B09");
    EXPECT_EQ(hex8u(0xABCDEF01), "ABCDEF01");
    EXPECT_EQ(hex8u(0xFFFFFFFF), "FFFFFFFF");
    EXPECT_EQ(hex8l(0xABCDEF01), "abcdef01");
    EXPECT_EQ(hex8l(0x400), "00000400");
}

TEST(HexFormat, FewestDigits) {
    EXPECT_EQ(hexmin(0), "0");
    EXPECT_EQ(hexmin(0xA80), "A80");
    EXPECT_EQ(hexmin(0x10), "10");
    EXPECT_EQ(hexmin(0x80000000), "80000000");
    EXPECT_EQ(hexmin(0x0000F00D), "F00D");
    EXPECT_EQ(hexmin(0xFFFFFFFF), "FFFFFFFF");
}

TEST(HexFormat, Decimal) {
    EXPECT_EQ(decimal(0), "0");
    EXPECT_EQ(decimal(9), "9");
    EXPECT_EQ(decimal(10), "10");
    EXPECT_EQ(decimal(65535), "65535");
    EXPECT_EQ(decimal(18446744073709551615ull), "18446744073709551615");
}

// Counting up one at a time: each carry into a new digit, and at least three digits.
TEST(HexFormat, DecimalCounter) {
    velm::DecimalCounter c;
    velm::counter_start(&c);
    auto text = [&](uint32_t min_digits) {
        char buf[32];
        return std::string(buf, velm::put_counter(buf, c, min_digits));
    };
    EXPECT_EQ(text(1), "0");
    EXPECT_EQ(text(3), "000");
    std::vector<std::string> seen;
    for (uint32_t n = 1; n <= 100000; ++n) {
        velm::counter_next(&c);
        if (n == 1 || n == 9 || n == 10 || n == 99 || n == 100 || n == 999 || n == 1000 ||
            n == 9999 || n == 10000 || n == 65535 || n == 100000) {
            seen.push_back(text(1) + "/" + text(3));
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1/001", "9/009", "10/010", "99/099", "100/100",
                                              "999/999", "1000/1000", "9999/9999", "10000/10000",
                                              "65535/65535", "100000/100000"}));
}

TEST(HexFormat, TextCopyWithoutTerminator) {
    char buf[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    char* end = velm::put_text(buf, "abc");
    EXPECT_EQ(end, buf + 3);
    EXPECT_EQ(std::string(buf, 4), "abc#");
    EXPECT_EQ(velm::put_text(buf, ""), buf);
}

TEST(RecordLength, Boundaries) {
    EXPECT_EQ(velm::check_record_length(0, 0), velm::kBadDataLength);
    EXPECT_EQ(velm::check_record_length(0x400, 0), velm::kBadDataLength);
    EXPECT_EQ(velm::check_record_length(0, 0xFFFFFFFF), velm::kBadDataLength);
    EXPECT_EQ(velm::check_record_length(0xFFFFFFFF, 0xFFFFFFFF), velm::kBadDataLength);

    EXPECT_EQ(velm::check_record_length(0xFFFFFFF0, 0x10), velm::kAddressRangeExceeded);
    EXPECT_EQ(velm::check_record_length(0xFFFFFFF0, 0x0F), velm::kOk);
    EXPECT_EQ(velm::check_record_length(0xFFFFFFFF, 1), velm::kAddressRangeExceeded);
    EXPECT_EQ(velm::check_record_length(0xFFFFFFFE, 1), velm::kOk);
    EXPECT_EQ(velm::check_record_length(0, 0xFFFFFFFE), velm::kOk);
    EXPECT_EQ(velm::check_record_length(1, 0xFFFFFFFE), velm::kOk);
    EXPECT_EQ(velm::check_record_length(2, 0xFFFFFFFE), velm::kAddressRangeExceeded);
    // No 32-bit wrap-around: this sum would wrap to a small value.
    EXPECT_EQ(velm::check_record_length(0xFFFFFFFF, 0xFFFFFFFE), velm::kAddressRangeExceeded);
    EXPECT_EQ(velm::check_record_length(0x80000000, 0x80000000), velm::kAddressRangeExceeded);

    EXPECT_EQ(velm::kBadDataLength, -2020);
    EXPECT_EQ(velm::kAddressRangeExceeded, -2019);
}
