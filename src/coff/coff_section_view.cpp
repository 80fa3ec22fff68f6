#include "coff/coff_section_view.h"

#include <cstring>

#include "core/run_state.h"

namespace velm {

void copy_section_name(const SectionHeader& section, char name[kSectionNameSize]) {
    std::memcpy(name, section.s_name, 8);
    name[8] = '\0';
}

bool is_cinit_name(const char* name) {
    static const char kCinit[] = ".CINIT";
    size_t i = 0;
    for (; kCinit[i] != '\0'; ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kCinit[i]) return false;
    }
    return name[i] == '\0';
}

void classify_section(uint32_t s_flags, const char* name, char text[kAttributeTextSize],
                      int32_t* loadable) {
    // At most one of rules 1 to 5 holds; "uninit" may follow it; "r-data" and "c-xdata"
    // hold only when no other word does. 16 characters at most.
    const char* first = "";
    const char* second = "";
    int32_t load = 0;
    uint32_t text_data = s_flags & (STYP_TEXT | STYP_DATA);
    uint32_t copy_text_data = s_flags & (STYP_COPY | STYP_TEXT | STYP_DATA);

    if (text_data == (STYP_TEXT | STYP_DATA)) {
        first = "exec/init";
        load = 1;
    } else if (text_data == STYP_TEXT) {
        first = "exec";
        load = 1;
    } else if (copy_text_data == (STYP_COPY | STYP_DATA)) {
        bool cinit = is_cinit_name(name);
        first = cinit ? "CINIT-copy" : "ic-xdata";
        if (cinit) load = 1;
    } else if (copy_text_data == STYP_DATA) {
        first = "init";
        load = 1;
    }
    if (s_flags & STYP_BSS) second = "uninit";
    if (s_flags == 0) {
        first = "r-data";
        load = 1;
    } else if (s_flags == STYP_COPY) {
        first = "c-xdata";
    }

    if (text) {
        size_t a = std::strlen(first);
        size_t b = std::strlen(second);
        std::memcpy(text, first, a);
        std::memcpy(text + a, second, b);
        text[a + b] = '\0';
    }
    if (loadable) *loadable = load;
}

namespace {

SectionUse coff_use(uint32_t s_size, uint32_t s_flags, uint32_t s_scnptr, const char* name) {
    if (s_size == 0) return SectionUse::skip;
    if ((s_flags & (STYP_TEXT | STYP_DATA)) == 0 && s_flags != 0) return SectionUse::skip;
    // Contents not stored in the file (raw data pointer 0): reading "them" from offset 0
    // would put the file's own headers into DSP memory.
    if (s_scnptr == 0) return SectionUse::unstored;
    if ((s_flags & (STYP_COPY | STYP_DATA)) != (STYP_COPY | STYP_DATA)) return SectionUse::record;
    return is_cinit_name(name) ? SectionUse::cinit : SectionUse::passed;
}

}  // namespace

SectionView coff_section_view(uint32_t index) {
    const RunState& rs = run_state;
    SectionHeader sh = section_at(rs.section_table + size_t{index - 1} * kSectionHeaderSize);
    SectionView v;
    copy_section_name(sh, v.short_name);
    v.long_name = nullptr;
    v.use = coff_use(sh.s_size, sh.s_flags, sh.s_scnptr, v.short_name);
    v.listed = sh.s_size != 0;
    v.copy = (sh.s_flags & STYP_COPY) != 0;
    v.load_address = sh.s_vaddr;
    v.run_address = sh.s_paddr;
    v.size = sh.s_size;
    v.file_offset = sh.s_scnptr;
    v.flags = sh.s_flags;
    v.type = 0;
    return v;
}

}  // namespace velm
