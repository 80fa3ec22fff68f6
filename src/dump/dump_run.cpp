#include "dump/dump_run.h"

#include "dump/dump_format.h"
#include "dump/image.h"
#include "dump/image_diff.h"
#include "dump/image_reader.h"

namespace velm::dump {

namespace {

// Appends the problem lines of one image; true when they fail the run.
bool report(const std::string& label, const Image& image, bool strict, std::string* err) {
    for (const Problem& p : image.problems) *err += format_problem(label, p);
    return has_errors(image) || (strict && has_warnings(image));
}

// A program given where an image belongs is named for what it is, in one line, instead
// of being decoded into a list of meaningless problems. True when it was one.
bool refuse_program(const DumpInput& in, std::string* err) {
    const char* kind =
        program_kind(reinterpret_cast<const uint8_t*>(in.bytes.data()), in.bytes.size());
    if (kind == nullptr) return false;
    *err += "velm_dump: " + in.label + ": " + kind +
            ", not a VELM image: convert it with c6x_velm first\n";
    return true;
}

}  // namespace

DumpResult run_dump(const DumpOptions& options, const std::vector<DumpInput>& inputs) {
    DumpResult result;
    switch (options.mode) {
        case Mode::help:
            result.out = help_text();
            return result;
        case Mode::version:
            result.out = version_text();
            return result;
        case Mode::diff: {
            bool program_a = refuse_program(inputs[0], &result.err);
            bool program_b = refuse_program(inputs[1], &result.err);
            if (program_a || program_b) {
                result.status = kExitTrouble;
                return result;
            }
            Image a = read_image(inputs[0].bytes);
            Image b = read_image(inputs[1].bytes);
            bool bad_a = report(inputs[0].label, a, options.strict, &result.err);
            bool bad_b = report(inputs[1].label, b, options.strict, &result.err);
            if (bad_a || bad_b) {
                result.status = kExitTrouble;  // a damaged image is no basis for a comparison
                return result;
            }
            std::vector<Difference> differences = diff_images(a, b);
            result.out = format_diff(differences);
            result.status = differences.empty() ? kExitOk : kExitProblems;
            return result;
        }
        case Mode::list:
        case Mode::check:
        case Mode::json: {
            const DumpInput& in = inputs[0];
            if (refuse_program(in, &result.err)) {
                result.status = kExitTrouble;
                return result;
            }
            Image image = read_image(in.bytes);
            if (options.mode == Mode::list) result.out = format_listing(in.label, image);
            if (options.mode == Mode::json) result.out = format_json(in.label, image);
            bool bad = report(in.label, image, options.strict, &result.err);
            result.status = bad ? kExitProblems : kExitOk;
            return result;
        }
    }
    return result;
}

}  // namespace velm::dump
