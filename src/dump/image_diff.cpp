#include "dump/image_diff.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/byte_order.h"

namespace velm::dump {

namespace {

// The comparison keeps its state in the records' `resume` fields, so that it needs no
// memory beyond the tables and their by_address index:
//   streamed side S:  (first differing byte, or kNone) << 32 | partner in R (or kNone).
//     S is read again in order, so it needs no resume offset.
//   random side R:    kTaken | its resume offset, until its record is read again;
//                     then kTaken | partner in S.
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint64_t kTaken = uint64_t{1} << 63;

uint32_t low(uint64_t v) {
    return static_cast<uint32_t>(v);
}
uint32_t high(uint64_t v) {
    return static_cast<uint32_t>(v >> 32);
}

struct Pairing {
    RecordTable* s;
    RecordTable* r;
    bool s_is_a;
};

bool s_paired(const Pairing& p, uint32_t i) {
    return low((*p.s)[i].resume) != kNone;
}
bool r_paired(const Pairing& p, uint32_t i) {
    return ((*p.r)[i].resume & kTaken) != 0;
}
bool a_paired(const Pairing& p, uint32_t i) {
    return p.s_is_a ? s_paired(p, i) : r_paired(p, i);
}
bool b_paired(const Pairing& p, uint32_t i) {
    return p.s_is_a ? r_paired(p, i) : s_paired(p, i);
}

// A's partner in B and the first differing byte of the pair (kNone when none), once
// the second pass is done.
uint32_t a_partner(const Pairing& p, uint32_t i) {
    return low((p.s_is_a ? *p.s : *p.r)[i].resume);
}
uint32_t a_first_difference(const Pairing& p, uint32_t i) {
    return p.s_is_a ? high((*p.s)[i].resume) : high((*p.s)[a_partner(p, i)].resume);
}

void pair(const Pairing& p, uint32_t a, uint32_t b) {
    const uint32_t s = p.s_is_a ? a : b;
    const uint32_t r = p.s_is_a ? b : a;
    (*p.s)[s].resume = (uint64_t{kNone} << 32) | r;
    (*p.r)[r].resume |= kTaken;
}

// Pairs records of equal key, each list in file order: the k-th unpaired record of A with
// a key pairs with the k-th unpaired record of B with that key. `ia` and `ib` are sorted
// by key, then index.
template <typename Less>
void pair_in_order(const Pairing& p, const RecordTable& ta, const uint32_t* ia, uint32_t na,
                   const RecordTable& tb, const uint32_t* ib, uint32_t nb, Less less) {
    uint32_t i = 0;
    uint32_t j = 0;
    while (i < na && j < nb) {
        if (a_paired(p, ia[i])) {
            ++i;
        } else if (b_paired(p, ib[j])) {
            ++j;
        } else if (less(ta[ia[i]], tb[ib[j]])) {
            ++i;
        } else if (less(tb[ib[j]], ta[ia[i]])) {
            ++j;
        } else {
            pair(p, ia[i++], ib[j++]);
        }
    }
}

bool by_range(const Record& x, const Record& y) {
    return x.address != y.address ? x.address < y.address : x.length < y.length;
}
bool by_start(const Record& x, const Record& y) {
    return x.address < y.address;
}

// Images list their records in address order more often than not: then the index needs
// no sorting.
template <typename Less>
void sort_index(const RecordTable& t, uint32_t* index, uint32_t n, Less less) {
    auto before = [&t, less](uint32_t x, uint32_t y) {
        if (less(t[x], t[y])) return true;
        if (less(t[y], t[x])) return false;
        return x < y;
    };
    if (!std::is_sorted(index, index + n, before)) std::sort(index, index + n, before);
}

// ---- the second pass ----------------------------------------------------------------------

struct Compare {
    Pairing pairing;
    DiffSide s;
    DiffSide r;
    RecordCursor cursor;
    bool failed = false;  // the random side could not be read again
    uint8_t scratch[64 * 1024];
};

// Data bytes of streamed record i that the comparison still needs.
uint64_t wanted(const Compare* c, uint32_t i) {
    const Record& rs = (*c->pairing.s)[i];
    const uint32_t partner = low(rs.resume);
    if (partner == kNone || high(rs.resume) != kNone) return 0;
    return std::min(rs.length, (*c->pairing.r)[partner].length);
}

// `n` data bytes of streamed record i, from its byte `at` on.
void compare_data(Compare* c, uint32_t i, uint64_t at, const uint8_t* bytes, size_t n) {
    const uint64_t need = wanted(c, i);
    if (at >= need || c->failed) return;
    if (n > need - at) n = static_cast<size_t>(need - at);
    Record& rs = (*c->pairing.s)[i];
    const uint32_t partner = low(rs.resume);
    Record& rr = (*c->pairing.r)[partner];
    if (at == 0) {
        Record where = rr;
        where.resume = rr.resume & ~kTaken;
        if (!record_open(&c->cursor, c->r.src, c->r.image->encoding, where)) {
            c->failed = true;
            return;
        }
        rr.resume = kTaken | i;
    }
    for (size_t done = 0; done < n;) {
        const size_t piece = std::min(n - done, sizeof c->scratch);
        if (!record_read(&c->cursor, c->scratch, piece)) {
            c->failed = true;
            return;
        }
        if (std::memcmp(c->scratch, bytes + done, piece) != 0) {
            size_t k = 0;
            while (c->scratch[k] == bytes[done + k]) ++k;
            rs.resume = (static_cast<uint64_t>(at + done + k) << 32) | partner;
            return;
        }
        done += piece;
    }
}

}  // namespace

// The streamed side read again: record by record along its table, checking that each
// header is still what the first pass found.
struct Replay {
    Compare* compare = nullptr;
    const RecordTable* table = nullptr;
    uint32_t i = 0;     // the record being passed
    uint64_t done = 0;  // its bytes (BINARY) or words (TEXT) passed so far
    uint32_t header[3] = {};
    uint8_t header_bytes[12] = {};
    bool changed = false;
};

namespace {

void check_header(Replay* rp, const Record& r) {
    if (rp->header[0] != tag_of(kind_of(r)) || rp->header[1] != r.address ||
        rp->header[2] != r.length) {
        rp->changed = true;
    }
}

uint64_t replay_words(void* ctx, const TextWords& batch) {
    Replay* rp = static_cast<Replay*>(ctx);
    size_t k = 0;
    while (k < batch.count && !rp->changed && rp->i < rp->table->size()) {
        const Record& r = (*rp->table)[rp->i];
        const uint64_t total = 3 + static_cast<uint64_t>(data_words_of(r));
        if (rp->done < 3) {
            rp->header[rp->done++] = batch.value[k++];
            if (rp->done == 3) check_header(rp, r);
        } else {
            const size_t take =
                static_cast<size_t>(std::min<uint64_t>(total - rp->done, batch.count - k));
            const uint64_t at = 4 * (rp->done - 3);
            if (at < r.length && wanted(rp->compare, rp->i) > at) {
                uint8_t bytes[4 * TextWords::kMax];
                for (size_t w = 0; w < take; ++w) store_le32(bytes + 4 * w, batch.value[k + w]);
                const size_t n = static_cast<size_t>(std::min<uint64_t>(4 * take, r.length - at));
                compare_data(rp->compare, rp->i, at, bytes, n);
            }
            k += take;
            rp->done += take;
        }
        if (rp->done == total) {
            ++rp->i;
            rp->done = 0;
        }
    }
    return 0;
}

// Bytes of the BINARY stream the comparison does not need: the rest of a data part once
// the comparison has what it wants from it.
uint64_t replay_skippable(const Replay* rp) {
    if (rp->i >= rp->table->size() || rp->done < 12) return 0;
    const Record& r = (*rp->table)[rp->i];
    const uint64_t total = 12 + 4 * static_cast<uint64_t>(data_words_of(r));
    return rp->done - 12 >= wanted(rp->compare, rp->i) ? total - rp->done : 0;
}

void replay_skipped(Replay* rp, uint64_t n) {
    rp->done += n;
    const Record& r = (*rp->table)[rp->i];
    if (rp->done == 12 + 4 * static_cast<uint64_t>(data_words_of(r))) {
        ++rp->i;
        rp->done = 0;
    }
}

bool replay_side(Compare* c, Replay* rp, DiffTrouble* trouble) {
    Source* src = c->s.src;
    trouble->side = src;
    if (c->s.again != nullptr) {
        if (!c->s.again(c->s.again_ctx, rp, &trouble->reason)) return false;
    } else if (!source_restart(src)) {
        trouble->reason = "cannot be read a second time";
        return false;
    } else if (c->s.image->encoding == Encoding::binary) {
        uint8_t* window = static_cast<uint8_t*>(std::malloc(256 * 1024));
        if (window == nullptr) {
            trouble->reason = "out of memory";
            return false;
        }
        for (;;) {
            if (rp->changed || c->failed || rp->i >= rp->table->size()) break;
            const uint64_t skip = replay_skippable(rp);
            int64_t got;
            if (skip > 0) {
                got = source_skip(src, skip);
                if (got > 0) replay_skipped(rp, static_cast<uint64_t>(got));
            } else {
                got = source_read(src, window, 256 * 1024);
                if (got > 0) replay_bytes(rp, window, static_cast<size_t>(got));
            }
            if (got <= 0) break;
        }
        std::free(window);
    } else {
        TextScanner scanner;
        std::vector<Problem> unused;
        if (text_scanner_begin(&scanner, src, nullptr, 0)) {
            read_text_image(&scanner, TextSink{replay_words, rp}, &unused);
        }
        text_scanner_free(&scanner);
    }
    if (!src->error.empty()) {
        trouble->reason = src->error;
        return false;
    }
    if (c->failed) {
        trouble->side = c->r.src;
        trouble->reason =
            c->r.src->error.empty() ? "the file changed while it was being read" : c->r.src->error;
        return false;
    }
    if (rp->changed || rp->i < rp->table->size()) {
        trouble->reason = "the file changed while it was being read";
        return false;
    }
    return true;
}

}  // namespace

void replay_bytes(Replay* rp, const uint8_t* p, size_t n) {
    while (n > 0 && !rp->changed && rp->i < rp->table->size()) {
        const Record& r = (*rp->table)[rp->i];
        const uint64_t total = 12 + 4 * static_cast<uint64_t>(data_words_of(r));
        size_t take;
        if (rp->done < 12) {
            take = std::min<size_t>(static_cast<size_t>(12 - rp->done), n);
            std::memcpy(rp->header_bytes + rp->done, p, take);
            if (rp->done + take == 12) {
                for (int w = 0; w < 3; ++w) rp->header[w] = load_le32(rp->header_bytes + 4 * w);
                check_header(rp, r);
            }
        } else {
            take = static_cast<size_t>(std::min<uint64_t>(total - rp->done, n));
            const uint64_t at = rp->done - 12;
            if (at < r.length) {
                compare_data(rp->compare, rp->i, at, p,
                             static_cast<size_t>(std::min<uint64_t>(take, r.length - at)));
            }
        }
        p += take;
        n -= take;
        rp->done += take;
        if (rp->done == total) {
            ++rp->i;
            rp->done = 0;
        }
    }
}

bool diff_images(DiffSide a, DiffSide b, void (*emit)(void* ctx, const Difference& d), void* ctx,
                 DiffTrouble* trouble) {
    for (DiffSide side : {a, b}) {
        if (side.image->by_address == nullptr && !find_overlaps(side.image, true)) {
            trouble->side = side.src;
            trouble->reason = "out of memory";
            return false;
        }
    }
    RecordTable& ta = a.image->records;
    RecordTable& tb = b.image->records;
    uint32_t* ia = a.image->by_address;
    uint32_t* ib = b.image->by_address;
    const uint32_t na = a.image->by_address_count;
    const uint32_t nb = b.image->by_address_count;
    Compare* c = new (std::nothrow) Compare;
    if (c == nullptr) {
        trouble->side = a.src;
        trouble->reason = "out of memory";
        return false;
    }
    // A side that can only be streamed, made again, is; otherwise A is.
    const bool s_is_a = b.again == nullptr;
    c->pairing = Pairing{s_is_a ? &ta : &tb, s_is_a ? &tb : &ta, s_is_a};
    c->s = s_is_a ? a : b;
    c->r = s_is_a ? b : a;
    RecordTable& ts = *c->pairing.s;
    for (uint32_t k = 0; k < ts.size(); ++k) ts[k].resume = ~uint64_t{0};

    sort_index(ta, ia, na, by_range);
    sort_index(tb, ib, nb, by_range);
    pair_in_order(c->pairing, ta, ia, na, tb, ib, nb, by_range);
    sort_index(ta, ia, na, by_start);
    sort_index(tb, ib, nb, by_start);
    pair_in_order(c->pairing, ta, ia, na, tb, ib, nb, by_start);

    Replay rp;
    rp.compare = c;
    rp.table = &ts;
    bool ok = replay_side(c, &rp, trouble);
    const Pairing p = c->pairing;
    delete c;
    if (!ok) return false;

    // Address by address: A's removed records, A's changed ones, B's added ones.
    uint32_t i = 0;
    uint32_t j = 0;
    while (i < na || j < nb) {
        uint32_t address = i < na ? ta[ia[i]].address : tb[ib[j]].address;
        if (j < nb && tb[ib[j]].address < address) address = tb[ib[j]].address;
        uint32_t i_end = i;
        while (i_end < na && ta[ia[i_end]].address == address) ++i_end;
        uint32_t j_end = j;
        while (j_end < nb && tb[ib[j_end]].address == address) ++j_end;
        for (uint32_t k = i; k < i_end; ++k) {
            if (a_paired(p, ia[k])) continue;
            Difference d;
            d.change = Change::removed;
            d.a = &ta[ia[k]];
            emit(ctx, d);
        }
        for (uint32_t k = i; k < i_end; ++k) {
            if (!a_paired(p, ia[k])) continue;
            Difference d;
            d.a = &ta[ia[k]];
            d.b = &tb[a_partner(p, ia[k])];
            const uint32_t first = a_first_difference(p, ia[k]);
            d.kind_differs = kind_of(*d.a) != kind_of(*d.b);
            d.length_differs = d.a->length != d.b->length;
            d.data_differ = first != kNone;
            d.first_difference = d.data_differ ? uint64_t{d.a->address} + first : 0;
            if (d.kind_differs || d.length_differs || d.data_differ) emit(ctx, d);
        }
        for (uint32_t k = j; k < j_end; ++k) {
            if (b_paired(p, ib[k])) continue;
            Difference d;
            d.change = Change::added;
            d.b = &tb[ib[k]];
            emit(ctx, d);
        }
        i = i_end;
        j = j_end;
    }
    return true;
}

namespace {

void collect(void* ctx, const Difference& d) {
    static_cast<std::vector<Difference>*>(ctx)->push_back(d);
}

}  // namespace

std::vector<Difference> diff_images(Image& a, Image& b) {
    std::vector<uint64_t> saved_a;
    std::vector<uint64_t> saved_b;
    // By value: a reference to a field of the packed Record would be misaligned.
    for (const Record& r : a.records) saved_a.push_back(uint64_t{r.resume});
    for (const Record& r : b.records) saved_b.push_back(uint64_t{r.resume});
    Source sa =
        memory_source("A", reinterpret_cast<const uint8_t*>(a.bytes.data()), a.bytes.size());
    Source sb =
        memory_source("B", reinterpret_cast<const uint8_t*>(b.bytes.data()), b.bytes.size());
    std::vector<Difference> out;
    DiffTrouble trouble;
    if (!diff_images(DiffSide{&sa, &a}, DiffSide{&sb, &b}, collect, &out, &trouble)) out.clear();
    for (uint32_t k = 0; k < a.records.size(); ++k) a.records[k].resume = saved_a[k];
    for (uint32_t k = 0; k < b.records.size(); ++k) b.records[k].resume = saved_b[k];
    return out;
}

}  // namespace velm::dump
