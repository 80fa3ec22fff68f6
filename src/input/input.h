// The input file, whichever format it is in: loading it, and what the conversion pass,
// the listing, the TEXT prologue and the summary need to know of it.
//
// The readers (coff/, elf/) fill the run state's input side and describe each section as
// a SectionView; everything above them asks here and never looks at a format's headers.
#ifndef C6X_VELM_INPUT_INPUT_H
#define C6X_VELM_INPUT_INPUT_H

#include <cstddef>
#include <cstdint>

#include "core/section_view.h"
#include "core/status.h"

namespace velm {

constexpr int64_t kMinInputLength = 70;  // a COFF2 file header and one section header

// Opens run_state.in_typed (resolved on disk) and measures it, reads its first 22 bytes
// in one request and hands the file to its reader: ELF when it begins with 0x7F 'E' 'L'
// 'F' (up to 0x7FFFFFFF bytes long), COFF2 otherwise (up to 4,194,304 bytes). A file that
// is not a regular file is never opened (it could block); it fails as a length that
// cannot be measured.
Status load_input();

// The same for a file the caller has open (in_open_held), in place of in_typed.
Status load_held_input(intptr_t held);

// The values the console and the TEXT prologue show for the loaded file.
struct InputDescription {
    const char* format;       // "COFF2" or "ELF"
    const char* family;       // "COFF" or "ELF": the listing's title
    uint32_t total_sections;  // f_nscns, or e_shnum with the null section
    bool has_entry_point;     // COFF2 only with an optional header
    uint32_t entry_point;
    uint32_t last_section;  // the pass and the listing walk sections 1 to this one
};

// Safe to call whatever the load got to; the values are those of the loaded file only
// after a successful load.
InputDescription describe_input();

// Section `index` of the loaded file (1 to last_section). A COFF2 name is made in
// `name_room`, which must outlive the view's use of its name.
SectionView section_view(uint32_t index, char name_room[kShortNameSize]);

// The attribute text of a section with this view's `use`, `flags` and `type`, and whether
// the listing marks it LOAD. `record_name` is the name its records carry (".cinit" for a
// .cinit table's). Either destination may be null. Returns the text's length.
size_t section_attributes(SectionUse use, uint32_t flags, uint32_t type, const char* record_name,
                          char text[kAttributeTextSize], int32_t* loadable);

}  // namespace velm

#endif
