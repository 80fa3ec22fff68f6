#include "coff/loader.h"

#include "coff/coff_format.h"
#include "coff/coff_section_view.h"
#include "core/range.h"
#include "core/run_state.h"
#include "platform/compiler.h"
#include "platform/input_file.h"
#include "platform/memory.h"

namespace velm {

namespace {

// The file header's own checks, in their fixed order.
Status check_file_header(const FileHeader& fh, uint32_t in_length) {
    if (fh.f_version != kCoff2Version) return kBadFileFormat;
    if (fh.f_target_id != kC6000Target) return kBadFileFormat;
    if (fh.f_opthdr != 0 && fh.f_opthdr != kOptHeaderSize) return kBadFileFormat;
    if (fh.f_nscns == 0) return kBadFileFormat;
    if (fh.f_symptr >= in_length) return kBadFileFormat;
    if ((fh.f_flags & kRequiredFlags) != kRequiredFlags) return kBadFileFormat;
    return kOk;
}

// Every section whose stored contents the conversion reads must lie inside the file,
// and the headers plus all such contents must fit in the file together. That is every
// code or data section, and every regular section (flags 0) stored in the file: left
// unchecked, a few thousand regular sections pointing at the same bytes would make a
// 4 MiB input write hundreds of gigabytes. A code or data section whose contents are not
// stored (s_scnptr 0) is held to the first two tests alone. Leaves cur_section one past
// the last header.
Status check_section_extents(uint64_t headers_end) {
    RunState& rs = run_state;
    const ByteSpan table = section_table();
    const uint32_t count = rs.file_header.f_nscns;
    // The table was read whole; the loop below walks it and needs no check per header.
    if (!span_holds(table, 0, size_t{count} * kSectionHeaderSize)) return kBadFileFormat;
    const uint32_t length = rs.in_length;
    uint64_t total = headers_end;
    const uint8_t* at = table.data;
    const uint8_t* const end = at + size_t{count} * kSectionHeaderSize;
    for (; at != end; at += kSectionHeaderSize) {
        prefetch_ahead(at, kTableAhead);
        uint32_t s_size = load_le32(at + kSizeField);
        uint32_t s_flags = load_le32(at + kFlagsField);
        uint32_t s_scnptr = load_le32(at + kScnptrField);
        bool read = s_size != 0 &&
                    ((s_flags & (STYP_TEXT | STYP_DATA)) != 0 || (s_flags == 0 && s_scnptr != 0));
        // Summed in 64 bits, nothing wraps; as s_size is above zero, this also holds
        // s_scnptr below the length.
        bool outside = uint64_t{s_scnptr} + s_size > length;
        total += read && s_scnptr != 0 ? s_size : 0;
        if (read && (outside || total > length)) break;
    }
    rs.cur_section = at;  // at the section that failed a check, or one past the last
    return at == end ? kOk : kBadFileFormat;
}

}  // namespace

Status load_coff_input(const uint8_t* file_header) {
    RunState& rs = run_state;
    decode_file_header(ByteSpan{file_header, kFileHeaderSize}, &rs.file_header);
    rs.file_header_ref = &rs.file_header;
    const FileHeader& fh = rs.file_header;
    Status st = check_file_header(fh, rs.in_length);
    if (st != kOk) return st;

    // The optional header and section table must fit; at most 3,145,708 bytes.
    uint64_t area = uint64_t{fh.f_nscns} * kSectionHeaderSize + (fh.f_opthdr ? kOptHeaderSize : 0);
    rs.header_area_size = static_cast<uint32_t>(area);
    if (!ends_within(kFileHeaderSize, area, rs.in_length)) return kBadFileFormat;

    // Used where the file holds it when the input can be mapped: a table of tens of
    // thousands of headers would otherwise be copied into as many fresh pages, which
    // costs more than the pass over it. Otherwise one allocation (two spare bytes, never
    // touched) and one chunked read.
    const uint8_t* headers = in_map(rs.in_handle, kFileHeaderSize, static_cast<int64_t>(area));
    if (headers == nullptr) {
        rs.header_area = static_cast<uint8_t*>(block_alloc(area + 2));
        if (rs.header_area == nullptr) return kOutOfMemory;
        st = read_exact(rs.in_handle, rs.header_area, static_cast<int32_t>(area));
        if (st != kOk) return st;
        headers = rs.header_area;
    }

    if (fh.f_opthdr != 0) {
        rs.opt_header = headers;
        if (optional_header().o_magic != kOptMagic) return kBadFileFormat;
    }

    // At least one byte must follow the section table.
    uint64_t headers_end = kFileHeaderSize + area;
    if (headers_end >= rs.in_length) return kBadFileFormat;

    rs.section_table = headers + (fh.f_opthdr ? kOptHeaderSize : 0);
    rs.cur_section = rs.section_table;
    return check_section_extents(headers_end);
}

}  // namespace velm
