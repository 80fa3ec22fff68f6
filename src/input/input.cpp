#include "input/input.h"

#include <cstring>

#include "coff/coff_format.h"
#include "coff/coff_section_view.h"
#include "coff/loader.h"
#include "core/run_state.h"
#include "elf/elf_format.h"
#include "elf/elf_section_view.h"
#include "elf/loader.h"
#include "platform/input_file.h"
#include "platform/path_resolve.h"

namespace velm {

namespace {

// Measures the open input and hands it to its reader.
Status load_open_input(InOpen opened) {
    RunState& rs = run_state;
    if (opened == InOpen::not_found) return kInputNotFound;
    if (opened == InOpen::not_regular) return kBadFileLength;
    int64_t length = in_filelength(rs.in_handle);
    if (length < kMinInputLength) return kBadFileLength;

    // The COFF2 file header, in one read request; its first bytes tell an ELF file.
    uint8_t first[kFileHeaderSize];
    if (in_read(rs.in_handle, first, kFileHeaderSize) != kFileHeaderSize) return kReadError;
    if (is_elf_magic(ByteSpan{first, sizeof first})) {
        if (length > kMaxElfLength) return kBadFileLength;
        rs.in_length = static_cast<uint32_t>(length);
        return load_elf_input(first, kFileHeaderSize);
    }
    if (length > kMaxInputLength) return kBadFileLength;
    rs.in_length = static_cast<uint32_t>(length);
    return load_coff_input(first);
}

}  // namespace

Status load_input() {
    return load_open_input(in_open(resolve_path(run_state.in_typed), &run_state.in_handle));
}

Status load_held_input(intptr_t held) {
    return load_open_input(in_open_held(held, &run_state.in_handle));
}

InputDescription describe_input() {
    const RunState& rs = run_state;
    if (rs.input_format == InputFormat::elf) {
        const ElfHeader& h = rs.elf_header;
        uint32_t last = h.e_shnum != 0 ? h.e_shnum - 1u : 0u;
        return InputDescription{"ELF", "ELF", h.e_shnum, true, h.e_entry, last};
    }
    const FileHeader& fh = rs.file_header;
    return InputDescription{
        "COFF2", "COFF", fh.f_nscns, fh.f_opthdr != 0, optional_header().o_entry, fh.f_nscns};
}

SectionView section_view(uint32_t index, char name_room[kShortNameSize]) {
    if (run_state.input_format == InputFormat::elf) return elf_section_view(index);
    return coff_section_view(index, name_room);
}

size_t section_attributes(SectionUse use, uint32_t flags, uint32_t type, const char* record_name,
                          char text[kAttributeTextSize], int32_t* loadable) {
    if (run_state.input_format != InputFormat::elf) {
        return classify_section(flags, record_name, text, loadable);
    }
    const char* words = elf_attribute_text(use, flags, type);
    size_t size = std::strlen(words);
    if (text != nullptr) std::memcpy(text, words, size + 1);
    if (loadable != nullptr) *loadable = use == SectionUse::record ? 1 : 0;
    return size;
}

}  // namespace velm
