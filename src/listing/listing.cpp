#include "listing/listing.h"

#include <cstdio>
#include <cstring>

#include "core/run_state.h"
#include "core/section_view.h"
#include "input/input.h"
#include "platform/stream.h"

namespace velm {

namespace {

constexpr size_t kInlineName = 64;  // longer names are not formatted into the line

// Section line layout with an index below 1000 and a name of at most 8 characters
// (positions from 1):
//   1-2 blanks, 3-5 index, 6-8 blanks, 9-16 name, 17-20 blanks, 21-41 address pair
//   (load then run address, or dashes for a copy section), 42-44 blanks, 45-54 size,
//   55-57 blanks, 58-68 attribute text cut or padded to 11, 69-71 blanks, 72-75 "LOAD".
// A larger index or a longer name widens its field and shifts the rest of the line.
void list_section(uint32_t n, const SectionView& v) {
    char attrib[kAttributeTextSize];
    int32_t loadable = 0;
    const char* name = view_name(v);
    section_attributes(v, name, attrib, &loadable);
    char pair[22];
    if (v.copy) {
        std::snprintf(pair, sizeof pair, " --------   -------- ");
    } else {
        std::snprintf(pair, sizeof pair, "0x%.8lx 0x%.8lx",
                      static_cast<unsigned long>(v.load_address),
                      static_cast<unsigned long>(v.run_address));
    }
    const char* status = loadable ? "LOAD" : "";
    const unsigned long size = v.size;
    char line[192];
    size_t name_length = std::strlen(name);
    if (name_length <= kInlineName) {
        std::snprintf(line, sizeof line, "  %.3u   %-8s    %s   0x%.8lx   %-11.11s   %s\n", n, name,
                      pair, size, attrib, status);
        console_write(line);
        return;
    }
    // An ELF name has no bound: it goes out on its own between the line's two halves.
    int head = std::snprintf(line, sizeof line, "  %.3u   ", n);
    out_write(console(), line, static_cast<size_t>(head));
    out_write(console(), name, name_length);
    std::snprintf(line, sizeof line, "    %s   0x%.8lx   %-11.11s   %s\n", pair, size, attrib,
                  status);
    console_write(line);
}

}  // namespace

Status list_directory() {
    const RunState& rs = run_state;
    const InputDescription input = describe_input();
    char line[160];

    console_write("input file    : ");
    console_write(rs.in_path);
    std::snprintf(line, sizeof line, "\ntotal sections: %u\nfile format   : %s\n",
                  static_cast<unsigned>(input.total_sections), input.format);
    console_write(line);
    if (input.has_entry_point) {
        std::snprintf(line, sizeof line, "entry point   : 0x%X\n",
                      static_cast<unsigned>(input.entry_point));
        console_write(line);
    }
    std::snprintf(line, sizeof line,
                  "\n            <<<< %s file directory (non-empty sections only) >>>>\n",
                  input.family);
    console_write(line);
    console_write(
        " ----------------------------------------------------------------------------\n"
        " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\n");

    for (uint32_t n = 1; n <= input.last_section; ++n) {
        SectionView v = section_view(n);
        if (v.listed) list_section(n, v);
    }
    return kOk;
}

}  // namespace velm
