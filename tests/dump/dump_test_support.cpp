#include "dump_test_support.h"

#include <gtest/gtest.h>

#include "coff/coff_format.h"
#include "coff/coff_section_view.h"
#include "dump/crc32.h"

namespace velm_dump_test {

std::string dump_path() {
    return VELM_DUMP_PATH;
}

std::string c6x_path() {
    return VELM_C6X_PATH;
}

RunResult run_dump(const std::string& dir, const std::vector<std::string>& args,
                   const std::string& input) {
    return velm_test::run_in(dir, args, dump_path(), input);
}

Converted convert(const TempDir& dir, const std::string& name, const Bytes& coff) {
    dir.write(name + ".out", coff);
    RunResult text = velm_test::run_in(dir.path(), {name + ".out", name + ".c"}, c6x_path());
    EXPECT_EQ(text.exit_status, 0) << text.out;
    RunResult binary =
        velm_test::run_in(dir.path(), {name + ".out", name + ".bin", "-b"}, c6x_path());
    EXPECT_EQ(binary.exit_status, 0) << binary.out;
    return {dir.read(name + ".c"), dir.read(name + ".bin")};
}

std::string as_string(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes as_bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

uint32_t get_le32(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes.at(offset + i));
    return v;
}

void set_le32(std::string* bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes->at(offset + i) = static_cast<char>(value >> (8 * i));
}

uint32_t crc32_of(const uint8_t* data, size_t n) {
    using namespace velm::dump;
    return crc32_end(crc32_update(crc32_begin(), data, n));
}

std::vector<CoffSection> read_sections(const Bytes& coff) {
    using namespace velm;
    FileHeader fh;
    std::vector<CoffSection> out;
    if (!decode_file_header(ByteSpan{coff.data(), coff.size()}, &fh)) return out;
    size_t at = kFileHeaderSize + fh.f_opthdr;  // the section table follows the headers
    for (uint32_t i = 0; i < fh.f_nscns && at <= coff.size(); ++i, at += kSectionHeaderSize) {
        SectionHeader sh;
        if (!decode_section_header(ByteSpan{coff.data() + at, coff.size() - at}, &sh)) break;
        char name[kSectionNameSize];
        copy_section_name(sh, name);
        out.push_back({name, sh.s_vaddr, sh.s_size, sh.s_scnptr, sh.s_flags});
    }
    return out;
}

std::vector<velm_test::Placed> expected_section_records(const Bytes& coff) {
    std::vector<velm_test::Placed> out;
    for (const CoffSection& s : read_sections(coff)) {
        bool valid = s.size != 0 && ((s.flags & 0x60) != 0 || s.flags == 0);
        bool copy_data = (s.flags & 0x50) == 0x50;
        if (!valid || copy_data || s.scnptr == 0) continue;
        out.push_back({s.vaddr, Bytes(coff.begin() + s.scnptr, coff.begin() + s.scnptr + s.size)});
    }
    return out;
}

uint32_t line_of(const std::string& text, const std::string& needle) {
    size_t at = text.find(needle);
    if (at == std::string::npos) return 0;
    uint32_t line = 1;
    for (size_t i = 0; i < at; ++i) line += text[i] == '\n' ? 1 : 0;
    return line;
}

}  // namespace velm_dump_test
