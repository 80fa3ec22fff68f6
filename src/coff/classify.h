// Printable section names and the section attribute text.
#ifndef C6X_VELM_COFF_CLASSIFY_H
#define C6X_VELM_COFF_CLASSIFY_H

#include <cstddef>
#include <cstdint>

#include "coff/coff_format.h"

namespace velm {

constexpr size_t kSectionNameSize = 9;     // 8 characters and the terminator
constexpr size_t kAttributeTextSize = 17;  // "CINIT-copy" + "uninit" and the terminator

// The 8 name bytes copied as stored, terminated at position 8, so the text runs up to
// the first zero byte. A name kept in the string table (four zero bytes, then an
// offset) gives the empty text: the string table is never read.
void copy_section_name(const SectionHeader& section, char name[kSectionNameSize]);

// The attribute words for `s_flags` and the section's name, run together without a
// separator ("init" + "uninit" is "inituninit"), and whether the section is loadable.
// Either destination may be null; the other is still produced. Fixed-size outputs: the
// conversion calls this once per record and must not allocate.
void classify_section(uint32_t s_flags, const char* name, char text[kAttributeTextSize],
                      int32_t* loadable);

// True when `name` is ".cinit" in any letter case (a whole-text comparison).
bool is_cinit_name(const char* name);

}  // namespace velm

#endif
