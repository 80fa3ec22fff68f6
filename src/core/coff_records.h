// The three records of a TI COFF version 2 executable, decoded, with TI's field names.
//
// They are shared types: the run state holds the file header, and the driver, the
// writer and the listing read fields by these names. Their on-disk layout and the
// decoders live with the COFF reader (coff/coff_format.h).
#ifndef C6X_VELM_CORE_COFF_RECORDS_H
#define C6X_VELM_CORE_COFF_RECORDS_H

#include <cstdint>

namespace velm {

struct FileHeader {
    uint16_t f_version;
    uint16_t f_nscns;
    uint32_t f_timdat;
    uint32_t f_symptr;
    uint32_t f_nsyms;
    uint16_t f_opthdr;
    uint16_t f_flags;
    uint16_t f_target_id;
};

struct OptHeader {
    uint16_t o_magic;
    uint16_t o_vstamp;
    uint32_t o_tsize;
    uint32_t o_dsize;
    uint32_t o_bsize;
    uint32_t o_entry;
    uint32_t o_text_start;
    uint32_t o_data_start;
};

struct SectionHeader {
    uint8_t s_name[8];
    uint32_t s_paddr;
    uint32_t s_vaddr;
    uint32_t s_size;
    uint32_t s_scnptr;
    uint32_t s_relptr;
    uint32_t s_lnnoptr;
    uint32_t s_nreloc;
    uint32_t s_nlnno;
    uint32_t s_flags;
    uint16_t s_reserved;
    uint16_t s_page;
};

}  // namespace velm

#endif
