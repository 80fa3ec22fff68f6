#include "dump/program_image.h"

#include <cstdint>

#include "driver/run.h"

namespace velm::dump {

namespace {

// Makes the program a file on a disk that `src` holds open. A pipe has been copied into
// its spool as far as read_begin read it: the rest follows. Bytes in memory are copied
// from their start.
bool hold_as_file(Source* src) {
    if (src->memory == nullptr && !src->spooling) return true;
    if (!src->spooling && (!source_restart(src) || !source_start_spool(src))) return false;
    if (source_skip(src, UINT64_MAX) < 0 || !source_restart(src)) return false;
    // From here on the copy is the program: reads at random go to it, not to the memory.
    src->memory = nullptr;
    src->memory_size = 0;
    return true;
}

struct FirstPass {
    Decoder* decoder;
    Source* keep;  // the side whose image is copied; null when none
    std::string copy_error;
};

bool decode_block(void* ctx, const char* data, size_t n) {
    FirstPass* pass = static_cast<FirstPass*>(ctx);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data);
    binary_feed(pass->decoder, bytes, n);
    return pass->keep == nullptr ||
           velm::dump_write(pass->keep->spool, bytes, n, &pass->copy_error);
}

bool replay_block(void* ctx, const char* data, size_t n) {
    replay_bytes(static_cast<Replay*>(ctx), reinterpret_cast<const uint8_t*>(data), n);
    return true;
}

}  // namespace

ReadStatus read_program(Source* src, ImageRead* image, bool keep) {
    if (!hold_as_file(src) || (keep && !source_start_spool(src))) {
        image->failure = src->error;
        return ReadStatus::io_error;
    }
    image->program = nullptr;
    image->encoding = Encoding::binary;
    FirstPass pass{decoder_new(image, Encoding::binary, true), keep ? src : nullptr, {}};
    if (pass.decoder == nullptr) return ReadStatus::no_memory;
    std::string message;
    const Status converted =
        convert_held_program(src->file.handle, src->label, decode_block, &pass, &message);
    const bool no_memory = decoder_out_of_memory(pass.decoder);
    if (converted == kOk) binary_finish(pass.decoder);
    decoder_free(pass.decoder);
    if (!pass.copy_error.empty()) {
        image->failure = "cannot write its temporary copy: " + pass.copy_error;
        return ReadStatus::io_error;
    }
    if (converted != kOk) {
        image->failure = message;
        return ReadStatus::refused;
    }
    if (no_memory) return ReadStatus::no_memory;
    if (keep && !source_restart(src)) {
        image->failure = src->error;
        return ReadStatus::io_error;
    }
    return ReadStatus::ok;
}

bool replay_program(void* ctx, Replay* replay, std::string* reason) {
    Source* src = static_cast<Source*>(ctx);
    return convert_held_program(src->file.handle, src->label, replay_block, replay, reason) == kOk;
}

}  // namespace velm::dump
