#include "dump/image_diff.h"

#include <algorithm>
#include <map>
#include <utility>

namespace velm::dump {

namespace {

std::vector<const Record*> data_records(const Image& image) {
    std::vector<const Record*> out;
    for (const Record& r : image.records) {
        if (r.kind != RecordKind::end) out.push_back(&r);
    }
    return out;
}

// Pairs each unpaired record of `a` with the first unpaired record of `b` of the same key,
// both taken in file order.
template <typename KeyOf>
void pair_by(const std::vector<const Record*>& a, const std::vector<const Record*>& b, KeyOf key_of,
             std::vector<int64_t>* partner_of_a, std::vector<bool>* b_taken) {
    std::map<uint64_t, std::vector<size_t>> free_b;  // key -> unpaired indexes into b
    for (size_t j = 0; j < b.size(); ++j) {
        if (!(*b_taken)[j]) free_b[key_of(*b[j])].push_back(j);
    }
    std::map<uint64_t, size_t> used;  // how many of each key's list are taken
    for (size_t i = 0; i < a.size(); ++i) {
        if ((*partner_of_a)[i] >= 0) continue;
        auto it = free_b.find(key_of(*a[i]));
        if (it == free_b.end()) continue;
        size_t& n = used[it->first];
        if (n == it->second.size()) continue;
        size_t j = it->second[n++];
        (*partner_of_a)[i] = static_cast<int64_t>(j);
        (*b_taken)[j] = true;
    }
}

uint32_t sort_address(const Difference& d) {
    return d.a != nullptr ? d.a->address : d.b->address;
}

}  // namespace

std::vector<Difference> diff_images(const Image& a, const Image& b) {
    std::vector<const Record*> ra = data_records(a);
    std::vector<const Record*> rb = data_records(b);
    std::vector<int64_t> partner(ra.size(), -1);
    std::vector<bool> taken(rb.size(), false);
    pair_by(
        ra, rb, [](const Record& r) { return (static_cast<uint64_t>(r.address) << 32) | r.length; },
        &partner, &taken);
    pair_by(
        ra, rb, [](const Record& r) { return static_cast<uint64_t>(r.address); }, &partner, &taken);

    std::vector<Difference> out;
    for (size_t i = 0; i < ra.size(); ++i) {
        Difference d;
        d.a = ra[i];
        if (partner[i] < 0) {
            d.change = Change::removed;
            out.push_back(d);
            continue;
        }
        d.b = rb[static_cast<size_t>(partner[i])];
        d.kind_differs = d.a->kind != d.b->kind;
        d.length_differs = d.a->length != d.b->length;
        std::vector<uint8_t> bytes_a = record_bytes(a, *d.a);
        std::vector<uint8_t> bytes_b = record_bytes(b, *d.b);
        size_t common = std::min(bytes_a.size(), bytes_b.size());
        auto mismatch = std::mismatch(bytes_a.begin(), bytes_a.begin() + common, bytes_b.begin());
        if (mismatch.first != bytes_a.begin() + common) {
            d.data_differ = true;
            d.first_difference =
                d.a->address + static_cast<uint64_t>(mismatch.first - bytes_a.begin());
        }
        if (d.kind_differs || d.length_differs || d.data_differ) {
            d.change = Change::changed;
            out.push_back(d);
        }
    }
    for (size_t j = 0; j < rb.size(); ++j) {
        if (taken[j]) continue;
        Difference d;
        d.change = Change::added;
        d.b = rb[j];
        out.push_back(d);
    }
    std::stable_sort(out.begin(), out.end(), [](const Difference& x, const Difference& y) {
        if (sort_address(x) != sort_address(y)) return sort_address(x) < sort_address(y);
        return static_cast<int>(x.change) < static_cast<int>(y.change);
    });
    return out;
}

}  // namespace velm::dump
