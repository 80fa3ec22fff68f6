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
