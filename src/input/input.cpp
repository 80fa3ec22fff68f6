#include "input/input.h"

#include "coff/classify.h"
#include "coff/coff_format.h"
#include "coff/loader.h"
#include "core/run_state.h"
#include "platform/input_file.h"
#include "platform/path_resolve.h"

namespace velm {

Status load_input() {
    RunState& rs = run_state;
    InOpen opened = in_open(resolve_path(rs.in_typed), &rs.in_handle);
    if (opened == InOpen::not_found) return kInputNotFound;
    if (opened == InOpen::not_regular) return kBadFileLength;
    int64_t length = in_filelength(rs.in_handle);
    if (length < kMinInputLength || length > kMaxInputLength) return kBadFileLength;

    // The COFF2 file header, in one read request.
    uint8_t first[kFileHeaderSize];
    if (in_read(rs.in_handle, first, kFileHeaderSize) != kFileHeaderSize) return kReadError;
    rs.in_length = static_cast<uint32_t>(length);
    return load_coff_input(first);
}

InputDescription describe_input() {
    const RunState& rs = run_state;
    const FileHeader& fh = rs.file_header;
    return InputDescription{
        "COFF2", "COFF", fh.f_nscns, fh.f_opthdr != 0, optional_header().o_entry, fh.f_nscns};
}

SectionView section_view(uint32_t index) {
    return coff_section_view(index);
}

void section_attributes(const SectionView& view, const char* record_name,
                        char text[kAttributeTextSize], int32_t* loadable) {
    classify_section(view.flags, record_name, text, loadable);
}

}  // namespace velm
