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

size_t classify_section(uint32_t s_flags, const char* name, char text[kAttributeTextSize],
                        int32_t* loadable) {
    // At most one of rules 1 to 5 holds; "uninit" may follow it; "r-data" and "c-xdata"
    // hold only when no other word does. 16 characters at most. The words are padded to
    // one width, so that the text is made by copies whose sizes are known when compiling.
    enum Word { kNone, kExecInit, kExec, kCinitCopy, kIcXdata, kInit, kRData, kCXdata };
    static constexpr char kWords[][11] = {"",         "exec/init", "exec",   "CINIT-copy",
                                          "ic-xdata", "init",      "r-data", "c-xdata"};
    static constexpr uint8_t kWordSize[] = {0, 9, 4, 10, 8, 4, 6, 7};
    static constexpr int32_t kWordLoads[] = {0, 1, 1, 1, 0, 1, 1, 0};
    // The first word by the COPY, TEXT and DATA bits (0x10, 0x20, 0x40 as 1, 2, 4): code
    // with data, code, data, and copy-data (.cinit's word, or another tool's table).
    static constexpr Word kByBits[8] = {kNone, kNone,    kExec,     kExec,
                                        kInit, kIcXdata, kExecInit, kExecInit};
    Word first = kByBits[(s_flags >> 4) & 7];
    if (first == kIcXdata && is_cinit_name(name)) first = kCinitCopy;
    bool uninit = (s_flags & STYP_BSS) != 0;
    if (s_flags == 0) {
        first = kRData;
    } else if (s_flags == STYP_COPY) {
        first = kCXdata;
    }
    int32_t load = kWordLoads[first];

    size_t size = kWordSize[first];
    if (text) {
        std::memcpy(text, kWords[first], sizeof kWords[first]);  // the padding terminates it
        if (uninit) std::memcpy(text + size, "uninit", 7);
    }
    if (loadable) *loadable = load;
    return uninit ? size + 6 : size;
}

namespace {

SectionUse coff_use(uint32_t s_size, uint32_t s_flags, uint32_t s_scnptr, const char* name) {
    SectionUse use = coff_use_by_fields(s_size, s_flags, s_scnptr);
    if (use != SectionUse::passed) return use;
    return is_cinit_name(name) ? SectionUse::cinit : SectionUse::passed;
}

}  // namespace

SectionView coff_section_view(uint32_t index, char name_room[kSectionNameSize]) {
    SectionHeader sh;
    loaded_section_header(index, &sh);  // zeroed for a bad index
    SectionView v;
    copy_section_name(sh, name_room);
    v.name = name_room;
    v.use = coff_use(sh.s_size, sh.s_flags, sh.s_scnptr, name_room);
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
