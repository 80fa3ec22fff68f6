// Message lines for status codes, option words and the default input extension.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/status.h"
#include "driver/options.h"
#include "support/console_text.h"

namespace {

using velm::add_default_extension;
using velm::classify_option;
using velm::status_message;
using velm_test::kMsgFormat;

std::string message(int32_t code) {
    // Start from a non-empty text: the line must be rebuilt, not appended to.
    std::string line = "stale text from an earlier call";
    status_message(code, &line);
    return line;
}

TEST(StatusMessage, EveryTableCode) {
    for (const velm_test::MessageLine& c : velm_test::kMessageLines) {
        EXPECT_EQ(message(c.code), c.line) << "code " << c.code;
    }
}

TEST(StatusMessage, CodesWithoutEntryAreNumbered) {
    // Neighbours of table entries and codes far from any: all get the numbered line.
    EXPECT_EQ(message(-2017), "error: #-2017 (call Kestrane Systems Ltd)");
    EXPECT_EQ(message(5), "error: #5 (call Kestrane Systems Ltd)");
    EXPECT_EQ(message(-1), "error: #-1 (call Kestrane Systems Ltd)");
    EXPECT_EQ(message(-2031), "error: #-2031 (call Kestrane Systems Ltd)");
    EXPECT_EQ(message(-2009), "error: #-2009 (call Kestrane Systems Ltd)");
    EXPECT_EQ(message(2021), "error: #2021 (call Kestrane Systems Ltd)");
    EXPECT_EQ(message(-1014), "error: #-1014 (call Kestrane Systems Ltd)");
    EXPECT_EQ(message(32767), "error: #32767 (call Kestrane Systems Ltd)");
    // The longest numbered line the tool can build.
    EXPECT_EQ(message(-32768), "error: #-32768 (call Kestrane Systems Ltd)");
}

TEST(StatusMessage, ZeroGivesEmptyLine) {
    EXPECT_EQ(message(0), "");
}

TEST(StatusMessage, OnlyTheLow16BitsCount) {
    // 0x10000 - 2021 = 63515 and -0x10000 - 2021 both have -2021 in their low 16 bits.
    EXPECT_EQ(message(0x10000 - 2021), kMsgFormat);
    EXPECT_EQ(message(-0x10000 - 2021), kMsgFormat);
    EXPECT_EQ(message(0x7FFF0000 + (0x10000 - 2016)), "user terminated");
    // Low 16 bits zero: success, however large the value.
    EXPECT_EQ(message(0x10000), "");
    EXPECT_EQ(message(INT32_MIN), "");
    // 40000 does not fit a signed 16-bit value: it reads as 40000 - 65536.
    EXPECT_EQ(message(40000), "error: #-25536 (call Kestrane Systems Ltd)");
    EXPECT_EQ(message(0x18000), "error: #-32768 (call Kestrane Systems Ltd)");
}

TEST(UpperCase, OnlyTheLettersAToZ) {
    std::string s = "abc.xyz{}`@ABC_09\xE9\xFF";
    velm::upper_case(&s);
    EXPECT_EQ(s, "ABC.XYZ{}`@ABC_09\xE9\xFF");
}

TEST(ClassifyOption, OptionWordsInEitherCase) {
    EXPECT_EQ(classify_option("-?"), 1);
    EXPECT_EQ(classify_option("-d"), 2);
    EXPECT_EQ(classify_option("-D"), 2);
    EXPECT_EQ(classify_option("-b"), 3);
    EXPECT_EQ(classify_option("-B"), 3);
}

TEST(ClassifyOption, AnythingElseIsNotAnOption) {
    // Whole-word comparison: prefixes, extensions, missing dashes and blanks all fail.
    const char* const others[] = {"-bb", "b",  "",    "-x", "-",  "--b", " -b", "-b ",
                                  "-d-", "/b", "-db", "D",  "-e", "/?",  "?",   "-B\t"};
    for (const char* word : others) {
        EXPECT_EQ(classify_option(word), -2008) << "'" << word << "'";
    }
    // Bytes outside a to z are not letters to upper-case ("\xE4" is not a 'd' in disguise).
    EXPECT_EQ(classify_option("-\xE4"), -2008);
    EXPECT_EQ(classify_option(std::string("-b\0x", 4)), -2008);
}

TEST(ClassifyOption, VeryLongArgument) {
    // Far beyond the 139 characters the original's fixed buffer held.
    std::string word(10000, 'b');
    word[0] = '-';
    EXPECT_EQ(classify_option(word), -2008);
    std::string padded = "-d" + std::string(9998, ' ');
    EXPECT_EQ(classify_option(padded), -2008);
}

TEST(ClassifyOption, ArgumentIsNotChanged) {
    std::string word = "-d";
    EXPECT_EQ(classify_option(word), 2);
    EXPECT_EQ(word, "-d");
}

TEST(AddDefaultExtension, OnlyALastComponentWithoutDotGetsOne) {
    // Paths as the driver holds them: already upper-cased.
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"BOOT", "BOOT.OUT"},
        {"DSP\\BOOT", "DSP\\BOOT.OUT"},
        {"BOOT.", "BOOT."},
        {"BUILD.2\\BOOT", "BUILD.2\\BOOT.OUT"},
        // A forward slash does not end a component: the dot before it counts.
        {"BUILD.2/BOOT", "BUILD.2/BOOT"},
        {"BOOT.OBJ", "BOOT.OBJ"},
        {"C:\\WORK.1\\DSP.X\\BOOT", "C:\\WORK.1\\DSP.X\\BOOT.OUT"},
        {"DSP\\BOOT.V2\\IMAGE", "DSP\\BOOT.V2\\IMAGE.OUT"},
        {"DSP\\.HIDDEN", "DSP\\.HIDDEN"},
        // A trailing backslash leaves an empty last component, which has no dot.
        {"DSP\\", "DSP\\.OUT"},
        {"DSP.X\\", "DSP.X\\.OUT"},
        {"\\", "\\.OUT"},
        {"", ".OUT"},
        {".", "."},
        {"BOOT.OUT/", "BOOT.OUT/"},
        {"A\\B\\C\\D", "A\\B\\C\\D.OUT"},
    };
    for (const Case& c : cases) {
        std::string path = c.path;
        add_default_extension(&path, ".OUT");
        EXPECT_EQ(path, c.expected) << "'" << c.path << "'";
    }
}

TEST(AddDefaultExtension, UsesTheGivenExtension) {
    std::string path = "BOOT";
    add_default_extension(&path, ".X");
    EXPECT_EQ(path, "BOOT.X");
    // Applied twice, the second call finds the dot the first one added.
    add_default_extension(&path, ".OUT");
    EXPECT_EQ(path, "BOOT.X");
}

TEST(AddDefaultExtension, LongPath) {
    std::string dir(5000, 'D');
    std::string path = dir + ".V\\" + std::string(5000, 'F');
    add_default_extension(&path, ".OUT");
    EXPECT_EQ(path, dir + ".V\\" + std::string(5000, 'F') + ".OUT");
}

}  // namespace
