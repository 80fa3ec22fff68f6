#include "coff/loader.h"

#include <cstdlib>

#include "coff/coff_format.h"
#include "driver/run_state.h"
#include "platform/input_file.h"
#include "platform/memory.h"
#include "platform/path_resolve.h"

namespace velm {

Status read_exact(int16_t handle, void* destination, int32_t count) {
    uint8_t* dest = static_cast<uint8_t*>(destination);
    int32_t remaining = count;
    while (remaining > 0) {
        int32_t piece = remaining < kReadPiece ? remaining : kReadPiece;
        if (in_read(handle, dest, piece) != piece) return kReadError;
        dest += piece;
        remaining -= piece;
    }
    return kOk;
}

Status load_coff_input() {
    RunState& rs = run_state;

    // 1-2. Open and measure. A file that is not a regular file is never opened (it could
    // block); it fails as a length that cannot be measured.
    InOpen opened = in_open(resolve_path(rs.in_typed), &rs.in_handle);
    if (opened == InOpen::not_found) return kInputNotFound;
    if (opened == InOpen::not_regular) return kBadFileLength;
    int64_t length = in_filelength(rs.in_handle);
    if (length < kMinInputLength || length > kMaxInputLength) return kBadFileLength;
    rs.in_length = static_cast<uint32_t>(length);

    // 3. The file header, in one read request.
    uint8_t raw[kFileHeaderSize];
    if (in_read(rs.in_handle, raw, kFileHeaderSize) != kFileHeaderSize) return kReadError;
    decode_file_header(ByteSpan{raw, sizeof raw}, &rs.file_header);
    rs.file_header_ref = &rs.file_header;
    const FileHeader& fh = rs.file_header;

    // 4-9. The file header's own checks, in this order.
    if (fh.f_version != kCoff2Version) return kBadFileFormat;
    if (fh.f_target_id != kC6000Target) return kBadFileFormat;
    if (fh.f_opthdr != 0 && fh.f_opthdr != kOptHeaderSize) return kBadFileFormat;
    if (fh.f_nscns == 0) return kBadFileFormat;
    if (fh.f_symptr >= rs.in_length) return kBadFileFormat;
    if ((fh.f_flags & kRequiredFlags) != kRequiredFlags) return kBadFileFormat;

    // 10. The optional header and section table must fit; at most 3,145,708 bytes.
    uint64_t area = uint64_t{fh.f_nscns} * kSectionHeaderSize + (fh.f_opthdr ? kOptHeaderSize : 0);
    rs.header_area_size = static_cast<uint32_t>(area);
    uint64_t headers_end = kFileHeaderSize + area;
    if (headers_end > rs.in_length) return kBadFileFormat;

    // 11-12. One allocation (two spare bytes, never touched), one chunked read.
    rs.header_area = static_cast<uint8_t*>(block_alloc(area + 2));
    if (rs.header_area == nullptr) return kOutOfMemory;
    Status st = read_exact(rs.in_handle, rs.header_area, static_cast<int32_t>(area));
    if (st != kOk) return st;

    // 13. The optional header's magic.
    if (fh.f_opthdr != 0) {
        rs.opt_header = rs.header_area;
        if (optional_header().o_magic != kOptMagic) return kBadFileFormat;
    }

    // 14. At least one byte must follow the section table.
    if (headers_end >= rs.in_length) return kBadFileFormat;

    // 15-16. Every section whose stored contents the conversion reads must lie inside the
    // file, and the headers plus all such contents must fit in the file together. That
    // is every code or data section, and every regular section (flags 0) stored in the
    // file: left unchecked, a few thousand regular sections pointing at the same bytes
    // would make a 4 MiB input write hundreds of gigabytes. A code or data section
    // whose contents are not stored (s_scnptr 0) is held to the first two tests alone.
    rs.section_table = rs.header_area + (fh.f_opthdr ? kOptHeaderSize : 0);
    rs.cur_section = rs.section_table;
    uint64_t total = headers_end;
    for (uint32_t i = 0; i < fh.f_nscns; ++i) {
        SectionHeader sh = section_at(rs.cur_section);
        bool code_or_data = (sh.s_flags & (STYP_TEXT | STYP_DATA)) != 0;
        bool stored_regular = sh.s_flags == 0 && sh.s_scnptr != 0;
        if (sh.s_size != 0 && (code_or_data || stored_regular)) {
            if (sh.s_scnptr >= rs.in_length) return kBadFileFormat;
            if (uint64_t{sh.s_scnptr} + sh.s_size > rs.in_length) return kBadFileFormat;
            if (sh.s_scnptr != 0) {
                total += sh.s_size;
                if (total > rs.in_length) return kBadFileFormat;
            }
        }
        rs.cur_section += kSectionHeaderSize;
    }
    return kOk;
}

}  // namespace velm
