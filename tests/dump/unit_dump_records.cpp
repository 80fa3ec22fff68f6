// Record decoding, the checks, the summary, the diff and the output texts of velm_dump,
// on images assembled word by word.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dump/crc32.h"
#include "dump/dump_format.h"
#include "dump/image.h"
#include "dump/image_diff.h"
#include "dump/image_reader.h"
#include "dump_test_support.h"

using namespace velm::dump;

namespace {

using Words = std::vector<uint32_t>;
using Texts = std::vector<std::string>;

// A BINARY image of `words`, followed by `stray` extra bytes.
std::string binary(const Words& words, const std::string& stray = "") {
    std::string out;
    for (uint32_t w : words) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>(w >> (8 * i));
    }
    return out + stray;
}

Texts messages(const Image& image) {
    Texts out;
    for (const Problem& p : image.problems) out.push_back(p.message);
    return out;
}

constexpr uint32_t S = velm::kSectionRecordTag;
constexpr uint32_t C = velm::kCinitRecordTag;
constexpr uint32_t E = velm::kEndRecordTag;

}  // namespace

TEST(DumpDecode, ACompleteImageGivesItsRecordsWithWordCountsAndCrcs) {
    Image image = read_image(binary({S, 0x400, 6, 0x04030201, 0x00000605,  //
                                     C, 0x80001000, 1, 0xDDCCBBAA,         //
                                     E, 0, 0}));
    EXPECT_TRUE(image.problems.empty());
    ASSERT_EQ(image.records.size(), 3u);
    const Record& sec = image.records[0];
    EXPECT_EQ(&sec, &image.records[0]);  // record 1
    EXPECT_EQ(kind_of(sec), RecordKind::section);
    EXPECT_EQ(sec.address, 0x400u);
    EXPECT_EQ(sec.length, 6u);
    EXPECT_EQ(data_words_of(sec), 2u);
    EXPECT_EQ(sec.crc32, velm_dump_test::crc32_of({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(record_bytes(image, sec), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    // Only the announced bytes count: the three rounding bytes of a cinit word do not.
    const Record& cin = image.records[1];
    EXPECT_EQ(kind_of(cin), RecordKind::cinit);
    EXPECT_EQ(position_of(cin), 20u);  // word 5
    EXPECT_EQ(data_words_of(cin), 1u);
    EXPECT_EQ(cin.crc32, velm_dump_test::crc32_of({0xAA}));
    EXPECT_EQ(kind_of(image.records[2]), RecordKind::end);
    EXPECT_EQ(data_words_of(image.records[2]), 0u);

    Summary sum = summarize(image);
    EXPECT_EQ(sum.records, 2u);
    EXPECT_EQ(sum.section_records, 1u);
    EXPECT_EQ(sum.cinit_records, 1u);
    EXPECT_EQ(sum.bytes, 7u);
    EXPECT_TRUE(sum.has_range);
    EXPECT_EQ(sum.lowest, 0x400u);
    EXPECT_EQ(sum.highest, 0x80001000u);
}

TEST(DumpDecode, AnImageOfTheEndRecordAloneIsSoundAndEmpty) {
    Image image = read_image(binary({E, 0, 0}));
    EXPECT_TRUE(image.problems.empty());
    Summary sum = summarize(image);
    EXPECT_EQ(sum.records, 0u);
    EXPECT_EQ(sum.bytes, 0u);
    EXPECT_FALSE(sum.has_range);
}

TEST(DumpDecode, TheLastByteMayLieAt0xFFFFFFFEAtTheHighest) {
    Image ok = read_image(binary({S, 0xFFFFFFF0, 0x0F, 1, 2, 3, 4, E, 0, 0}));
    EXPECT_TRUE(ok.problems.empty()) << messages(ok)[0];
    EXPECT_EQ(summarize(ok).highest, 0xFFFFFFFEu);

    // As velm_check judges it: address + length may not pass 0xFFFFFFFF.
    Image top = read_image(binary({S, 0xFFFFFFF0, 0x10, 1, 2, 3, 4, E, 0, 0}));
    EXPECT_EQ(messages(top), Texts{"record 1 (section) at byte offset 0: address range "
                                   "0xFFFFFFF0..0xFFFFFFFF reaches 0xFFFFFFFF"});

    Image bad = read_image(binary({S, 0xFFFFFFF0, 0x11, 1, 2, 3, 4, 5, E, 0, 0}));
    EXPECT_EQ(messages(bad), Texts{"record 1 (section) at byte offset 0: address range "
                                   "0xFFFFFFF0..0x100000000 passes 0xFFFFFFFF"});
    ASSERT_EQ(bad.records.size(), 2u);  // the length is sound, so decoding goes on
    EXPECT_EQ(summarize(bad).highest, 0x100000000u);
}

TEST(DumpDecode, LengthZeroIsReportedAndDecodingGoesOn) {
    Image image = read_image(binary({C, 0x100, 0, S, 0x200, 4, 9, E, 0, 0}));
    EXPECT_EQ(messages(image),
              Texts{"record 1 (cinit) at byte offset 0: invalid length 0x00000000"});
    ASSERT_EQ(image.records.size(), 3u);
    EXPECT_EQ(data_words_of(image.records[0]), 0u);
    Summary sum = summarize(image);
    EXPECT_EQ(sum.lowest, 0x200u);  // a record without bytes covers no address
    EXPECT_EQ(sum.highest, 0x203u);
}

// A BINARY image reaches the decoder in pieces as the file is read: a header or a word
// split between two pieces must read as one.
TEST(DumpDecode, BytesInPiecesOfAnySizeDecodeAsAWhole) {
    const std::string images[] = {
        binary({S, 0x400, 6, 0x04030201, 0x605, C, 0x900, 1, 7, E, 0, 0}),
        binary({S, 0x400, 6, 0x04030201, 0x605, 0x12345678, 1, 2}),  // an unknown tag
        binary({S, 0x400, 6, 0x04030201, 0x605, C, 0x900}, "\x09"),  // a cut header
        binary({S, 0x400, 9, 1, 2}),                                 // cut data
    };
    for (const std::string& whole : images) {
        const Image once = read_image(whole);
        for (size_t piece = 1; piece <= 13; ++piece) {
            ImageRead read;
            Decoder* d = decoder_new(&read, Encoding::binary, true);
            for (size_t at = 0; at < whole.size(); at += piece) {
                binary_feed(d, reinterpret_cast<const uint8_t*>(whole.data()) + at,
                            std::min(piece, whole.size() - at));
            }
            binary_finish(d);
            decoder_free(d);
            Texts problems;
            ProblemWalk walk;
            Problem p;
            while (next_problem(read, &walk, &p)) problems.push_back(p.message);
            EXPECT_EQ(problems, messages(once)) << piece;
            ASSERT_EQ(read.records.size(), once.records.size()) << piece;
            for (uint32_t i = 0; i < read.records.size(); ++i) {
                EXPECT_EQ(std::memcmp(&read.records[i], &once.records[i], sizeof(Record)), 0);
            }
        }
    }
}

// The record table grows in blocks: past its small first one, and past 65,536 records.
TEST(DumpDecode, ATableOfManyRecordsKeepsEachOne) {
    Words words;
    for (uint32_t i = 0; i < 70000; ++i) {
        for (uint32_t w : {C, 0x80000000 + 4 * i, 4u, i}) words.push_back(w);
    }
    for (uint32_t w : {E, 0u, 0u}) words.push_back(w);
    Image image = read_image(binary(words));
    EXPECT_TRUE(image.problems.empty());
    ASSERT_EQ(image.records.size(), 70001u);
    for (uint32_t i : {0u, 1023u, 1024u, 1025u, 65535u, 65536u, 69999u}) {
        const Record& r = image.records[i];
        EXPECT_EQ(r.address, 0x80000000 + 4 * i) << i;
        EXPECT_EQ(position_of(r), 16ull * i) << i;
        EXPECT_EQ(r.crc32, velm_dump_test::crc32_of(reinterpret_cast<const uint8_t*>(&i), 4));
    }
    EXPECT_EQ(kind_of(image.records[70000]), RecordKind::end);
}

TEST(DumpDecode, LengthAllOnesStopsDecoding) {
    Image image = read_image(binary({S, 0x100, 0xFFFFFFFF, 1, 2, E, 0, 0}));
    EXPECT_EQ(messages(image),
              Texts{"record 1 (section) at byte offset 0: invalid length 0xFFFFFFFF"});
    EXPECT_TRUE(image.records.empty());
}

TEST(DumpDecode, CutShortHeadersAreNamedByWhatIsPresent) {
    EXPECT_EQ(messages(read_image(binary({S, 0x100, 4, 7}, "\x09\x3B"))),
              Texts{"record 2 at byte offset 16: header cut short by the end of the file: 2 of "
                    "12 bytes present"});
    EXPECT_EQ(messages(read_image(binary({S, 0x100, 4, 7, C, 0x10}, "\x01"))),
              Texts{"record 2 at byte offset 16: header cut short by the end of the file: 9 of "
                    "12 bytes present"});
    // An unknown tag is named as such even without the rest of the header.
    EXPECT_EQ(messages(read_image(binary({S, 0x100, 4, 7, 0x12345678}))),
              Texts{"record 2 at byte offset 16: unknown tag 0x12345678"});
}

TEST(DumpDecode, CutShortDataCountsWordsAndStrayBytes) {
    EXPECT_EQ(messages(read_image(binary({S, 0x100, 9, 7}, "\x01\x02"))),
              Texts{"record 1 (section, address 0x00000100, length 0x00000009) at byte offset "
                    "0: cut short by the end of the file: 3 data words (12 bytes) announced, 6 "
                    "bytes present"});
}

TEST(DumpDecode, EverythingAfterTheEndRecordIsReported) {
    EXPECT_EQ(messages(read_image(binary({E, 0, 0}, std::string(1, '\0')))),
              Texts{"end record (record 1) at byte offset 0 is followed by 1 more byte, from "
                    "byte offset 12"});
    EXPECT_EQ(messages(read_image(binary({S, 1, 1, 1, E, 0, 0, E, 0, 0}))),
              Texts{"end record (record 2) at byte offset 16 is followed by 12 more bytes, from "
                    "byte offset 28"});
}

TEST(DumpDecode, EndRecordWithAddressOrLength) {
    EXPECT_EQ(messages(read_image(binary({E, 0, 4}))),
              Texts{"end record (record 1) at byte offset 0: address 0x00000000 and length "
                    "0x00000004 must both be 0"});
}

TEST(DumpDecode, NoEndRecord) {
    EXPECT_EQ(messages(read_image(binary({S, 0x100, 4, 7}))),
              Texts{"no end record: the file ends at byte offset 16, after record 1"});
    EXPECT_EQ(messages(read_image(std::string())), Texts{"no end record: the file is empty"});
    EXPECT_EQ(messages(read_image(std::string("unsigned int A[] = {\r\n};\r\n"))),
              Texts{"no end record: the initializer list ending at line 2 is empty"});
}

TEST(DumpDecode, TextPositionsAreTheLinesOfTheTags) {
    Image image = read_image(
        std::string("unsigned int A[] = {\n0x90003B09, 0x100, 4,\n 7,\n0x90003B09, 0x102, 0, \n"
                    "0xFFFF3B09, 0, 0, 5 };\n"));
    // Record 2 lies inside record 1's range but covers no byte: no overlap is claimed.
    EXPECT_EQ(messages(image),
              (Texts{"record 2 (section) at line 4: invalid length 0x00000000",
                     "end record (record 3) at line 5 is followed by 1 more word, from line 5"}));
}

TEST(DumpOverlaps, EachRecordThatStartsInsideAnEarlierRangeIsWarnedOnce) {
    // Three records on the same bytes give two warnings, not three; touching ranges and
    // records without bytes give none.
    Image image = read_image(binary({S, 0x100, 8, 1, 2,  //
                                     S, 0x108, 4, 3,     // touches the first: fine
                                     C, 0x100, 4, 4,     // inside the first
                                     C, 0x104, 4, 5,     // inside the first too
                                     S, 0x10C, 0, E, 0, 0}));
    Texts want = {"record 5 (section) at byte offset 68: invalid length 0x00000000",
                  "records 1 (section at byte offset 0) and 3 (cinit at byte offset 36) overlap "
                  "at 0x00000100..0x00000103",
                  "records 1 (section at byte offset 0) and 4 (cinit at byte offset 52) overlap "
                  "at 0x00000104..0x00000107"};
    EXPECT_EQ(messages(image), want);
    EXPECT_EQ(image.problems[1].severity, Severity::warning);
    EXPECT_EQ(image.problems[1].record, 3u);
    EXPECT_EQ(image.problems[1].position, 36u);
    EXPECT_TRUE(has_warnings(image));
}

TEST(DumpOverlaps, ALongRangeIsRememberedPastShortOnesInsideIt) {
    Words words = {S, 0x000, 0x100};
    words.resize(words.size() + 64, 0);  // 0x100 bytes of data
    for (uint32_t w : {S, 0x010u, 4u, 0u, S, 0x0F0u, 4u, 0u, E, 0u, 0u}) words.push_back(w);
    Image image = read_image(binary(words));
    EXPECT_EQ(messages(image),
              (Texts{"records 1 (section at byte offset 0) and 2 (section at byte offset 268) "
                     "overlap at 0x00000010..0x00000013",
                     "records 1 (section at byte offset 0) and 3 (section at byte offset 284) "
                     "overlap at 0x000000F0..0x000000F3"}));
}

TEST(DumpOverlaps, ASingleSharedByteIsAnOverlap) {
    // The second record starts on the first one's last byte: one byte in common.
    Image image = read_image(binary({S, 0x100, 4, 1, S, 0x103, 4, 2, E, 0, 0}));
    EXPECT_EQ(messages(image),
              Texts{"records 1 (section at byte offset 0) and 2 (section at byte offset 16) "
                    "overlap at 0x00000103..0x00000103"});
}

TEST(DumpListing, ShowsEveryRecordAndTheSummary) {
    Image image = read_image(binary({S, 0x400, 6, 0x04030201, 0x00000605,  //
                                     C, 0x80001000, 0, E, 0, 0}));
    EXPECT_EQ(format_listing("img.bin", image),
              "file:      img.bin\n"
              "encoding:  BINARY\n"
              "\n"
              "index  kind     address     length      last        words  crc32\n"
              "    1  section  0x00000400  0x00000006  0x00000405      2  0x81F67724\n"
              "    2  cinit    0x80001000  0x00000000  -               0  0x00000000\n"
              "    3  end      0x00000000  0x00000000  -               0  -\n"
              "\n"
              "records:   2 (1 section, 1 cinit)\n"
              "bytes:     6\n"
              "lowest:    0x00000400\n"
              "highest:   0x00000405\n");
    EXPECT_EQ(velm_dump_test::crc32_of({1, 2, 3, 4, 5, 6}), 0x81F67724u);

    Image empty = read_image(binary({E, 0, 0}));
    std::string text = format_listing("e", empty);
    EXPECT_NE(text.find("records:   0 (0 section, 0 cinit)\nbytes:     0\nlowest:    -\n"
                        "highest:   -\n"),
              std::string::npos)
        << text;
}

TEST(DumpJson, StringsAreEscapedAndAlwaysValidUtf8) {
    EXPECT_EQ(json_string("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(json_string(std::string("\n\t\x01\x1F", 4)), "\"\\u000A\\u0009\\u0001\\u001F\"");
    EXPECT_EQ(json_string("j\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80"),
              "\"j\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80\"");
    // A lone continuation byte, a cut sequence, an overlong form and a surrogate.
    EXPECT_EQ(json_string("\x80|\xC3|\xC0\xAF|\xED\xA0\x80"),
              "\"\\uFFFD|\\uFFFD|\\uFFFD\\uFFFD|\\uFFFD\\uFFFD\\uFFFD\"");
}

TEST(DumpDiff, MatchesRecordsByAddressRangeNotByOrder) {
    Image a = read_image(binary({S, 0x100, 4, 1, C, 0x200, 4, 2, E, 0, 0}));
    Image b = read_image(binary({C, 0x200, 4, 2, S, 0x100, 4, 1, E, 0, 0}));
    EXPECT_TRUE(diff_images(a, b).empty());
    EXPECT_EQ(format_diff(diff_images(a, b)), "");
}

TEST(DumpDiff, IgnoresTheRoundingBytesOfTheLastWord) {
    Image a = read_image(binary({C, 0x200, 5, 0x44332211, 0xEEEEEE55, E, 0, 0}));
    Image b = read_image(binary({C, 0x200, 5, 0x44332211, 0x00000055, E, 0, 0}));
    EXPECT_TRUE(diff_images(a, b).empty());
}

TEST(DumpDiff, ReportsChangedRemovedAndAddedRecordsInAddressOrder) {
    Image a = read_image(binary({S, 0x100, 8, 0x11111111, 0x22222222,  // data change
                                 S, 0x200, 4, 0x33333333,              // grows
                                 C, 0x300, 4, 0x44444444,              // removed
                                 S, 0x500, 4, 0x55555555,              // kind change
                                 E, 0,     0}));
    Image b = read_image(binary({S, 0x600, 4, 0x66666666,              // added
                                 S, 0x100, 8, 0x11111111, 0x22992222,  //
                                 S, 0x200, 8, 0x33333333, 0x77777777,  //
                                 C, 0x500, 4, 0x55555555,              //
                                 E, 0,     0}));
    std::vector<Difference> d = diff_images(a, b);
    ASSERT_EQ(d.size(), 5u);
    EXPECT_EQ(d[0].change, Change::changed);
    EXPECT_TRUE(d[0].data_differ);
    EXPECT_EQ(d[0].first_difference, 0x106u);
    EXPECT_EQ(d[1].change, Change::changed);
    EXPECT_TRUE(d[1].length_differs);
    EXPECT_FALSE(d[1].data_differ);  // the bytes both hold are equal
    EXPECT_EQ(d[2].change, Change::removed);
    EXPECT_EQ(d[3].change, Change::changed);
    EXPECT_TRUE(d[3].kind_differs);
    EXPECT_EQ(d[4].change, Change::added);

    auto crc = [](const Image& img, size_t i) { return img.records[i].crc32; };
    char line[160];
    std::string want;
    std::snprintf(line, sizeof line,
                  "changed  section  0x00000100..0x00000107  data differ from 0x00000106 "
                  "(crc32 0x%08X -> 0x%08X)\n",
                  crc(a, 0), crc(b, 1));
    want += line;
    std::snprintf(line, sizeof line,
                  "changed  section  0x00000200..0x00000203  length 0x00000004 -> 0x00000008 "
                  "(crc32 0x%08X -> 0x%08X)\n",
                  crc(a, 1), crc(b, 2));
    want += line;
    std::snprintf(line, sizeof line,
                  "removed  cinit    0x00000300..0x00000303  4 bytes, crc32 0x%08X\n", crc(a, 2));
    want += line;
    want += "changed  section  0x00000500..0x00000503  kind section -> cinit\n";
    std::snprintf(line, sizeof line,
                  "added    section  0x00000600..0x00000603  4 bytes, crc32 0x%08X\n", crc(b, 0));
    want += line;
    want += "3 changed, 1 removed, 1 added\n";
    EXPECT_EQ(format_diff(d), want);
}

TEST(DumpDiff, RecordsOfTheSameRangePairInFileOrder) {
    Image a = read_image(binary({C, 0x100, 4, 1, C, 0x100, 4, 2, E, 0, 0}));
    Image b = read_image(binary({C, 0x100, 4, 1, C, 0x100, 4, 3, E, 0, 0}));
    std::vector<Difference> d = diff_images(a, b);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].a, &a.records[1]);
    EXPECT_EQ(d[0].b, &b.records[1]);
    Image c = read_image(binary({C, 0x100, 4, 1, E, 0, 0}));
    d = diff_images(a, c);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].change, Change::removed);
    EXPECT_EQ(d[0].a, &a.records[1]);
}

// --diff reads the records a second time: a file that changed in between is trouble, not
// a comparison of whatever bytes now stand there.
TEST(DumpDiff, AFileThatChangedBetweenTheReadsIsTrouble) {
    const std::string old_bytes = binary({S, 0x100, 4, 1, S, 0x200, 4, 2, E, 0, 0});
    const std::string new_bytes = binary({S, 0x100, 4, 1, S, 0x200, 4, 3, E, 0, 0});
    for (size_t at : {size_t{1}, size_t{21}}) {  // a tag, and the address of record 2
        for (bool change_a : {true, false}) {
            // The diff works in the tables, so each round reads the images afresh.
            Image a = read_image(old_bytes);
            Image b = read_image(new_bytes);
            std::string changed = change_a ? old_bytes : new_bytes;
            changed[at] ^= 0x01;
            const std::string& bytes_a = change_a ? changed : old_bytes;
            const std::string& bytes_b = change_a ? new_bytes : changed;
            Source sa = memory_source("a", reinterpret_cast<const uint8_t*>(bytes_a.data()),
                                      bytes_a.size());
            Source sb = memory_source("b", reinterpret_cast<const uint8_t*>(bytes_b.data()),
                                      bytes_b.size());
            DiffTrouble trouble;
            EXPECT_FALSE(diff_images(
                DiffSide{&sa, &a}, DiffSide{&sb, &b}, [](void*, const Difference&) {}, nullptr,
                &trouble))
                << at << " " << change_a;
            EXPECT_EQ(trouble.side, change_a ? &sa : &sb) << at << " " << change_a;
            EXPECT_EQ(trouble.reason, "the file changed while it was being read");
        }
    }
}

TEST(DumpRobustness, RandomlyDamagedImagesDecodeToSoundRecordsOrProblems) {
    // An image in both encodings, the TEXT one laid out as c6x_velm lays it out.
    Words words = {S, 0x400,      10, 0x11111111, 0x22222222, 0x3333,     //
                   C, 0x80001000, 5,  0x44444444, 0x55,                   //
                   S, 0x80000000, 16, 1,          2,          3,      4,  //
                   E, 0,          0};
    std::string text = "// image\r\nunsigned int C6XXX_VELM_DATA[] = \r\n{";
    for (size_t i = 0; i < words.size(); ++i) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%s0x%08X,", i % 4 == 0 ? "\r\n     " : "  ", words[i]);
        text += buf;
    }
    text += "\r\n};\r\n";
    const std::string bin = binary(words);
    ASSERT_TRUE(read_image(text).problems.empty());
    ASSERT_TRUE(read_image(bin).problems.empty());

    uint32_t x = 12345;
    auto next = [&x](uint32_t n) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x % n;
    };
    int sound_count = 0;
    const char kChars[] = "0x19AFuUlL,;{}[]=/*\\\r\n \t-";
    for (int round = 0; round < 4000; ++round) {
        std::string s = round % 2 == 0 ? bin : text;
        for (uint32_t edits = 1 + next(3); edits > 0 && !s.empty(); --edits) {
            size_t at = next(static_cast<uint32_t>(s.size()));
            switch (next(4)) {
                case 0:
                    s[at] = static_cast<char>(next(256));
                    break;
                case 1:
                    s[at] = kChars[next(sizeof kChars - 1)];
                    break;
                case 2:
                    s.erase(at, 1 + next(8));
                    break;
                default:
                    s.resize(at);
                    break;
            }
        }
        Image image = read_image(s);
        for (const Problem& p : image.problems) {
            EXPECT_LE(p.record, image.records.size() + 1) << p.message;
            EXPECT_FALSE(p.message.empty());
        }
        if (has_errors(image)) continue;
        ++sound_count;
        // Sound: the records tile the word stream exactly and end with the end record.
        ASSERT_FALSE(image.records.empty());
        EXPECT_EQ(kind_of(image.records.back()), RecordKind::end);
        const bool in_binary = image.encoding == Encoding::binary;
        uint64_t covered = 0;
        for (const Record& r : image.records) {
            if (in_binary) {
                EXPECT_EQ(position_of(r), 4 * covered);
            }
            covered += 3 + data_words_of(r);
            if (kind_of(r) != RecordKind::end) {
                std::vector<uint8_t> bytes = record_bytes(image, r);
                EXPECT_EQ(bytes.size(), r.length);
                EXPECT_EQ(r.crc32, velm_dump_test::crc32_of(bytes));
            }
        }
        if (in_binary) {
            EXPECT_EQ(4 * covered, s.size());  // no stray bytes either
        } else {
            WordStream words;
            std::vector<Problem> unused;
            read_text(reinterpret_cast<const uint8_t*>(s.data()), s.size(), &words, &unused);
            EXPECT_EQ(covered, words.words.size());
        }
    }
    // Some damage leaves a sound image (a changed data word, a comment character in
    // white space), so both branches above are exercised.
    EXPECT_GT(sound_count, 100);
}
