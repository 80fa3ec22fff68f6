// Builds TI COFF2 files for the tests, the example and the fuzz corpus.
//
// The layout is what a C6000 linker writes: file header, optional header, section
// table, section contents in table order, a symbol table and a string table. Every field
// can be overridden, so a test can build exactly the damaged file it needs.
#ifndef C6X_VELM_TESTS_SUPPORT_COFF_BUILDER_H
#define C6X_VELM_TESTS_SUPPORT_COFF_BUILDER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velm_test {

using Bytes = std::vector<uint8_t>;

struct Section {
    std::string name;                       // at most 8 bytes are stored
    std::optional<uint32_t> strtab_offset;  // name kept in the string table instead
    uint32_t paddr = 0;
    uint32_t vaddr = 0;
    uint32_t flags = 0;
    Bytes data;                      // contents stored in the file
    std::optional<uint32_t> size;    // s_size; default data.size()
    std::optional<uint32_t> scnptr;  // s_scnptr; default where data is placed, 0 without data
    uint16_t page = 0;
};

struct Coff {
    uint16_t version = 0x00C2;
    uint16_t target = 0x0099;
    uint16_t flags = 0x0103;
    bool has_opt_header = true;
    std::optional<uint16_t> opthdr;  // f_opthdr; default 28 or 0
    uint16_t o_magic = 0x0108;
    uint32_t entry = 0;
    std::optional<uint16_t> nscns;   // f_nscns; default sections.size()
    std::optional<uint32_t> symptr;  // f_symptr; default the symbol table's offset
    std::vector<Section> sections;
    Bytes symbols = Bytes(18, 0);  // raw symbol table bytes after the contents
    std::string string_names;      // names stored in the string table, NUL-separated
};

Bytes build_coff(const Coff& coff);

// A section whose contents `data` are stored in the file, loaded and run at `address`.
Section stored_section(const std::string& name, uint32_t address, uint32_t flags, Bytes data);

// Little-endian fields for building files, and for patching built ones (`at` must lie
// inside `out`).
void put_le16(Bytes* out, uint16_t v);
void put_le32(Bytes* out, uint32_t v);
void set_le16(Bytes* out, size_t at, uint16_t v);
void set_le32(Bytes* out, size_t at, uint32_t v);

// Little helpers for building section contents, .cinit tables and images.
Bytes words(std::initializer_list<uint32_t> values);
Bytes words(const std::vector<uint32_t>& values);
Bytes pattern(size_t n, uint32_t seed = 1);  // deterministic pseudo-random bytes

// A .cinit table: entries of (address, data) and filler, closed by the final zero word.
struct CinitEntry {
    uint32_t length;  // length word (need not match data.size(): for damaged tables)
    uint32_t address;
    Bytes data;  // stored as is, then padded with `pad` bytes to a multiple of 4
};
Bytes cinit_table(const std::vector<CinitEntry>& entries, bool final_word = true,
                  uint8_t pad = 0xEE);

// The bundled example: a realistic RAM-model program.
Coff example_program();

}  // namespace velm_test

#endif
