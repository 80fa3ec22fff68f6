#include "coff/coff_format.h"

#include <cstring>

#include "core/run_state.h"

namespace velm {

bool decode_file_header(ByteSpan b, FileHeader* h) {
    *h = FileHeader{};
    if (!span_holds(b, 0, kFileHeaderSize)) return false;
    read_le16(b, 0, &h->f_version);
    read_le16(b, 2, &h->f_nscns);
    read_le32(b, 4, &h->f_timdat);
    read_le32(b, 8, &h->f_symptr);
    read_le32(b, 12, &h->f_nsyms);
    read_le16(b, 16, &h->f_opthdr);
    read_le16(b, 18, &h->f_flags);
    read_le16(b, 20, &h->f_target_id);
    return true;
}

bool decode_opt_header(ByteSpan b, OptHeader* h) {
    *h = OptHeader{};
    if (!span_holds(b, 0, kOptHeaderSize)) return false;
    read_le16(b, 0, &h->o_magic);
    read_le16(b, 2, &h->o_vstamp);
    read_le32(b, 4, &h->o_tsize);
    read_le32(b, 8, &h->o_dsize);
    read_le32(b, 12, &h->o_bsize);
    read_le32(b, 16, &h->o_entry);
    read_le32(b, 20, &h->o_text_start);
    read_le32(b, 24, &h->o_data_start);
    return true;
}

OptHeader optional_header() {
    OptHeader h;
    const RunState& rs = run_state;
    ByteSpan span{nullptr, 0};
    if (rs.opt_header != nullptr) span = ByteSpan{rs.opt_header, rs.header_area_size};
    decode_opt_header(span, &h);
    return h;
}

}  // namespace velm
