#include "support/coff_builder.h"

#include <cstring>

namespace velm_test {

void put_le16(Bytes* out, uint16_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

void put_le32(Bytes* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void set_le16(Bytes* out, size_t at, uint16_t v) {
    (*out)[at] = static_cast<uint8_t>(v);
    (*out)[at + 1] = static_cast<uint8_t>(v >> 8);
}

void set_le32(Bytes* out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

Bytes words(std::initializer_list<uint32_t> values) {
    return words(std::vector<uint32_t>(values));
}

Bytes words(const std::vector<uint32_t>& values) {
    Bytes out;
    for (uint32_t v : values) put_le32(&out, v);
    return out;
}

Bytes pattern(size_t n, uint32_t seed) {
    Bytes out(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<uint8_t>(x);
    }
    return out;
}

Bytes cinit_table(const std::vector<CinitEntry>& entries, bool final_word, uint8_t pad) {
    Bytes out;
    for (const CinitEntry& e : entries) {
        put_le32(&out, e.length);
        if (e.length == 0) continue;  // a filler word
        put_le32(&out, e.address);
        out.insert(out.end(), e.data.begin(), e.data.end());
        while (out.size() % 4 != 0) out.push_back(pad);
    }
    if (final_word) put_le32(&out, 0);
    return out;
}

Section stored_section(const std::string& name, uint32_t address, uint32_t flags, Bytes data) {
    Section s;
    s.name = name;
    s.paddr = address;
    s.vaddr = address;
    s.flags = flags;
    s.data = std::move(data);
    return s;
}

Bytes build_coff(const Coff& coff) {
    const size_t n = coff.sections.size();
    const size_t opt = coff.has_opt_header ? 28 : 0;
    size_t offset = 22 + opt + 48 * n;

    std::vector<uint32_t> scnptrs(n);
    for (size_t i = 0; i < n; ++i) {
        const Section& s = coff.sections[i];
        scnptrs[i] = s.data.empty() ? 0 : static_cast<uint32_t>(offset);
        offset += s.data.size();
    }
    const uint32_t symtab = static_cast<uint32_t>(offset);

    Bytes out;
    put_le16(&out, coff.version);
    put_le16(&out, coff.nscns.value_or(static_cast<uint16_t>(n)));
    put_le32(&out, 0x5F3759DF);  // f_timdat
    put_le32(&out, coff.symptr.value_or(symtab));
    put_le32(&out, static_cast<uint32_t>(coff.symbols.size() / 18));
    put_le16(&out, coff.opthdr.value_or(static_cast<uint16_t>(opt)));
    put_le16(&out, coff.flags);
    put_le16(&out, coff.target);
    if (coff.has_opt_header) {
        put_le16(&out, coff.o_magic);
        put_le16(&out, 0x0190);  // o_vstamp
        put_le32(&out, 0);       // o_tsize, o_dsize, o_bsize
        put_le32(&out, 0);
        put_le32(&out, 0);
        put_le32(&out, coff.entry);
        put_le32(&out, 0);
        put_le32(&out, 0);
    }
    for (size_t i = 0; i < n; ++i) {
        const Section& s = coff.sections[i];
        size_t at = out.size();
        out.resize(at + 48, 0);
        if (s.strtab_offset) {
            set_le32(&out, at + 4, *s.strtab_offset);
        } else {
            std::memcpy(&out[at], s.name.data(), s.name.size() < 8 ? s.name.size() : 8);
        }
        set_le32(&out, at + 8, s.paddr);
        set_le32(&out, at + 12, s.vaddr);
        set_le32(&out, at + 16, s.size.value_or(static_cast<uint32_t>(s.data.size())));
        set_le32(&out, at + 20, s.scnptr.value_or(scnptrs[i]));
        set_le32(&out, at + 40, s.flags);
        out[at + 46] = static_cast<uint8_t>(s.page);
        out[at + 47] = static_cast<uint8_t>(s.page >> 8);
    }
    for (const Section& s : coff.sections) out.insert(out.end(), s.data.begin(), s.data.end());
    out.insert(out.end(), coff.symbols.begin(), coff.symbols.end());
    // String table: its own length (4 bytes included), then the names.
    put_le32(&out, static_cast<uint32_t>(4 + coff.string_names.size()));
    out.insert(out.end(), coff.string_names.begin(), coff.string_names.end());
    return out;
}

Coff example_program() {
    Coff c;
    c.entry = 0x00000A80;
    // .text: code, a little above 6 KiB, not a multiple of 4 bytes long.
    c.sections.push_back({".text", {}, 0x00000400, 0x00000400, 0x20, pattern(6150, 7), {}, {}, 0});
    c.sections.push_back({".data", {}, 0x80000000, 0x80000000, 0x40, pattern(64, 11), {}, {}, 0});
    c.sections.push_back({".const", {}, 0x80000040, 0x80000040, 0x40, pattern(45, 13), {}, {}, 0});
    // The C auto-initialisation table: two entries, a filler word, the final zero word.
    c.sections.push_back({".cinit",
                          {},
                          0x80000100,
                          0x80000100,
                          0x50,
                          cinit_table({{8, 0x80001000, words({0x00000001, 0x0000FFFF})},
                                       {5, 0x80001010, {0x48, 0x65, 0x6C, 0x6C, 0x6F}},
                                       {0, 0, {}},
                                       {4, 0x80001020, words({0x12345678})}}),
                          {},
                          {},
                          0});
    c.sections.push_back({".bss", {}, 0x80001000, 0x80001000, 0x80, {}, 0x400, {}, 0});
    c.sections.push_back({".stack", {}, 0x80002000, 0x80002000, 0x80, {}, 0x800, {}, 0});
    c.sections.push_back({".empty", {}, 0x80003000, 0x80003000, 0x40, {}, {}, {}, 0});
    c.sections.push_back({".vectors", {}, 0, 0, 0x10, {}, 0x200, {}, 0});  // COPY only
    // A long name kept in the string table, holding initialised far data.
    Section far{"", 4, 0x80004000, 0x80004000, 0x40, pattern(24, 17), {}, {}, 0};
    c.sections.push_back(far);
    c.string_names = std::string(".far_initialised_data") + '\0';
    return c;
}

}  // namespace velm_test
