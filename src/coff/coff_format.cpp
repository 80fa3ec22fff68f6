#include "coff/coff_format.h"

#include <cstring>

namespace velm {

namespace {
bool fits(ByteSpan b, size_t offset, size_t width) {
    return b.data != nullptr && offset <= b.size && width <= b.size - offset;
}
}  // namespace

bool read_le16(ByteSpan b, size_t offset, uint16_t* out) {
    *out = 0;
    if (!fits(b, offset, 2)) return false;
    const uint8_t* p = b.data + offset;
    *out = static_cast<uint16_t>(p[0] | (p[1] << 8));
    return true;
}

bool read_le32(ByteSpan b, size_t offset, uint32_t* out) {
    *out = 0;
    if (!fits(b, offset, 4)) return false;
    const uint8_t* p = b.data + offset;
    *out = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return true;
}

bool decode_file_header(ByteSpan b, FileHeader* h) {
    *h = FileHeader{};
    if (!fits(b, 0, kFileHeaderSize)) return false;
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
    if (!fits(b, 0, kOptHeaderSize)) return false;
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

bool decode_section_header(ByteSpan b, SectionHeader* h) {
    *h = SectionHeader{};
    if (!fits(b, 0, kSectionHeaderSize)) return false;
    std::memcpy(h->s_name, b.data, 8);
    read_le32(b, 8, &h->s_paddr);
    read_le32(b, 12, &h->s_vaddr);
    read_le32(b, 16, &h->s_size);
    read_le32(b, 20, &h->s_scnptr);
    read_le32(b, 24, &h->s_relptr);
    read_le32(b, 28, &h->s_lnnoptr);
    read_le32(b, 32, &h->s_nreloc);
    read_le32(b, 36, &h->s_nlnno);
    read_le32(b, 40, &h->s_flags);
    read_le16(b, 44, &h->s_reserved);
    read_le16(b, 46, &h->s_page);
    return true;
}

}  // namespace velm
