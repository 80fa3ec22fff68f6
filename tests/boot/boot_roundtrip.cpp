// Round trip: every round-trip input, converted by c6x_velm, loaded by velm_boot
// into a simulated memory, in both encodings: the TEXT image as compiled in, the BINARY
// image as the bytes of the file. The memory must hold exactly the section bytes of the
// COFF file and the entries of its .cinit table, each byte written once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "boot_text_images.h"
#include "dump_test_support.h"
#include "support/roundtrip_inputs.h"
#include "velm_boot.h"

using velm_test::Bytes;
using velm_test::RoundTripInput;

namespace {

using Memory = std::map<uint64_t, uint8_t>;

struct Target {
    Memory memory;
    bool written_twice = false;
    // TEXT: the image, which the data words must point into (velm_boot never copies).
    const unsigned int* image = nullptr;
    size_t image_words = 0;
    bool outside_image = false;
};

int write_to_memory(void* ctx, uint32_t address, const unsigned int* data, uint32_t length) {
    Target* t = static_cast<Target*>(ctx);
    if (t->image != nullptr &&
        (data < t->image || data + (length + 3) / 4 > t->image + t->image_words)) {
        t->outside_image = true;
    }
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t byte = static_cast<uint8_t>(data[i / 4] >> (8 * (i % 4)));
        if (!t->memory.emplace(uint64_t{address} + i, byte).second) t->written_twice = true;
    }
    return 0;
}

// What loading the converted file must leave in memory: the contents of every section
// record and of every .cinit entry.
Memory expected_memory(const Bytes& coff, const RoundTripInput& c, size_t* records) {
    Memory m;
    std::vector<velm_test::Placed> placed = velm_dump_test::expected_section_records(coff);
    placed.insert(placed.end(), c.cinit.begin(), c.cinit.end());
    for (const velm_test::Placed& p : placed) {
        for (size_t i = 0; i < p.data.size(); ++i) m[uint64_t{p.address} + i] = p.data[i];
    }
    *records = placed.size();
    return m;
}

// "" when equal; otherwise the first address where they differ.
std::string difference(const Memory& got, const Memory& want) {
    auto [g, w] = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    if (g == got.end() && w == want.end()) return "";
    const uint64_t at =
        w == want.end() || (g != got.end() && g->first < w->first) ? g->first : w->first;
    return "memory differs at address " + std::to_string(at);
}

const boot_text_image* text_image(const std::string& name) {
    for (size_t i = 0; i < boot_text_image_count; ++i) {
        if (name == boot_text_images[i].name) return &boot_text_images[i];
    }
    return nullptr;
}

std::string input(const std::string& name) {
    return std::string(VELM_BOOT_INPUTS_DIR) + "/" + name;
}

}  // namespace

class BootRoundTrip : public ::testing::TestWithParam<RoundTripInput> {};

TEST_P(BootRoundTrip, BothEncodingsFillMemoryWithTheInputsBytes) {
    const RoundTripInput& c = GetParam();
    const std::string coff_text = velm_test::read_file(input(c.name + ".out"));
    ASSERT_FALSE(coff_text.empty());
    size_t records = 0;
    const Memory expected = expected_memory(Bytes(coff_text.begin(), coff_text.end()), c, &records);

    const boot_text_image* text = text_image(c.name);
    ASSERT_NE(text, nullptr);
    velm_report report = {-99, 0, 0};
    EXPECT_EQ(velm_check(text->words, text->word_count, &report), VELM_OK);
    EXPECT_EQ(report.error, VELM_OK);
    EXPECT_EQ(report.record, records);
    EXPECT_EQ(report.word, text->word_count - 3);
    Target from_text;
    from_text.image = text->words;
    from_text.image_words = text->word_count;
    EXPECT_EQ(velm_boot(text->words, text->word_count, write_to_memory, &from_text), VELM_OK);
    EXPECT_EQ(difference(from_text.memory, expected), "");
    EXPECT_FALSE(from_text.written_twice);
    EXPECT_FALSE(from_text.outside_image);

    // The file's bytes one past an aligned address: the BINARY functions must not read
    // words through a pointer cast (the sanitizer build catches a misaligned load).
    const std::string binary = velm_test::read_file(input(c.name + ".bin"));
    ASSERT_EQ(binary.size(), 4 * text->word_count);
    std::vector<unsigned char> buffer(binary.size() + 1);
    std::memcpy(buffer.data() + 1, binary.data(), binary.size());
    velm_report binary_report = {-99, 0, 0};
    EXPECT_EQ(velm_check_bytes(buffer.data() + 1, binary.size(), &binary_report), VELM_OK);
    EXPECT_EQ(binary_report.record, report.record);
    EXPECT_EQ(binary_report.word, report.word);
    Target from_binary;
    EXPECT_EQ(velm_boot_bytes(buffer.data() + 1, binary.size(), write_to_memory, &from_binary),
              VELM_OK);
    EXPECT_EQ(difference(from_binary.memory, expected), "");
    EXPECT_FALSE(from_binary.written_twice);
}

INSTANTIATE_TEST_SUITE_P(Inputs, BootRoundTrip, ::testing::ValuesIn(velm_test::roundtrip_inputs()),
                         [](const ::testing::TestParamInfo<RoundTripInput>& info) {
                             return info.param.name;
                         });

TEST(BootRoundTripInputs, EveryCaseIsCompiledIn) {
    EXPECT_EQ(boot_text_image_count, velm_test::roundtrip_inputs().size());
}
