// Record-by-record comparison of two images.
//
// Records are matched by address range, not by position: two builds that emit the same
// records in another order are equal. A record of A pairs first with a record of B that
// covers exactly the same range; what is left pairs by start address alone (a section
// that grew or shrank is one changed record, not one removed and one added). Records
// that share a range pair in file order. A pair differs when the kind, the length or the
// data bytes differ; only the `length` bytes a record loads are compared, not the
// rounding bytes of its last word. End records are not compared.
#ifndef C6X_VELM_DUMP_IMAGE_DIFF_H
#define C6X_VELM_DUMP_IMAGE_DIFF_H

#include <cstdint>
#include <vector>

#include "dump/image.h"

namespace velm::dump {

enum class Change { removed, changed, added };

struct Difference {
    Change change = Change::changed;
    const Record* a = nullptr;  // the record in A; null when added
    const Record* b = nullptr;  // the record in B; null when removed
    bool kind_differs = false;
    bool length_differs = false;
    bool data_differ = false;       // within the bytes both records hold
    uint64_t first_difference = 0;  // address of the first differing byte when data_differ
};

// The differences, sorted by address (A's record for removed and changed, B's for
// added), then removed before changed before added. Empty when the images are equal.
// Both images should be free of errors; records that were not decoded are not compared.
std::vector<Difference> diff_images(const Image& a, const Image& b);

}  // namespace velm::dump

#endif
