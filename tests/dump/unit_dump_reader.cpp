// CRC-32, encoding detection and the two readers of velm_dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump/crc32.h"
#include "dump/dump_run.h"
#include "dump/image_diff.h"
#include "dump/image_reader.h"

using namespace velm::dump;

namespace {

const uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

struct TextResult {
    bool decodable = false;
    std::vector<uint32_t> words;
    std::vector<uint32_t> lines;
    std::vector<std::string> problems;
    uint64_t end_line = 0;
};

TextResult parse(const std::string& source) {
    TextResult r;
    WordStream s;
    std::vector<Problem> problems;
    r.decodable = read_text(u8(source), source.size(), &s, &problems);
    r.words = s.words;
    r.lines.assign(s.lines.begin(), s.lines.end());
    r.end_line = s.end_position;
    for (const Problem& p : problems) r.problems.push_back(p.message);
    return r;
}

using Words = std::vector<uint32_t>;
using Texts = std::vector<std::string>;

}  // namespace

TEST(DumpCrc32, MatchesTheStandardCheckValues) {
    const std::string check = "123456789";
    EXPECT_EQ(crc32_end(crc32_update(crc32_begin(), u8(check), check.size())), 0xCBF43926u);
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(crc32_end(crc32_update(crc32_begin(), u8(fox), fox.size())), 0x414FA339u);
    EXPECT_EQ(crc32_end(crc32_update(crc32_begin(), nullptr, 0)), 0u);
    const uint8_t zero = 0;
    EXPECT_EQ(crc32_end(crc32_update(crc32_begin(), &zero, 1)), 0xD202EF8Du);
}

TEST(DumpCrc32, PiecesGiveTheSameResultAsOneCall) {
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    for (size_t split = 0; split <= fox.size(); ++split) {
        uint32_t state = crc32_begin();
        state = crc32_update(state, u8(fox), split);
        state = crc32_update(state, u8(fox) + split, fox.size() - split);
        EXPECT_EQ(crc32_end(state), 0x414FA339u) << "split at " << split;
    }
}

TEST(DumpDetection, EachEncodingIsToldByWhatItStartsWith) {
    auto detect = [](const std::string& s) { return detect_encoding(u8(s), s.size()); };
    EXPECT_EQ(detect(std::string("\x09\x3B\x00\x90", 4)), Encoding::binary);
    EXPECT_EQ(detect(std::string("\x09\x3B", 2)), Encoding::binary);  // cut after 2 bytes
    EXPECT_EQ(detect("\x09"), Encoding::binary);                      // cut after 1 byte
    EXPECT_EQ(detect(""), Encoding::binary);
    // Text at the start makes a C source, whatever bytes a comment holds further on.
    EXPECT_EQ(detect(std::string("// x\x01y\x00\n", 8)), Encoding::text);
    EXPECT_EQ(detect("x\x56\x34\x12"), Encoding::text);

    EXPECT_EQ(detect("// TMS320C6xxx\r\nunsigned int A[] = \r\n{0};\r\n"), Encoding::text);
    EXPECT_EQ(detect("\tunsigned int A[] = {0};\f\v\n"), Encoding::text);
    EXPECT_EQ(detect("\xEF\xBB\xBFunsigned int A[] = {0};"), Encoding::text);
    EXPECT_EQ(detect("// source: /home/j\xC3\xBCrgen/APP.OUT\nunsigned int A[]={0};"),
              Encoding::text);

    // Neither: read as BINARY, and said so. A file read as TEXT without a declaration
    // says why it was read as TEXT.
    bool assumed = false;
    const std::string damaged("\x12\x34\x00\x90", 4);
    EXPECT_EQ(detect_encoding(u8(damaged), damaged.size(), &assumed), Encoding::binary);
    EXPECT_TRUE(assumed);
    auto messages = [](const std::string& bytes) {
        Texts out;
        for (const Problem& p : read_image(bytes).problems) out.push_back(p.message);
        return out;
    };
    EXPECT_EQ(messages(" \t" + damaged),
              (Texts{"read as BINARY: the file starts with neither the bytes 09 3B of a BINARY "
                     "image nor C source text (byte 0x12 at byte offset 2)",
                     "record 1 at byte offset 0: unknown tag 0x34120920"}));
    EXPECT_EQ(messages("hello world\n"),
              (Texts{"read as TEXT: the file starts with text, not with the bytes 09 3B of a "
                     "BINARY image, but holds no C declaration",
                     "line 1: expected '[', found the end of the file"}));
    EXPECT_EQ(messages(std::string("\x09\x3A", 2)).size(), 2u);  // a tag's damaged half
}

