#include "dump/source.h"

#include <cstring>

namespace velm::dump {

Source file_source(const std::string& label, velm::DumpFile file) {
    Source s;
    s.label = label;
    s.file = file;
    return s;
}

Source memory_source(const std::string& label, const uint8_t* data, uint64_t size) {
    Source s;
    s.label = label;
    s.memory = data;
    s.memory_size = size;
    return s;
}

void close_source(Source* s) {
    velm::dump_close(&s->file);
    velm::dump_close(&s->spool);
    s->spooling = false;
}

bool source_random(const Source& s) {
    return s.memory != nullptr || s.file.random;
}

int64_t source_read_at(Source* s, uint8_t* dest, size_t n, uint64_t offset) {
    if (s->memory != nullptr) {
        if (offset >= s->memory_size) return 0;
        const uint64_t left = s->memory_size - offset;
        const size_t take = left < n ? static_cast<size_t>(left) : n;
        if (take > 0) std::memcpy(dest, s->memory + offset, take);
        return static_cast<int64_t>(take);
    }
    return velm::dump_read_at(s->file, dest, n, offset, &s->error);
}

int64_t source_read(Source* s, uint8_t* dest, size_t n) {
    int64_t got = source_random(*s) ? source_read_at(s, dest, n, s->next)
                                    : velm::dump_read(s->file, dest, n, &s->error);
    if (got <= 0) return got;
    if (s->spooling && !velm::dump_write(s->spool, dest, static_cast<size_t>(got), &s->error)) {
        s->error = "cannot write its temporary copy: " + s->error;
        return -1;
    }
    s->next += static_cast<uint64_t>(got);
    return got;
}

int64_t source_skip(Source* s, uint64_t n) {
    if (source_random(*s) && !s->spooling) {
        int64_t size = s->memory != nullptr ? static_cast<int64_t>(s->memory_size)
                                            : velm::dump_size(s->file, &s->error);
        if (size < 0) return -1;
        const uint64_t end = static_cast<uint64_t>(size);
        const uint64_t left = s->next < end ? end - s->next : 0;
        const uint64_t passed = n < left ? n : left;
        s->next += passed;
        return static_cast<int64_t>(passed);
    }
    uint8_t scrap[16384];
    uint64_t passed = 0;
    while (passed < n) {
        const uint64_t rest = n - passed;
        int64_t got =
            source_read(s, scrap, rest < sizeof scrap ? static_cast<size_t>(rest) : sizeof scrap);
        if (got < 0) return -1;
        if (got == 0) break;
        passed += static_cast<uint64_t>(got);
    }
    return static_cast<int64_t>(passed);
}

bool source_start_spool(Source* s) {
    if (!velm::dump_open_temp(&s->spool, &s->error)) {
        s->error = "cannot make a temporary file: " + s->error;
        return false;
    }
    s->spooling = true;
    return true;
}

bool source_restart(Source* s) {
    if (s->spooling) {
        velm::dump_close(&s->file);
        s->file = s->spool;
        s->file.random = true;
        s->spool = velm::DumpFile();
        s->spooling = false;
    }
    if (!source_random(*s)) return false;
    s->next = 0;
    return true;
}

}  // namespace velm::dump
