// Helpers shared by the velm_dump tests: running the built tools, producing real images
// with c6x_velm, patching words, and reading section headers back from a COFF file.
#ifndef C6X_VELM_TESTS_DUMP_DUMP_TEST_SUPPORT_H
#define C6X_VELM_TESTS_DUMP_DUMP_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "support/coff_builder.h"
#include "support/roundtrip_inputs.h"
#include "support/tool_runner.h"

namespace velm_dump_test {

using velm_test::Bytes;
using velm_test::RunResult;
using velm_test::TempDir;

// The built executables.
std::string dump_path();
std::string c6x_path();

// Runs the built velm_dump with `args` in `dir`.
RunResult run_dump(const std::string& dir, const std::vector<std::string>& args,
                   const std::string& input = "");

// The two encodings of one image, as c6x_velm wrote them.
struct Converted {
    std::string text;    // NAME.c
    std::string binary;  // NAME.bin
};

// Writes `coff` as NAME.out into `dir` and converts it with the built c6x_velm into
// NAME.c and NAME.bin. A failing conversion fails the calling test.
Converted convert(const TempDir& dir, const std::string& name, const Bytes& coff);

std::string as_string(const Bytes& bytes);
Bytes as_bytes(const std::string& text);

uint32_t get_le32(const std::string& bytes, size_t offset);
void set_le32(std::string* bytes, size_t offset, uint32_t value);

// The CRC-32 of n bytes, as velm_dump prints it for a record's data.
uint32_t crc32_of(const uint8_t* data, size_t n);
inline uint32_t crc32_of(const std::vector<uint8_t>& bytes) {
    return crc32_of(bytes.data(), bytes.size());
}

// A section header as stored in a COFF2 file, read back from the file's bytes.
struct CoffSection {
    std::string name;
    uint32_t vaddr = 0;
    uint32_t size = 0;
    uint32_t scnptr = 0;
    uint32_t flags = 0;
};
std::vector<CoffSection> read_sections(const Bytes& coff);

// The section records c6x_velm must write for a COFF file, in order, read back from its
// bytes: every non-empty section that is code, data or regular (flags 0), is not a
// copy-data section and has its contents stored in the file, with those contents.
std::vector<velm_test::Placed> expected_section_records(const Bytes& coff);

// The number of the first line of `text` (from 1) that contains `needle`; 0 when none.
uint32_t line_of(const std::string& text, const std::string& needle);

}  // namespace velm_dump_test

#endif
