// Record-by-record comparison of two images.
//
// Records are matched by address range, not by position: two builds that emit the same
// records in another order are equal. A record of A pairs first with a record of B that
// covers exactly the same range; what is left pairs by start address alone (a section that
// grew or shrank is one changed record, not one removed and one added). Records that
// share a range pair in file order. A pair differs when the kind, the length or the data
// bytes differ; only the `length` bytes a record loads are compared, not the rounding
// bytes of its last word. End records are not compared.
//
// Two passes, so that memory grows with the records and never with the data. The first
// reads both images into their record tables (image_reader.h), with each record's CRC.
// The second reads one side again in its own order, the streamed side, and for each of
// its paired records reads the partner's bytes at random from the other side, up to the
// first byte that differs. The streamed side only needs to be readable in order again
// from its start: a pipe spooled into a temporary file, or a producer that can simply run
// again and push its BINARY bytes into replay_bytes.
#ifndef C6X_VELM_DUMP_IMAGE_DIFF_H
#define C6X_VELM_DUMP_IMAGE_DIFF_H

#include <cstdint>
#include <string>
#include <vector>

#include "dump/image.h"
#include "dump/image_reader.h"
#include "dump/source.h"

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

struct Replay;

// One image of a comparison: where it is read from and what its first pass found. A side
// that is made again for the second pass rather than read again (a program converted in
// this process) has `again`, which pushes its BINARY bytes into replay_bytes in order, or
// fails with *reason; `src` then only names it.
struct DiffSide {
    Source* src = nullptr;
    ImageRead* image = nullptr;
    bool (*again)(void* ctx, Replay* replay, std::string* reason) = nullptr;
    void* again_ctx = nullptr;
};

// Why a comparison could not be finished: the side at fault and the reason.
struct DiffTrouble {
    const Source* side = nullptr;
    std::string reason;
};

// Compares A with B, which must be free of errors, and hands each difference to `emit`:
// sorted by address (A's record for removed and changed, B's for added), then removed
// before changed before added, then in file order. One side is streamed: B when it is made
// again, A otherwise, which is read again in order from its start (source_restart). The
// other is read at random, so its source must be random (at most one side may be made
// again). Uses the records' `resume` fields and by_address (built here when missing) as
// working space; by_address is left in address order.
// False with *trouble when a read fails or a file changed between the passes.
bool diff_images(DiffSide a, DiffSide b, void (*emit)(void* ctx, const Difference& d), void* ctx,
                 DiffTrouble* trouble);

// The streamed side's second read, fed in file order: the bytes of a BINARY image from
// wherever they come (replay_bytes), or the words of a TEXT image (a TextSink).
void replay_bytes(Replay* r, const uint8_t* p, size_t n);

// Two images read whole from memory (read_image); their records stay as they were.
std::vector<Difference> diff_images(Image& a, Image& b);

}  // namespace velm::dump

#endif
