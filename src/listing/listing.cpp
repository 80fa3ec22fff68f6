#include "listing/listing.h"

#include <cstring>

#include "core/run_state.h"
#include "core/section_view.h"
#include "input/input.h"
#include "platform/compiler.h"
#include "platform/stream.h"
#include "writer/hex_format.h"

namespace velm {

namespace {

constexpr size_t kInlineName = 64;  // longer names are not copied into the line
constexpr size_t kNameColumn = 8;
constexpr size_t kAttribColumn = 11;
constexpr size_t kLineRoom = 192;

void write_lines(const char* begin, const char* end) {
    out_write_lines(console(), begin, static_cast<size_t>(end - begin));
}

// Where a line is built: in the console's buffer when it has room, else in `line`.
char* line_start(OutStream* console, char* line) {
    char* out = out_reserve(console, kLineRoom);
    return out != nullptr ? out : line;
}

// Hands over what was built from line_start's `begin` to `end`.
void line_done(OutStream* console, const char* line, const char* begin, const char* end) {
    if (begin == line) {
        out_write_lines(console, line, static_cast<size_t>(end - line));
    } else {
        out_commit(console, end);
    }
}

// Section line layout with an index below 1000 and a name of at most 8 characters
// (positions from 1):
//   1-2 blanks, 3-5 index, 6-8 blanks, 9-16 name, 17-20 blanks, 21-41 address pair
//   (load then run address, or dashes for a copy section), 42-44 blanks, 45-54 size,
//   55-57 blanks, 58-68 attribute text cut or padded to 11, 69-71 blanks, 72-75 "LOAD".
// A larger index or a longer name widens its field and shifts the rest of the line.
//
// The line is built in place, its line end as stored. Only the name can hold a line
// feed (a damaged file's name bytes, an ELF name of any length): such a name, and one too
// long to copy into the line, goes out on its own through the writer that stores each
// line feed, between the line's two halves.
void list_section(const DecimalCounter& n, const SectionView& v, OutStream* console) {
    static constexpr auto kDashes = line_text(" --------   -------- ");
    static constexpr auto kLoad = line_text("   LOAD\n");
    static constexpr auto kNoLoad = line_text("   \n");
    char attrib[kAttributeTextSize];
    int32_t loadable = 0;
    const char* name = v.name;
    size_t attrib_length = section_attributes(v.use, v.flags, v.type, name, attrib, &loadable);
    if (attrib_length > kAttribColumn) attrib_length = kAttribColumn;

    char line[kLineRoom];
    char* begin = line_start(console, line);
    char* p = begin;
    std::memcpy(p, "  ", 2);
    p = put_counter(p + 2, n, 3);
    std::memcpy(p, "   ", 3);
    p += 3;
    size_t name_length = 0;
    while (name_length <= kInlineName && name[name_length] != '\0' && name[name_length] != '\n') {
        p[name_length] = name[name_length];
        ++name_length;
    }
    if (name[name_length] != '\0') {
        name_length += std::strlen(name + name_length);
        line_done(console, line, begin, p);
        out_write(console, name, name_length);
        begin = line_start(console, line);
        p = begin;
    } else {
        p += name_length;
    }
    for (; name_length < kNameColumn; ++name_length) *p++ = ' ';
    std::memcpy(p, "    ", 4);
    p += 4;
    if (v.copy) {
        p = put_lines(p, kDashes);
    } else {
        std::memcpy(p, "0x", 2);
        p = put_hex8_lower(p + 2, v.load_address);
        std::memcpy(p, " 0x", 3);
        p = put_hex8_lower(p + 3, v.run_address);
    }
    std::memcpy(p, "   0x", 5);
    p = put_hex8_lower(p + 5, v.size);
    std::memcpy(p, "   ", 3);
    p += 3;
    // The attribute text, cut or padded to its column.
    std::memcpy(p, attrib, kAttribColumn);
    for (size_t i = attrib_length; i < kAttribColumn; ++i) p[i] = ' ';
    p += kAttribColumn;
    p = loadable ? put_lines(p, kLoad) : put_lines(p, kNoLoad);
    line_done(console, line, begin, p);
}

}  // namespace

// Flattened, like the conversion pass: a line for each of up to 65,535 sections.
VELM_FLATTEN Status list_directory() {
    static constexpr auto kTotal = line_text("\ntotal sections: ");
    static constexpr auto kFormat = line_text("\nfile format   : ");
    static constexpr auto kEntry = line_text("\nentry point   : 0x");
    static constexpr auto kTitle = line_text("\n\n            <<<< ");
    static constexpr auto kTitleEnd = line_text(
        " file directory (non-empty sections only) >>>>\n"
        " ----------------------------------------------------------------------------\n"
        " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\n");
    const RunState& rs = run_state;
    const InputDescription input = describe_input();

    console_write("input file    : ");
    console_write(rs.in_path);
    char line[kLineRoom];
    char* p = put_lines(line, kTotal);
    p = put_decimal(p, input.total_sections);
    p = put_lines(p, kFormat);
    p = put_text(p, input.format);
    if (input.has_entry_point) {
        p = put_lines(p, kEntry);
        p = put_hex_min(p, input.entry_point);
    }
    p = put_lines(p, kTitle);
    p = put_text(p, input.family);
    write_lines(line, p);
    write_lines(kTitleEnd.text, kTitleEnd.text + kTitleEnd.size);

    OutStream* const to = console();
    DecimalCounter index;
    counter_start(&index);
    for (uint32_t n = 1; n <= input.last_section; ++n) {
        counter_next(&index);
        char name_room[kShortNameSize];
        SectionView v = section_view(n, name_room);
        if (v.listed) list_section(index, v, to);
    }
    return kOk;
}

}  // namespace velm