TEST(DumpBinaryReader, ReadsLittleEndianWordsAndCountsStrayBytes) {
    const Image image = read_image(std::string("\x09\x3B\x00\x90\x01\x02\x03\x04\xAA\xBB", 10));
    EXPECT_EQ(image.encoding, Encoding::binary);
    ASSERT_EQ(image.problems.size(), 1u);
    EXPECT_EQ(image.problems[0].message,
              "record 1 at byte offset 0: header cut short by the end of the file: 10 of 12 "
              "bytes present");
}

TEST(DumpTextReader, ReadsHexDecimalAndOctalLiteralsWithSuffixes) {
    TextResult r = parse(
        "unsigned int A[] = {0x1f, 0XAB, 10, 010, 0, 4294967295, 0xFFFFFFFF, 000000000000001,"
        " 1u, 2U, 3ul, 4UL, 5lu, 6LLU, 7ull, 0x8uLL, 9l, 10LL};");
    EXPECT_TRUE(r.decodable);
    EXPECT_TRUE(r.problems.empty()) << r.problems[0];
    EXPECT_EQ(r.words,
              (Words{31, 171, 10, 8, 0, 0xFFFFFFFF, 0xFFFFFFFF, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST(DumpTextReader, RefusesMalformedAndOversizedNumbers) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1uu", "line 1: invalid number '1uu'"},
        {"1lL", "line 1: invalid number '1lL'"},
        {"1ulu", "line 1: invalid number '1ulu'"},
        {"0x", "line 1: invalid number '0x'"},
        {"08", "line 1: invalid number '08'"},
        {"1.5", "line 1: invalid number '1.5'"},
        {"0x1G", "line 1: invalid number '0x1G'"},
        {"12abc", "line 1: invalid number '12abc'"},
        {"0x100000000", "line 1: number 0x100000000 does not fit into 32 bits"},
        {"4294967296", "line 1: number 4294967296 does not fit into 32 bits"},
        {"040000000000", "line 1: number 040000000000 does not fit into 32 bits"},
        {"99999999999999999999999",
         "line 1: number 99999999999999999999999 does not fit into "
         "32 bits"},
    };
    for (const auto& [literal, message] : cases) {
        TextResult r = parse("unsigned int A[] = {1, " + literal + "};");
        EXPECT_FALSE(r.decodable) << literal;
        EXPECT_EQ(r.problems, Texts{message}) << literal;
    }
}

TEST(DumpTextReader, SkipsCommentsAndWhiteSpaceAndCountsLines) {
    TextResult r = parse(
        "/* a */ unsigned /* b */ int // c, 7,\n"
        "  A[] = { // d\n"
        "\t1, /* e, 2,\n"
        " */ 3 ,\r\n"
        "  0x4 , };  // after\n"
        "/* closing */\n");
    EXPECT_TRUE(r.decodable);
    EXPECT_TRUE(r.problems.empty()) << r.problems[0];
    EXPECT_EQ(r.words, (Words{1, 3, 4}));
    EXPECT_EQ(r.lines, (Words{3, 4, 5}));
    EXPECT_EQ(r.end_line, 5u);
}

TEST(DumpTextReader, AcceptsCrLfLineEndsAndATrailingComma) {
    TextResult r = parse("unsigned int A[] = \r\n{\r\n     0x1,  0x2,\r\n     0x3,\r\n};\r\n");
    EXPECT_TRUE(r.problems.empty()) << r.problems[0];
    EXPECT_EQ(r.words, (Words{1, 2, 3}));
    EXPECT_EQ(r.lines, (Words{3, 3, 4}));
}

TEST(DumpTextReader, SplicesBackslashNewlineAsACompilerDoes) {
    // The comment goes on on the next line, so 5 is no word; the literal 0x12 is split.
    TextResult r = parse("// comment \\\n 5, \nunsigned int A[] = {0x1\\\r\n2, 3};");
    EXPECT_TRUE(r.problems.empty()) << r.problems[0];
    EXPECT_EQ(r.words, (Words{0x12, 3}));
    EXPECT_EQ(r.lines, (Words{3, 4}));
}

TEST(DumpTextReader, SkipsAByteOrderMark) {
    TextResult r = parse("\xEF\xBB\xBFunsigned int A[] = {\n1};");
    EXPECT_TRUE(r.problems.empty()) << r.problems[0];
    EXPECT_EQ(r.words, Words{1});
    EXPECT_EQ(r.lines, Words{2});
}

TEST(DumpTextReader, AcceptsOtherDeclarationSpecifiersAndAnEmptyList) {
    TextResult r = parse("static const uint32_t boot_image[] = { 7 };");
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(r.words, Words{7});
    r = parse("unsigned int A[] = {};");
    EXPECT_TRUE(r.decodable);
    EXPECT_TRUE(r.problems.empty());
    EXPECT_TRUE(r.words.empty());
}

TEST(DumpTextReader, ReportsSyntaxErrorsWithTheirLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"",
         "line 1: expected the declaration 'unsigned int NAME[] = {', found the end of the "
         "file"},
        {"int[] = {1};", "line 1: expected the declaration 'unsigned int NAME[] = {', found '['"},
        {"\n#include <x.h>\n",
         "line 2: expected the declaration 'unsigned int NAME[] = {', "
         "found '#'"},
        {"unsigned int A[4] = {1};", "line 1: expected ']', found '4'"},
        {"unsigned int A[] {1};", "line 1: expected '=', found '{'"},
        {"unsigned int A[] = 1;", "line 1: expected '{', found '1'"},
        {"unsigned int A[] = {,};", "line 1: expected a number, found ','"},
        {"unsigned int A[] = {1,,2};", "line 1: expected a number, found ','"},
        {"unsigned int A[] = {\n-1};", "line 2: expected a number, found '-'"},
        {"unsigned int A[] = {1\n+2};", "line 2: expected ',' or '}', found '+'"},
        {"unsigned int A[] = {1 2};", "line 1: expected ',' or '}', found '2'"},
        {"unsigned int A[] = {1, \x80};", "line 1: expected a number, found byte 0x80"},
        {"unsigned int A[] = {1, /* x\n\n", "line 1: unterminated comment"},
    };
    for (const auto& [source, message] : cases) {
        TextResult r = parse(source);
        EXPECT_FALSE(r.decodable) << source;
        EXPECT_EQ(r.problems, Texts{message}) << source;
    }
}

