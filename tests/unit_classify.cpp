// Section names and classification: the attribute words and the loadable flag for
// every combination of the COPY, TEXT, DATA and BSS bits, the .cinit name test, and the
// optional destinations.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "coff/coff_section_view.h"

using velm::classify_section;
using velm::copy_section_name;

namespace {

struct Outcome {
    std::string text;
    int32_t loadable;
};

Outcome classify(uint32_t flags, const char* name) {
    char text[velm::kAttributeTextSize];
    std::memset(text, '#', sizeof text);
    int32_t loadable = 7;  // must be overwritten
    classify_section(flags, name, text, &loadable);
    return {text, loadable};
}

velm::SectionHeader header_named(const char (&bytes)[9]) {
    velm::SectionHeader h{};
    std::memcpy(h.s_name, bytes, 8);
    return h;
}

}  // namespace

TEST(ClassifySection, EveryRowOfTheFlagTable) {
    struct Row {
        uint32_t flags;
        const char* other;  // name other than .cinit
        int32_t other_load;
        const char* cinit;  // name .cinit
        int32_t cinit_load;
    };
    const Row rows[] = {
        {0x00, "r-data", 1, "r-data", 1},
        {0x10, "c-xdata", 0, "c-xdata", 0},
        {0x20, "exec", 1, "exec", 1},
        {0x30, "exec", 1, "exec", 1},
        {0x40, "init", 1, "init", 1},
        {0x50, "ic-xdata", 0, "CINIT-copy", 1},
        {0x60, "exec/init", 1, "exec/init", 1},
        {0x70, "exec/init", 1, "exec/init", 1},
        {0x80, "uninit", 0, "uninit", 0},
        {0x90, "uninit", 0, "uninit", 0},
        {0xA0, "execuninit", 1, "execuninit", 1},
        {0xB0, "execuninit", 1, "execuninit", 1},
        {0xC0, "inituninit", 1, "inituninit", 1},
        {0xD0, "ic-xdatauninit", 0, "CINIT-copyuninit", 1},
        {0xE0, "exec/inituninit", 1, "exec/inituninit", 1},
        {0xF0, "exec/inituninit", 1, "exec/inituninit", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        Outcome o = classify(row.flags, ".text");
        EXPECT_EQ(o.text, row.other);
        EXPECT_EQ(o.loadable, row.other_load);
        Outcome c = classify(row.flags, ".cinit");
        EXPECT_EQ(c.text, row.cinit);
        EXPECT_EQ(c.loadable, row.cinit_load);
    }
}

// Bits outside 0xF0 take "r-data" and "c-xdata" away (they need the exact values 0 and
// 0x10) and leave every other row as it is.
TEST(ClassifySection, OtherBitsSet) {
    const std::pair<uint32_t, const char*> empty[] = {
        {0x1010, ""}, {0x2, ""}, {0x1000, ""}, {0x80000000, ""}, {0x12, ""}};
    for (const auto& e : empty) {
        SCOPED_TRACE(e.first);
        Outcome o = classify(e.first, ".cinit");
        EXPECT_EQ(o.text, "");
        EXPECT_EQ(o.loadable, 0);
    }
    EXPECT_EQ(classify(0x1020, ".text").text, "exec");
    EXPECT_EQ(classify(0x1020, ".text").loadable, 1);
    EXPECT_EQ(classify(0x10C0, ".data").text, "inituninit");
    EXPECT_EQ(classify(0x1050, ".CINIT").text, "CINIT-copy");
    EXPECT_EQ(classify(0x1050, ".CINIT").loadable, 1);
    EXPECT_EQ(classify(0x1090, ".bss").text, "uninit");
    EXPECT_EQ(classify(0x1090, ".bss").loadable, 0);
}

TEST(ClassifySection, CinitNameMatchesWholeTextInAnyCase) {
    for (const char* name : {".cinit", ".Cinit", ".CINIT", ".cINiT"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(classify(0x50, name).text, "CINIT-copy");
        EXPECT_EQ(classify(0xD0, name).text, "CINIT-copyuninit");
        EXPECT_TRUE(velm::is_cinit_name(name));
    }
    for (const char* name :
         {".cinit1", ".cinitab", ".cini", "cinit", "", ".cinit ", " .cinit", ".c1nit"}) {
        SCOPED_TRACE(name);
        Outcome o = classify(0x50, name);
        EXPECT_EQ(o.text, "ic-xdata");
        EXPECT_EQ(o.loadable, 0);
        EXPECT_FALSE(velm::is_cinit_name(name));
    }
}

TEST(ClassifySection, LongestTextFitsTheDestination) {
    char text[velm::kAttributeTextSize];
    classify_section(0xD0, ".cinit", text, nullptr);
    EXPECT_EQ(std::strlen(text), 16u);
    EXPECT_STREQ(text, "CINIT-copyuninit");
    EXPECT_EQ(velm::kAttributeTextSize, 17u);
}

TEST(ClassifySection, AbsentDestinations) {
    int32_t loadable = 5;
    classify_section(0x60, ".text", nullptr, &loadable);
    EXPECT_EQ(loadable, 1);
    classify_section(0x80, ".bss", nullptr, &loadable);
    EXPECT_EQ(loadable, 0);

    char text[velm::kAttributeTextSize] = "leftover-text";
    classify_section(0xC0, ".data", text, nullptr);
    EXPECT_STREQ(text, "inituninit");
    classify_section(0x2, ".odd", text, nullptr);
    EXPECT_STREQ(text, "");

    classify_section(0x20, ".text", nullptr, nullptr);  // nothing to write, no crash
}

TEST(CopySectionName, BytesUpToTheFirstZero) {
    char name[velm::kSectionNameSize];

    std::memset(name, 'X', sizeof name);
    copy_section_name(header_named(".text_hi"), name);
    EXPECT_STREQ(name, ".text_hi");  // all eight characters, terminated at position 8

    std::memset(name, 'X', sizeof name);
    copy_section_name(header_named(".text\0\0\0"), name);
    EXPECT_STREQ(name, ".text");
    EXPECT_EQ(name[8], '\0');

    // Stored bytes after the first zero are copied but are not part of the text.
    copy_section_name(header_named("ab\0cdefg"), name);
    EXPECT_STREQ(name, "ab");
    EXPECT_EQ(std::memcmp(name + 3, "cdefg", 5), 0);
}

TEST(CopySectionName, StringTableNameIsEmpty) {
    velm::SectionHeader h{};
    h.s_name[4] = 0x04;  // four zero bytes, then the string table offset 4
    char name[velm::kSectionNameSize];
    std::memset(name, 'X', sizeof name);
    copy_section_name(h, name);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(classify(0x50, name).text, "ic-xdata");
}
