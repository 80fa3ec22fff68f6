// One section of the loaded input as the conversion pass and the listing see it,
// whichever reader loaded the file.
//
// Each reader makes the decisions its format needs (which sections count, which are
// loaded, at which address, what their contents hold) and states them here; the pass
// and the listing act on the view alone and never look at a format's own headers.
#ifndef C6X_VELM_CORE_SECTION_VIEW_H
#define C6X_VELM_CORE_SECTION_VIEW_H

#include <cstddef>
#include <cstdint>

namespace velm {

// What the conversion pass does with a section. Every use but `skip` counts the section
// as valid (the summary's "valid sections").
enum class SectionUse : uint8_t {
    skip,      // not counted, nothing read
    unstored,  // counted; its contents are not stored in the file, so nothing is read
    passed,    // counted; the input is positioned at its contents, nothing is written
    record,    // one section record: `size` bytes from `file_offset` at `load_address`
    cinit,     // its contents are a .cinit table, expanded into one record per entry
};

constexpr size_t kShortNameSize = 9;  // a COFF2 name field: 8 bytes and the terminator

// The longest attribute text ("CINIT-copy" + "uninit") and its terminator.
constexpr size_t kAttributeTextSize = 17;

struct SectionView {
    SectionUse use;
    bool listed;  // has a line in the -d listing
    bool copy;    // listed with dashes in place of its addresses
    uint32_t load_address;
    uint32_t run_address;
    uint32_t size;
    uint32_t file_offset;
    uint32_t flags;  // the format's own flag word: COFF2 s_flags, ELF sh_flags
    uint32_t type;   // ELF sh_type; 0 for COFF2
    // The full name: an ELF name points into the loaded name table; a COFF2 name, made
    // from its 8-byte field, into the room the caller gave for it (kShortNameSize bytes).
    // The room is the caller's rather than the view's, so that a view holds no array and
    // a pass over every section can keep it in registers.
    const char* name;
};

}  // namespace velm

#endif