TEST(DumpTextReader, AFileEndingInsideTheListStillDeliversItsWords) {
    TextResult r = parse("unsigned int A[] = {1, 2,\n3");
    EXPECT_TRUE(r.decodable);
    EXPECT_EQ(r.words, (Words{1, 2, 3}));
    EXPECT_EQ(r.problems,
              Texts{"line 2: the file ends inside the initializer list (no closing '};')"});
    EXPECT_EQ(r.end_line, 2u);

    r = parse("unsigned int A[] = {\r\n");
    EXPECT_TRUE(r.decodable);
    EXPECT_TRUE(r.words.empty());
    EXPECT_EQ(r.problems,
              Texts{"line 1: the file ends inside the initializer list (no closing '};')"});
}

TEST(DumpTextReader, ProblemsAfterTheClosedListKeepItsWords) {
    TextResult r = parse("unsigned int A[] = {1}");
    EXPECT_TRUE(r.decodable);
    EXPECT_EQ(r.words, Words{1});
    EXPECT_EQ(r.problems, Texts{"line 1: expected ';' after '}', found the end of the file"});

    r = parse("unsigned int A[] = {1};\n\nint b;\n");
    EXPECT_TRUE(r.decodable);
    EXPECT_EQ(r.words, Words{1});
    EXPECT_EQ(r.problems, Texts{"line 3: unexpected 'int' after the declaration"});
}

