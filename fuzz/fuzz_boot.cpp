// libFuzzer target for velm_boot: the input bytes are a BINARY image. Whatever they
// hold, the loader must read nothing outside them (AddressSanitizer guards the buffer,
// which libFuzzer sizes exactly) and must never call the write function for an image its
// check rejects. It must also agree with velm_dump's decoder on which images are sound,
// on every image, and for a sound image write exactly the bytes of each record, in order,
// at their addresses. The TEXT entry points, given the same words as an array, must give
// the same verdict and the same writes. A broken property aborts, so libFuzzer keeps the
// input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "dump/image.h"
#include "dump/image_reader.h"
#include "velm_boot.h"

namespace {

[[noreturn]] void broken(const std::string& why) {
    std::fprintf(stderr, "\nbroken property: %s\n", why.c_str());
    std::abort();
}

// What the writes of a sound image must be: each record's bytes, possibly in pieces,
// each piece at the address of its first byte, every piece but a record's last in whole
// words.
struct Expected {
    const velm::dump::RecordTable* records = nullptr;
    std::vector<std::vector<uint8_t>> bytes;  // of each section and cinit record
    bool allowed = false;                     // the check passed
    bool whole_records = false;               // TEXT: one write per record
    size_t record = 0;                        // the record being written
    uint32_t offset = 0;                      // bytes of it written so far
    size_t calls = 0;
    size_t fail_at = SIZE_MAX;  // the call (from 0) that returns kFailure
};

constexpr int kFailure = 1234;

int expect_write(void* ctx, uint32_t address, const unsigned int* data, uint32_t length) {
    Expected* e = static_cast<Expected*>(ctx);
    if (!e->allowed) broken("a write before the check passed");
    if (e->record >= e->bytes.size()) broken("a write after the last record");
    const velm::dump::Record& r = (*e->records)[static_cast<uint32_t>(e->record)];
    const std::vector<uint8_t>& want = e->bytes[e->record];
    if (length == 0 || length > r.length - e->offset) broken("a write of the wrong length");
    if (address != r.address + e->offset) broken("a write at the wrong address");
    if (e->whole_records && length != r.length) broken("a TEXT record written in pieces");
    if (length % 4 != 0 && e->offset + length != r.length) broken("a partial word mid-record");
    for (uint32_t i = 0; i < length; ++i) {
        if (static_cast<uint8_t>(data[i / 4] >> (8 * (i % 4))) != want[e->offset + i]) {
            broken("a written byte differs from the image's");
        }
    }
    e->offset += length;
    if (e->offset == r.length) {
        ++e->record;
        e->offset = 0;
    }
    return e->calls++ == e->fail_at ? kFailure : 0;
}

// Runs `boot` with a fresh expectation; returns the number of writes.
template <typename Boot>
size_t run_boot(const Expected& model, bool whole_records, size_t fail_at, int check_result,
                Boot boot) {
    Expected e = model;
    e.whole_records = whole_records;
    e.fail_at = fail_at;
    const int result = boot(&e);
    const bool failed_write = fail_at < e.calls;
    const int want = check_result != VELM_OK ? check_result : failed_write ? kFailure : VELM_OK;
    if (result != want) broken("the boot result is not the check's or the write's");
    if (failed_write && e.calls != fail_at + 1) broken("a write after a failed one");
    if (!failed_write && check_result == VELM_OK && e.record != e.bytes.size()) {
        broken("a record of a sound image was not written");
    }
    return e.calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velm_report report;
    const int result = velm_check_bytes(data, size, &report);
    if (result != report.error) broken("the report's error is not the result");
    if (report.word > size / 4) broken("the report names a word past the image");
    if (result == VELM_OK && report.word + 3 != size / 4) broken("a sound image that goes on");

    // velm_dump's decoder reads the same bytes, as velm_dump reads a BINARY image, and
    // must judge them as velm_check_bytes does.
    using namespace velm::dump;
    ImageRead image;
    Decoder* decoder = decoder_new(&image, Encoding::binary, true);
    binary_feed(decoder, data, size);
    binary_finish(decoder);
    decoder_free(decoder);
    const bool sound = !image.errors;
    if (sound != (result == VELM_OK)) {
        broken(std::string("velm_dump finds the image ") + (sound ? "sound" : "damaged") +
               ", velm_check_bytes says " + std::to_string(result));
    }

    Expected model;
    model.records = &image.records;
    model.allowed = result == VELM_OK;
    if (result == VELM_OK) {
        for (const Record& r : image.records) {
            if (kind_of(r) == RecordKind::end) continue;
            const uint8_t* at = data + position_of(r) + 12;
            model.bytes.emplace_back(at, at + r.length);
        }
    }
    const size_t pieces = run_boot(model, false, SIZE_MAX, result, [&](Expected* e) {
        return velm_boot_bytes(data, size, expect_write, e);
    });
    // Again, with the write failing part-way.
    if (pieces > 0) {
        run_boot(model, false, size % pieces, result,
                 [&](Expected* e) { return velm_boot_bytes(data, size, expect_write, e); });
    }

    // The same words as a compiled-in array, exactly as long (so that the sanitizer
    // catches a read past it). With stray bytes the array is a different image.
    std::vector<unsigned int> words;
    for (size_t i = 0; i + 4 <= size; i += 4) words.push_back(velm::load_le32(data + i));
    velm_report text_report;
    const int text_result =
        velm_check(words.empty() ? nullptr : words.data(), words.size(), &text_report);
    if (size % 4 == 0) {
        if (text_result != result || text_report.record != report.record ||
            text_report.word != report.word) {
            broken("velm_check and velm_check_bytes disagree");
        }
        run_boot(model, true, SIZE_MAX, result, [&](Expected* e) {
            return velm_boot(words.empty() ? nullptr : words.data(), words.size(), expect_write, e);
        });
    }
    return 0;
}
