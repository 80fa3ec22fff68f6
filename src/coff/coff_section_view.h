// Each section of a COFF2 file as the conversion pass and the listing see it (its
// SectionView), with the printable name and the attribute text that go with it.
#ifndef C6X_VELM_COFF_COFF_SECTION_VIEW_H
#define C6X_VELM_COFF_COFF_SECTION_VIEW_H

#include <cstddef>
#include <cstdint>

#include "coff/coff_format.h"
#include "core/section_view.h"

namespace velm {

constexpr size_t kSectionNameSize = kShortNameSize;  // 8 characters and the terminator

// The 8 name bytes copied as stored, terminated at position 8, so the text runs up to
// the first zero byte. A name kept in the string table (four zero bytes, then an
// offset) gives the empty text: the string table is never read.
void copy_section_name(const SectionHeader& section, char name[kSectionNameSize]);

// The attribute words for `s_flags` and the section's name, run together without a
// separator ("init" + "uninit" is "inituninit"), and whether the section is loadable.
// Either destination may be null; the other is still produced. Returns the text's length.
// Fixed-size outputs: the conversion calls this once per section and must not allocate.
size_t classify_section(uint32_t s_flags, const char* name, char text[kAttributeTextSize],
                        int32_t* loadable);

// True when `name` is ".cinit" in any letter case (a whole-text comparison).
bool is_cinit_name(const char* name);

// What the pass does with a section of the given size, flags and raw data pointer, short
// of telling a .cinit table from another copy-data section: `passed` stands for both
// there, and the caller that needs to know looks at the name.
inline SectionUse coff_use_by_fields(uint32_t s_size, uint32_t s_flags, uint32_t s_scnptr) {
    if (s_size == 0) return SectionUse::skip;
    if ((s_flags & (STYP_TEXT | STYP_DATA)) == 0 && s_flags != 0) return SectionUse::skip;
    // Contents not stored in the file (raw data pointer 0): reading "them" from offset 0
    // would put the file's own headers into DSP memory.
    if (s_scnptr == 0) return SectionUse::unstored;
    if ((s_flags & (STYP_COPY | STYP_DATA)) != (STYP_COPY | STYP_DATA)) return SectionUse::record;
    return SectionUse::passed;
}

// The section whose 48-byte header is at `h`, read straight from the table for a pass
// that takes many sections at once: its use as above and, for a section record, the
// record's address, size and contents.
struct CoffRecord {
    uint32_t address;  // s_vaddr
    uint32_t size;
    uint32_t file_offset;
};
inline SectionUse coff_record_at(const uint8_t* h, CoffRecord* r) {
    r->address = load_le32(h + kVaddrField);
    r->size = load_le32(h + kSizeField);
    r->file_offset = load_le32(h + kScnptrField);
    return coff_use_by_fields(r->size, load_le32(h + kFlagsField), r->file_offset);
}

// How far ahead of the header in hand a walk over a long section table fetches the
// table (prefetch_ahead): about twenty headers.
constexpr size_t kTableAhead = 1024;

// Section `index` (1 to f_nscns) of the loaded section table. A valid section has a
// non-zero size and is code or data (STYP_TEXT or STYP_DATA), or regular (flags 0). Its
// contents become one section record, except that contents not stored in the file
// (s_scnptr 0) give none, and a copy-data section (STYP_COPY and STYP_DATA) holds a
// load-time table: expanded when it is .cinit, passed over otherwise. Every non-empty
// section is listed; copy sections with dashes for their addresses.
// The name is made in `name_room`.
SectionView coff_section_view(uint32_t index, char name_room[kSectionNameSize]);

}  // namespace velm

#endif