namespace {

// A TEXT image of `words` laid out in every way the tokenizer must read alike (the
// literals c6x_velm writes, other literal forms, blanks, comments, line splices, LF and
// CR LF), several read windows long; words [plain, plain_end) exactly as c6x_velm lays
// them out. *lines gets each word's line, *at each literal's byte offset.
std::string varied_text(const Words& words, size_t plain, size_t plain_end,
                        std::vector<uint32_t>* lines, std::vector<size_t>* at) {
    static const char* const kBlanks[] = {
        "  ",           "\r\n     ", "\n",      " /* a, 1 */ ",
        " // b, 2\r\n", "\\\r\n",    "\t\v\f ", "\r\n// 'x\\\r\n5, spliced':\r\n "};
    std::string out = "// image\r\nunsigned int A[] = {";
    uint32_t line = 2;
    uint32_t x = 77;
    for (size_t i = 0; i < words.size(); ++i) {
        const uint32_t w = words[i];
        x = x * 1103515245u + 12345u;
        const bool as_written = i >= plain && i < plain_end;
        if (as_written) x &= ~0x700u;  // the literal form c6x_velm writes
        const std::string blank =
            as_written ? (i % 4 == 0 ? "  \r\n     " : "  ") : kBlanks[(x >> 16) % 8];
        out += blank;
        for (char c : blank) line += c == '\n' ? 1 : 0;
        lines->push_back(line);
        at->push_back(out.size());
        char literal[32];
        switch ((x >> 8) % 8) {
            case 3:
                std::snprintf(literal, sizeof literal, "0x%x", w);
                break;
            case 4:
                std::snprintf(literal, sizeof literal, "0%o", w);
                break;
            case 5:
                std::snprintf(literal, sizeof literal, "%uu", w);
                break;
            case 6:  // split by a splice
                std::snprintf(literal, sizeof literal, "0x%04X\\\n%04X", w >> 16, w & 0xFFFF);
                ++line;
                break;
            default:  // as c6x_velm writes them
                std::snprintf(literal, sizeof literal, "0x%08X", w);
        }
        out += literal;
        out += ",";
    }
    return out + "\r\n};\r\n";
}

}  // namespace

TEST(DumpTextReader, EveryLayoutReadsAlikeAcrossTheReadWindows) {
    constexpr uint32_t S = velm::kSectionRecordTag;
    Words words;
    // Records of 150,000, 7 and 60,000 data words (over 2 MB of TEXT), then the end.
    uint32_t address = 0;
    for (uint32_t n : {150000u, 7u, 60000u}) {
        address += 0x10000000;
        for (uint32_t w : {S, address, 4 * n}) words.push_back(w);
        for (uint32_t i = 0; i < n; ++i) words.push_back(i * 2654435761u);
    }
    for (uint32_t w : {velm::kEndRecordTag, 0u, 0u}) words.push_back(w);
    std::vector<uint32_t> lines;
    std::vector<size_t> at;
    const size_t last_record = 3 + 150000 + 3 + 7 + 3;  // its first data word
    const std::string text =
        varied_text(words, last_record + 55000, last_record + 60000, &lines, &at);
    TextResult r = parse(text);
    EXPECT_TRUE(r.problems.empty()) << r.problems[0];
    EXPECT_TRUE(r.words == words);
    EXPECT_TRUE(r.lines == lines);

    // Records found and read again at random (as --diff reads them) from either
    // encoding, and compared: equal, and one changed byte found where it is.
    std::string bin;
    for (uint32_t w : words) bin.append(reinterpret_cast<const char*>(&w), 4);
    Image image = read_image(text);
    Image twin = read_image(bin);
    ASSERT_TRUE(image.problems.empty()) << image.problems[0].message;
    ASSERT_EQ(image.records.size(), 4u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(record_bytes(image, image.records[i]), record_bytes(twin, twin.records[i]));
    }
    EXPECT_TRUE(diff_images(image, twin).empty());
    bin[4 * (3 + 150000 + 3 + 7 + 3) + 4 * 59990 + 2] ^= 0x10;
    Image changed = read_image(bin);
    std::vector<Difference> d = diff_images(image, changed);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].first_difference, image.records[2].address + 4u * 59990 + 2);

    // --check counts data words without their values, but still reads each as a literal.
    DumpOptions check;
    check.mode = Mode::check;
    check.files = {"a.c"};
    DumpResult sound = run_dump(check, {{"a.c", text}});
    EXPECT_EQ(sound.status, 0) << sound.err;
    const size_t k = last_record + 59990;  // in the stretch laid out as c6x_velm does
    std::string damaged = text;
    damaged[at[k] + 5] = 'G';  // "0x123G5678": one literal, not a hex number
    DumpResult bad = run_dump(check, {{"a.c", damaged}});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.rfind("velm_dump: a.c: error: line " + std::to_string(lines[k]) + ": ", 0),
              0u)
        << bad.err;
}
