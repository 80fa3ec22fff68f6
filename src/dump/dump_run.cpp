#include "dump/dump_run.h"

#include <memory>

#include "dump/image.h"
#include "dump/image_diff.h"
#include "dump/image_reader.h"
#include "dump/printf_string.h"
#include "dump/program_image.h"

namespace velm::dump {

namespace {

int trouble(OutSink* err, const std::string& label, const std::string& text) {
    put(err, "velm_dump: " + label + ": " + text + "\n");
    return kExitTrouble;
}

// A program given where an image belongs is named for what it is, in one line, instead
// of being decoded into a list of meaningless problems.
void refuse_program(OutSink* err, const Source& src, const ImageRead& image) {
    put(err, "velm_dump: " + src.label + ": " + image.program +
                 ", not a VELM image: convert it with c6x_velm first\n");
}

int read_trouble(OutSink* err, const Source& src, ReadStatus st, const ImageRead& image) {
    if (st == ReadStatus::io_error || st == ReadStatus::refused) {
        return trouble(err, src.label, image.failure);
    }
    return trouble(err, src.label, format("out of memory after %u records", image.records.size()));
}

void report(OutSink* err, const std::string& label, const ImageRead& image) {
    ProblemWalk walk;
    Problem p;
    while (next_problem(image, &walk, &p)) put_problem(err, label, p);
}

bool fails(const ImageRead& image, bool strict) {
    return image.errors || (strict && image.warnings);
}

// The records read so far, printed as they come.
struct Listing {
    OutSink* out;
    const ImageRead* image;
    Mode mode;
    uint32_t printed = 0;
};

void print_records(void* ctx) {
    Listing* l = static_cast<Listing*>(ctx);
    const RecordTable& records = l->image->records;
    for (; l->printed < records.size(); ++l->printed) {
        if (l->mode == Mode::list) {
            put_listing_record(l->out, l->printed + 1, records[l->printed]);
        } else {
            put_json_record(l->out, l->image->encoding, l->printed + 1, records[l->printed],
                            l->printed == 0);
        }
    }
}

// One pass over the image; *again when it was read without a table and must be read
// again with one.
int read_one(const DumpOptions& options, bool table, Source* src, OutSink* out, OutSink* err,
             bool* again) {
    ImageRead image;
    ImageReader reader;
    Listing listing{out, &image, options.mode};
    ReadOptions ro;
    ro.crc = options.mode != Mode::check;
    ro.table = table;
    if (options.mode != Mode::check) {
        ro.progress = print_records;
        ro.ctx = &listing;
    }
    ReadStatus st = read_begin(&reader, src, ro, &image);
    if (st == ReadStatus::program) {
        refuse_program(err, *src, image);
        return kExitTrouble;
    }
    if (st != ReadStatus::ok) return read_trouble(err, *src, st, image);
    // A TEXT image's records stand only once its list has ended without a syntax error.
    if (image.encoding == Encoding::text) reader.options.progress = nullptr;
    if (options.mode == Mode::list) put_listing_start(out, src->label, image.encoding);
    if (options.mode == Mode::json) put_json_start(out, src->label, image.encoding);
    st = read_rest(&reader);
    if (st == ReadStatus::again) {
        *again = true;
        return kExitOk;
    }
    if (st == ReadStatus::ok && !find_overlaps(&image)) st = ReadStatus::no_memory;
    if (st != ReadStatus::ok) return read_trouble(err, *src, st, image);
    if (options.mode != Mode::check) print_records(&listing);
    if (options.mode == Mode::list) put_listing_end(out, summarize(image.records));
    if (options.mode == Mode::json) {
        put_json_summary(out, !image.records.empty(), summarize(image.records));
        ProblemWalk walk;
        Problem p;
        bool first = true;
        while (next_problem(image, &walk, &p)) {
            put_json_problem(out, image.encoding, p, first);
            first = false;
        }
        put_json_end(out, !first);
    }
    report(err, src->label, image);
    return fails(image, options.strict) ? kExitProblems : kExitOk;
}

int run_one(const DumpOptions& options, Source* src, OutSink* out, OutSink* err) {
    // --check needs the records only to find the overlaps, which it can do as they come
    // while they come in address order, as they nearly always do. So it reads a file that
    // can be read twice without a table at first, and again with one only if a record
    // comes out of order. (It prints nothing until the end, so nothing is printed twice.)
    bool table = options.mode != Mode::check || !source_random(*src);
    for (;;) {
        bool again = false;
        const int status = read_one(options, table, src, out, err, &again);
        if (!again) return status;
        if (!source_restart(src)) return trouble(err, src->label, "cannot be read a second time");
        table = true;
    }
}

struct DiffOutput {
    OutSink* out;
    DiffCounts counts;
};

void print_difference(void* ctx, const Difference& d) {
    DiffOutput* o = static_cast<DiffOutput*>(ctx);
    put_difference(o->out, d, &o->counts);
}

int run_diff(const DumpOptions& options, Source* a, Source* b, OutSink* out, OutSink* err) {
    // Each image is read twice at most: a pipe is copied aside as it is read the first
    // time, so that the second read can go to the copy.
    for (Source* s : {a, b}) {
        if (!source_random(*s) && !source_start_spool(s)) return trouble(err, s->label, s->error);
    }
    ImageRead ia;
    ImageRead ib;
    ImageReader ra;
    ImageReader rb;
    ReadStatus sa = read_begin(&ra, a, ReadOptions(), &ia);
    if (sa != ReadStatus::ok && sa != ReadStatus::program) return read_trouble(err, *a, sa, ia);
    ReadStatus sb = read_begin(&rb, b, ReadOptions(), &ib);
    if (sb != ReadStatus::ok && sb != ReadStatus::program) return read_trouble(err, *b, sb, ib);
    // A program stands for the image c6x_velm makes of it. It is converted again for the
    // second pass, as the streamed side; of two programs, B's image is kept for reading at
    // random instead.
    const bool a_program = sa == ReadStatus::program;
    const bool b_program = sb == ReadStatus::program;
    DiffSide da{a, &ia};
    DiffSide db{b, &ib};
    if (a_program) {
        da.again = replay_program;
        da.again_ctx = a;
    } else if (b_program) {
        db.again = replay_program;
        db.again_ctx = b;
    }
    sa = a_program ? read_program(a, &ia, false) : read_rest(&ra);
    if (sa == ReadStatus::ok && !find_overlaps(&ia, true)) sa = ReadStatus::no_memory;
    if (sa != ReadStatus::ok) return read_trouble(err, *a, sa, ia);
    sb = b_program ? read_program(b, &ib, a_program) : read_rest(&rb);
    if (sb == ReadStatus::ok && !find_overlaps(&ib, true)) sb = ReadStatus::no_memory;
    if (sb != ReadStatus::ok) return read_trouble(err, *b, sb, ib);
    // A spooled image is read from its copy from here on.
    for (Source* s : {a, b}) {
        if (s->spooling && !source_restart(s)) return trouble(err, s->label, s->error);
    }
    if (fails(ia, options.strict) || fails(ib, options.strict)) {
        report(err, a->label, ia);
        report(err, b->label, ib);
        return kExitTrouble;  // a damaged image is no basis for a comparison
    }
    DiffOutput o{out, DiffCounts()};
    DiffTrouble problem;
    if (!diff_images(da, db, print_difference, &o, &problem)) {
        return trouble(err, problem.side->label, problem.reason);
    }
    put_diff_counts(out, o.counts);
    report(err, a->label, ia);
    report(err, b->label, ib);
    return o.counts.changed + o.counts.removed + o.counts.added == 0 ? kExitOk : kExitProblems;
}

}  // namespace

int run_dump(const DumpOptions& options, const std::vector<Source*>& sources, OutSink* out,
             OutSink* err) {
    switch (options.mode) {
        case Mode::help:
            put(out, help_text());
            return kExitOk;
        case Mode::version:
            put(out, version_text());
            return kExitOk;
        case Mode::diff:
            return run_diff(options, sources[0], sources[1], out, err);
        case Mode::list:
        case Mode::check:
        case Mode::json:
            return run_one(options, sources[0], out, err);
    }
    return kExitTrouble;
}

DumpResult run_dump(const DumpOptions& options, const std::vector<DumpInput>& inputs) {
    DumpResult result;
    std::vector<Source> sources;
    for (const DumpInput& in : inputs) {
        sources.push_back(memory_source(in.label, reinterpret_cast<const uint8_t*>(in.bytes.data()),
                                        in.bytes.size()));
    }
    std::vector<Source*> pointers;
    for (Source& s : sources) pointers.push_back(&s);
    std::unique_ptr<OutSink> out(new OutSink);
    std::unique_ptr<OutSink> err(new OutSink);
    string_sink(out.get(), &result.out);
    string_sink(err.get(), &result.err);
    result.status = run_dump(options, pointers, out.get(), err.get());
    flush(out.get());
    flush(err.get());
    return result;
}

}  // namespace velm::dump
