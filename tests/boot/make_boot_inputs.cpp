// make_boot_inputs DIR: writes each round-trip input into DIR as NAME.out and converts
// it with the built c6x_velm into NAME.c (TEXT) and NAME.bin (BINARY); then writes
// boot_images.c, which compiles every NAME.c into the test under its own array name.
// Prints the tool's output only when it fails.
#include <cstdio>
#include <string>

#include "support/roundtrip_inputs.h"
#include "support/tool_runner.h"

namespace {

bool write_file(const std::string& path, const std::string& content) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f != nullptr && std::fwrite(content.data(), 1, content.size(), f) == content.size();
    if (f != nullptr && std::fclose(f) != 0) ok = false;
    if (!ok) std::perror(path.c_str());
    return ok;
}

bool convert(const std::string& dir, const std::vector<std::string>& args) {
    velm_test::RunResult r = velm_test::run_in(dir, args);
    if (r.exit_status == 0) return true;
    std::fprintf(stderr, "make_boot_inputs: c6x_velm %s %s failed (%d):\n%s%s\n", args[0].c_str(),
                 args[1].c_str(), r.exit_status, r.out.c_str(), r.err.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_boot_inputs DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::string includes;
    std::string table;
    size_t count = 0;
    for (const velm_test::RoundTripInput& c : velm_test::roundtrip_inputs()) {
        const velm_test::Bytes coff = velm_test::build_coff(c.coff);
        if (!write_file(dir + "/" + c.name + ".out", std::string(coff.begin(), coff.end())) ||
            !convert(dir, {c.name + ".out", c.name + ".c"}) ||
            !convert(dir, {c.name + ".out", c.name + ".bin", "-b"})) {
            return 1;
        }
        const std::string array = "boot_text_" + c.name;
        includes += "#define C6XXX_VELM_DATA " + array + "\n#include \"" + c.name +
                    ".c\"\n#undef C6XXX_VELM_DATA\n";
        table += "    {\"" + c.name + "\", " + array + ", sizeof " + array + " / sizeof " + array +
                 "[0]},\n";
        ++count;
    }
    const std::string source =
        "/* Written by make_boot_inputs. */\n#include \"boot_text_images.h\"\n\n" + includes +
        "\nconst struct boot_text_image boot_text_images[] = {\n" + table +
        "};\nconst size_t boot_text_image_count = " + std::to_string(count) + ";\n";
    return write_file(dir + "/boot_images.c", source) ? 0 : 1;
}
