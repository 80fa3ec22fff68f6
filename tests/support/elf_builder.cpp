#include "support/elf_builder.h"

#include <algorithm>

namespace velm_test {

namespace {

size_t align4(size_t n) {
    return (n + 3) / 4 * 4;
}

// The name table's bytes and each section's name offset in it; the table's own name
// comes last.
struct Names {
    std::string bytes = std::string(1, '\0');
    std::vector<uint32_t> at;
    uint32_t own = 0;
};

Names name_table(const Elf& elf) {
    Names n;
    for (const ElfSection& s : elf.sections) {
        n.at.push_back(static_cast<uint32_t>(n.bytes.size()));
        n.bytes += s.name + '\0';
    }
    n.own = static_cast<uint32_t>(n.bytes.size());
    n.bytes += std::string(".shstrtab") + '\0';
    return n;
}

struct Placed {
    ElfLayout layout;
    Names names;
    size_t size = 0;  // up to the end of the section header table
};

Placed place(const Elf& elf) {
    Placed p;
    p.names = name_table(elf);
    size_t at = 52;
    if (!elf.segments.empty()) {
        p.layout.phoff = static_cast<uint32_t>(at);
        at += 32 * elf.segments.size();
    }
    for (const ElfSection& s : elf.sections) {
        at = align4(at);
        p.layout.section_offset.push_back(static_cast<uint32_t>(at));
        at += s.data.size();
    }
    if (elf.name_table) {
        p.layout.names_offset = static_cast<uint32_t>(at);
        at += p.names.bytes.size();
    }
    at = align4(at);
    p.layout.shoff = static_cast<uint32_t>(at);
    p.size = at + 40 * (elf.sections.size() + 1 + (elf.name_table ? 1 : 0));
    return p;
}

uint32_t section_size(const ElfSection& s) {
    return s.size.value_or(static_cast<uint32_t>(s.data.size()));
}

uint32_t section_offset(const ElfSection& s, const ElfLayout& layout, size_t k) {
    return s.offset.value_or(layout.section_offset[k]);
}

// The file bytes a segment covers by default: from its first section's start to its
// last section's end.
void segment_extent(const Elf& elf, const ElfLayout& layout, const ElfSegment& seg,
                    uint32_t* offset, uint32_t* filesz) {
    uint64_t begin = UINT64_MAX, end = 0;
    for (const std::string& name : seg.covers) {
        for (size_t k = 0; k < elf.sections.size(); ++k) {
            if (elf.sections[k].name != name) continue;
            uint64_t b = section_offset(elf.sections[k], layout, k);
            begin = std::min(begin, b);
            end = std::max(end, b + section_size(elf.sections[k]));
        }
    }
    if (begin == UINT64_MAX) begin = end = 0;
    *offset = seg.offset.value_or(static_cast<uint32_t>(begin));
    *filesz = seg.filesz.value_or(static_cast<uint32_t>(end - begin));
}

void put_section_header(Bytes* out, uint32_t name, uint32_t type, uint32_t flags, uint32_t addr,
                        uint32_t offset, uint32_t size) {
    put_le32(out, name);
    put_le32(out, type);
    put_le32(out, flags);
    put_le32(out, addr);
    put_le32(out, offset);
    put_le32(out, size);
    put_le32(out, 0);                            // sh_link
    put_le32(out, 0);                            // sh_info
    put_le32(out, 4);                            // sh_addralign
    put_le32(out, type == kShtSymtab ? 16 : 0);  // sh_entsize: Elf32_Sym is 16 bytes
}

}  // namespace

ElfLayout elf_layout(const Elf& elf) {
    return place(elf).layout;
}

Bytes build_elf(const Elf& elf) {
    const Placed p = place(elf);
    const ElfLayout& l = p.layout;
    const size_t count = elf.sections.size() + 1 + (elf.name_table ? 1 : 0);

    Bytes out = {0x7F, 'E', 'L', 'F', elf.ei_class, elf.ei_data, elf.ei_version};
    out.resize(16, 0);
    put_le16(&out, elf.type);
    put_le16(&out, elf.machine);
    put_le32(&out, elf.version);
    put_le32(&out, elf.entry);
    put_le32(&out, elf.phoff.value_or(l.phoff));
    put_le32(&out, elf.shoff.value_or(l.shoff));
    put_le32(&out, 0);  // e_flags
    put_le16(&out, elf.ehsize.value_or(52));
    put_le16(&out, elf.phentsize.value_or(32));
    put_le16(&out, elf.phnum.value_or(static_cast<uint16_t>(elf.segments.size())));
    put_le16(&out, elf.shentsize.value_or(40));
    put_le16(&out, elf.shnum.value_or(static_cast<uint16_t>(count)));
    put_le16(&out, elf.shstrndx.value_or(elf.name_table ? static_cast<uint16_t>(count - 1) : 0));

    for (const ElfSegment& seg : elf.segments) {
        uint32_t offset, filesz;
        segment_extent(elf, l, seg, &offset, &filesz);
        put_le32(&out, seg.type);
        put_le32(&out, offset);
        put_le32(&out, seg.vaddr);
        put_le32(&out, seg.paddr);
        put_le32(&out, filesz);
        put_le32(&out, filesz);  // p_memsz
        put_le32(&out, 5);       // p_flags: read, execute
        put_le32(&out, 4);       // p_align
    }
    for (size_t k = 0; k < elf.sections.size(); ++k) {
        out.resize(l.section_offset[k], 0);
        out.insert(out.end(), elf.sections[k].data.begin(), elf.sections[k].data.end());
    }
    if (elf.name_table) {
        out.resize(l.names_offset, 0);
        out.insert(out.end(), p.names.bytes.begin(), p.names.bytes.end());
    }
    out.resize(l.shoff, 0);
    out.resize(out.size() + 40, 0);  // the null section
    for (size_t k = 0; k < elf.sections.size(); ++k) {
        const ElfSection& s = elf.sections[k];
        put_section_header(&out, s.name_at.value_or(p.names.at[k]), s.type, s.flags, s.addr,
                           section_offset(s, l, k), section_size(s));
    }
    if (elf.name_table) {
        put_section_header(&out, p.names.own, kShtStrtab, 0, 0, l.names_offset,
                           static_cast<uint32_t>(p.names.bytes.size()));
    }
    out.insert(out.end(), elf.tail.begin(), elf.tail.end());
    return out;
}

ElfSection alloc_section(const std::string& name, uint32_t flags, uint32_t addr, Bytes data) {
    ElfSection s;
    s.name = name;
    s.flags = kShfAlloc | flags;
    s.addr = addr;
    s.data = std::move(data);
    return s;
}

ElfSegment load_segment(uint32_t paddr, std::vector<std::string> covers) {
    ElfSegment seg;
    seg.paddr = paddr;
    seg.vaddr = paddr;
    seg.covers = std::move(covers);
    return seg;
}

Elf elf_example_program() {
    Elf e;
    e.entry = 0x00800400;
    e.sections.push_back(alloc_section(".text", kShfExec, 0x00800000, pattern(6150, 7)));
    e.sections.push_back(alloc_section(".const", 0, 0x00810000, pattern(45, 13)));
    // Initialised data, stored in flash at 0x90000000 and run from 0x80000000.
    e.sections.push_back(alloc_section(".fardata", kShfWrite, 0x80000000, pattern(64, 11)));
    // The EABI .cinit table is loaded as it stands; the start-up code reads it.
    e.sections.push_back(alloc_section(
        ".cinit", 0, 0x00820000,
        cinit_table({{8, 0x80001000, words({1, 0xFFFF})}, {5, 0x80001010, pattern(5, 3)}})));
    ElfSection bss = alloc_section(".bss", kShfWrite, 0x80001000, {});
    bss.type = kShtNobits;
    bss.size = 0x400;
    e.sections.push_back(bss);
    ElfSection stack = alloc_section(".stack", kShfWrite, 0x80002000, {});
    stack.type = kShtNobits;
    stack.size = 0x800;
    e.sections.push_back(stack);
    ElfSection debug{".debug_info", kShtProgbits, 0, 0, pattern(100, 17), {}, {}, {}};
    e.sections.push_back(debug);
    e.sections.push_back({".symtab", kShtSymtab, 0, 0, Bytes(32, 0), {}, {}, {}});
    std::string strtab = std::string("\0_c_int00\0main\0", 15);
    e.sections.push_back(
        {".strtab", kShtStrtab, 0, 0, Bytes(strtab.begin(), strtab.end()), {}, {}, {}});
    e.segments.push_back(load_segment(0x00800000, {".text"}));
    e.segments.push_back(load_segment(0x00810000, {".const"}));
    e.segments.push_back(load_segment(0x90000000, {".fardata"}));
    e.segments.back().vaddr = 0x80000000;
    e.segments.push_back(load_segment(0x00820000, {".cinit"}));
    return e;
}

}  // namespace velm_test
