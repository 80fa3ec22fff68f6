#include "listing/listing.h"

#include <cstdio>

#include "coff/classify.h"
#include "coff/coff_format.h"
#include "core/run_state.h"
#include "platform/stream.h"

namespace velm {

// Section line layout with an index below 1000 (positions from 1):
//   1-2 blanks, 3-5 index, 6-8 blanks, 9-16 name, 17-20 blanks, 21-41 address pair
//   (load then run address, or dashes for a copy section), 42-44 blanks, 45-54 size,
//   55-57 blanks, 58-68 attribute text cut or padded to 11, 69-71 blanks, 72-75 "LOAD".
// A larger index widens its field and shifts the rest of the line.
Status list_directory() {
    RunState& rs = run_state;
    const FileHeader& fh = *rs.file_header_ref;
    char line[160];

    console_write("input file    : ");
    console_write(rs.in_path);
    std::snprintf(line, sizeof line, "\ntotal sections: %u\nfile format   : COFF2\n",
                  static_cast<unsigned>(fh.f_nscns));
    console_write(line);
    if (fh.f_opthdr != 0) {
        std::snprintf(line, sizeof line, "entry point   : 0x%X\n",
                      static_cast<unsigned>(optional_header().o_entry));
        console_write(line);
    }
    console_write(
        "\n            <<<< COFF file directory (non-empty sections only) >>>>\n"
        " ----------------------------------------------------------------------------\n"
        " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\n");

    rs.cur_section = rs.section_table;
    for (uint32_t n = 1; n <= fh.f_nscns; ++n, rs.cur_section += kSectionHeaderSize) {
        SectionHeader sh = section_at(rs.cur_section);
        if (sh.s_size == 0) continue;
        char name[kSectionNameSize];
        copy_section_name(sh, name);
        char attrib[kAttributeTextSize];
        int32_t loadable = 0;
        classify_section(sh.s_flags, name, attrib, &loadable);
        char pair[22];
        if (sh.s_flags & STYP_COPY) {
            std::snprintf(pair, sizeof pair, " --------   -------- ");
        } else {
            std::snprintf(pair, sizeof pair, "0x%.8lx 0x%.8lx",
                          static_cast<unsigned long>(sh.s_vaddr),
                          static_cast<unsigned long>(sh.s_paddr));
        }
        std::snprintf(line, sizeof line, "  %.3u   %-8s    %s   0x%.8lx   %-11.11s   %s\n", n, name,
                      pair, static_cast<unsigned long>(sh.s_size), attrib, loadable ? "LOAD" : "");
        console_write(line);
    }
    return kOk;
}

}  // namespace velm
