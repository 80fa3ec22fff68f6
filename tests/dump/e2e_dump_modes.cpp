// velm_dump's modes as a user meets them: --diff between two builds, --json read by a
// real JSON parser, --help and --version, usage faults, standard input, write errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump/crc32.h"
#include "dump/image.h"
#include "dump/image_reader.h"
#include "dump_test_support.h"

using namespace velm_dump_test;
using velm_test::Coff;
using velm_test::pattern;
using velm_test::Section;
using velm_test::stored_section;

namespace {

Coff build_with_data(const Bytes& data) {
    Coff c;
    c.entry = 0x400;
    c.sections = {stored_section(".text", 0x400, 0x20, pattern(40, 31)),
                  stored_section(".data", 0x80000000, 0x40, data),
                  stored_section(".cinit", 0x90000000, 0x50,
                                 velm_test::cinit_table({{6, 0x80001000, {1, 2, 3, 4, 5, 6}}}))};
    return c;
}

std::string hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

// Runs python3's json module on a file: strict (no NaN or Infinity, no duplicate keys,
// valid UTF-8) and prints the contents one value per field, so a test can compare them.
const char kJsonReader[] = R"(import json, sys

def reject(name):
    raise ValueError("not JSON: " + name)

def no_duplicates(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError("duplicate key")
    return dict(pairs)

with open(sys.argv[1], "rb") as f:
    doc = json.loads(f.read().decode("utf-8"), parse_constant=reject,
                     object_pairs_hook=no_duplicates)
assert sorted(doc) == ["encoding", "file", "problems", "records", "summary"], sorted(doc)
print(ascii(doc["file"]), doc["encoding"])
for r in doc["records"]:
    where = r["byte_offset"] if "byte_offset" in r else "line %d" % r["line"]
    print(r["index"], r["kind"], r["tag"], r["address"], r["length"], r["last"], r["words"],
          r["crc32"], where)
s = doc["summary"]
print(s["records"], s["section_records"], s["cinit_records"], s["bytes"], s["lowest"],
      s["highest"])
for p in doc["problems"]:
    where = p["byte_offset"] if "byte_offset" in p else p["line"]
    print(p["severity"], p["record"], where, ascii(p["message"]))
)";

// The python3 rendering of `file` read as JSON, or a failure naming the package.
std::string json_fields(const TempDir& dir, const std::string& json_file) {
    const std::string python = VELM_PYTHON3;
    if (python.empty()) {
        ADD_FAILURE() << "python3 not found: install the Debian package python3";
        return "";
    }
    dir.write("read_json.py", std::string(kJsonReader));
    RunResult r = velm_test::run_in(dir.path(), {"read_json.py", json_file}, python);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
}

// What json_fields() must print for an image, built from the records velm_dump_core
// decodes (checked against the COFF bytes by the round-trip tests).
std::string expected_fields(const std::string& file_ascii, const std::string& bytes) {
    using namespace velm::dump;
    Image image = read_image(bytes);
    const bool binary = image.stream.encoding == Encoding::binary;
    std::string out = file_ascii + (binary ? " BINARY\n" : " TEXT\n");
    for (const Record& r : image.records) {
        bool end = r.kind == RecordKind::end;
        uint64_t pos = word_position(image.stream, r.first_word);
        out += std::to_string(r.index) + " " + kind_name(r.kind) + " " + std::to_string(r.tag) +
               " " + std::to_string(r.address) + " " + std::to_string(r.length) + " " +
               (end || r.length == 0 ? "None" : std::to_string(last_address(r))) + " " +
               std::to_string(r.data_words) + " " + (end ? "None" : std::to_string(r.crc32)) + " " +
               (binary ? std::to_string(pos) : "line " + std::to_string(pos)) + "\n";
    }
    Summary s = summarize(image);
    out += std::to_string(s.records) + " " + std::to_string(s.section_records) + " " +
           std::to_string(s.cinit_records) + " " + std::to_string(s.bytes) + " " +
           (s.has_range ? std::to_string(s.lowest) : "None") + " " +
           (s.has_range ? std::to_string(s.highest) : "None") + "\n";
    return out;
}

}  // namespace

TEST(DumpDiff, TwoBuildsThatDifferInOneSection) {
    TempDir dir;
    Bytes old_data = pattern(32, 40);
    Bytes new_data = old_data;
    new_data[9] ^= 0x5A;
    convert(dir, "old", velm_test::build_coff(build_with_data(old_data)));
    convert(dir, "new", velm_test::build_coff(build_with_data(new_data)));

    const std::string want =
        "changed  section  0x80000000..0x8000001F  data differ from "
        "0x80000009 (crc32 " +
        hex8(crc32_of(old_data)) + " -> " + hex8(crc32_of(new_data)) +
        ")\n1 changed, 0 removed, 0 added\n";
    for (const char* a : {"old.bin", "old.c"}) {
        for (const char* b : {"new.bin", "new.c"}) {
            RunResult r = run_dump(dir.path(), {"--diff", a, b});
            EXPECT_EQ(r.exit_status, 1) << a << " " << b;
            EXPECT_EQ(r.out, want) << a << " " << b;
            EXPECT_EQ(r.err, "");
        }
    }
    // The two encodings of one build are equal.
    RunResult same = run_dump(dir.path(), {"--diff", "old.c", "old.bin"});
    EXPECT_EQ(same.exit_status, 0);
    EXPECT_EQ(same.out + same.err, "");
}

TEST(DumpDiff, GrownRemovedAndAddedSections) {
    TempDir dir;
    Coff before = build_with_data(pattern(32, 40));
    Coff after = before;
    after.sections[0].data = pattern(44, 31);                 // .text grew, same start
    after.sections[2] = stored_section(".bss", 0, 0x80, {});  // the .cinit table is gone
    after.sections[2].size = 0x40;
    after.sections.push_back(stored_section(".far", 0x80004000, 0x40, pattern(8, 41)));
    convert(dir, "a", velm_test::build_coff(before));
    convert(dir, "b", velm_test::build_coff(after));
    RunResult r = run_dump(dir.path(), {"--diff", "a.bin", "b.c"});
    EXPECT_EQ(r.exit_status, 1) << r.err;
    Bytes cinit_bytes = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(r.out,
              "changed  section  0x00000400..0x00000427  length 0x00000028 -> "
              "0x0000002C (crc32 " +
                  hex8(crc32_of(pattern(40, 31))) + " -> " + hex8(crc32_of(pattern(44, 31))) +
                  ")\n"
                  "removed  cinit    0x80001000..0x80001005  6 bytes, crc32 " +
                  hex8(crc32_of(cinit_bytes)) +
                  "\n"
                  "added    section  0x80004000..0x80004007  8 bytes, crc32 " +
                  hex8(crc32_of(pattern(8, 41))) + "\n1 changed, 1 removed, 1 added\n");
}

TEST(DumpDiff, ADamagedImageIsTroubleNotADifference) {
    TempDir dir;
    Converted c = convert(dir, "a", velm_test::build_coff(build_with_data(pattern(32, 40))));
    dir.write("cut.bin", c.binary.substr(0, c.binary.size() - 12));
    RunResult r = run_dump(dir.path(), {"--diff", "a.bin", "cut.bin"});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("velm_dump: cut.bin: error: no end record: the file ends at byte "
                          "offset ",
                          0),
              0u)
        << r.err;
}

TEST(DumpJson, ParsesAndHoldsTheRecordsAndSummary) {
    TempDir dir;
    Converted c = convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    for (const std::string name : {"app.bin", "app.c"}) {
        RunResult r = run_dump(dir.path(), {"--json", name});
        ASSERT_EQ(r.exit_status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        dir.write(name + ".json", r.out);
        const std::string& bytes = name == "app.bin" ? c.binary : c.text;
        EXPECT_EQ(json_fields(dir, name + ".json"), expected_fields("'" + name + "'", bytes));
    }
    // A few values written out, so the comparison above cannot agree on a wrong decoding.
    std::string fields = json_fields(dir, "app.bin.json");
    EXPECT_NE(fields.find("\n1 section 2415934217 1024 6150 7173 1538 "), std::string::npos);
    EXPECT_NE(fields.find("\n8 end 4294916873 0 0 None 0 None 6392\n"), std::string::npos);
    EXPECT_NE(fields.find("\n7 4 3 6300 1024 2147500055\n"), std::string::npos) << fields;
}

TEST(DumpJson, ProblemsAndAnAwkwardFileNameStillParse) {
    TempDir dir;
    Converted c = convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    const std::string name = "we\"ird\\name\xFF\t.bin";
    std::string damaged = c.binary;
    set_le32(&damaged, 6164, 0x12345678);  // the tag of record 2
    dir.write(name, damaged);
    RunResult r = run_dump(dir.path(), {"--json", name});
    EXPECT_EQ(r.exit_status, 1);
    dir.write("damaged.json", r.out);
    std::string fields = json_fields(dir, "damaged.json");
    EXPECT_EQ(fields, expected_fields(R"('we"ird\\name\ufffd\t.bin')", damaged) +
                          "error 2 6164 'record 2 at byte offset 6164: unknown tag "
                          "0x12345678'\n")
        << fields;
    // The problem goes to standard error as well.
    EXPECT_EQ(r.err, "velm_dump: " + name +
                         ": error: record 2 at byte offset 6164: unknown tag 0x12345678\n");
}

TEST(DumpCommandLine, HelpAndVersionFollowGnuConventions) {
    TempDir dir;
    RunResult help = run_dump(dir.path(), {"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: velm_dump ", 0), 0u);
    RunResult version = run_dump(dir.path(), {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(
        version.out.rfind(std::string("velm_dump (c6x_velm) ") + VELM_PROJECT_VERSION + "\n", 0),
        0u)
        << version.out;
}

TEST(DumpCommandLine, UsageFaultsAndUnreadableFilesAreTrouble) {
    TempDir dir;
    RunResult none = run_dump(dir.path(), {});
    EXPECT_EQ(none.exit_status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err,
              "velm_dump: missing operand\nTry 'velm_dump --help' for more information.\n");
    RunResult bad = run_dump(dir.path(), {"--frobnicate", "x"});
    EXPECT_EQ(bad.exit_status, 2);
    EXPECT_EQ(bad.err,
              "velm_dump: unrecognized option '--frobnicate'\nTry 'velm_dump --help' "
              "for more information.\n");
    RunResult missing = run_dump(dir.path(), {"nope.bin"});
    EXPECT_EQ(missing.exit_status, 2);
    EXPECT_EQ(missing.err, "velm_dump: nope.bin: No such file or directory\n");
    RunResult directory = run_dump(dir.path(), {"--check", "."});
    EXPECT_EQ(directory.exit_status, 2);
    EXPECT_EQ(directory.err, "velm_dump: .: Is a directory\n");
}

// A program handed over in place of its image is named for what it is, in every mode.
TEST(DumpCommandLine, AProgramIsNotAnImage) {
    TempDir dir;
    Converted image = convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    // ELF headers: ELFCLASS32, little-endian, version 1, then e_type 2 and e_machine.
    std::string elf(
        "\x7F"
        "ELF\x01\x01\x01",
        7);
    elf.resize(16, '\0');
    dir.write("c6000.elf", elf + std::string("\x02\x00\x8C\x00", 4) + std::string(32, '\0'));
    dir.write("x86.elf", elf + std::string("\x02\x00\x03\x00", 4) + std::string(32, '\0'));
    const std::vector<std::pair<std::string, std::string>> programs = {
        {"app.out", "a C6000 COFF2 program"},
        {"c6000.elf", "a C6000 ELF program"},
        {"x86.elf", "an ELF file"}};
    for (const auto& [file, kind] : programs) {
        const std::string line = "velm_dump: " + file + ": " + kind +
                                 ", not a VELM image: convert it with c6x_velm first\n";
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {file}, {"--check", file}, {"--json", file}, {"--diff", "app.bin", file}}) {
            RunResult r = run_dump(dir.path(), args);
            EXPECT_EQ(r.exit_status, 2) << file << " " << args[0];
            EXPECT_EQ(r.out, "") << file << " " << args[0];
            EXPECT_EQ(r.err, line) << file << " " << args[0];
        }
    }
    EXPECT_EQ(run_dump(dir.path(), {"--check", "app.bin"}).exit_status, 0);
}

TEST(DumpCommandLine, ReadsStandardInputAndReportsWriteErrors) {
    TempDir dir;
    convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    const std::string tool = dump_path();
    RunResult piped =
        velm_test::run_in(dir.path(), {"-c", "'" + tool + "' --check - < app.c"}, "/bin/sh");
    EXPECT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_EQ(piped.out + piped.err, "");
    RunResult listed =
        velm_test::run_in(dir.path(), {"-c", "'" + tool + "' - < app.bin"}, "/bin/sh");
    EXPECT_EQ(listed.out.rfind("file:      standard input\nencoding:  BINARY\n", 0), 0u);
    RunResult empty = run_dump(dir.path(), {"-"});  // standard input is /dev/null
    EXPECT_EQ(empty.exit_status, 1);
    EXPECT_EQ(empty.err, "velm_dump: standard input: error: no end record: the file is empty\n");

    RunResult full =
        velm_test::run_in(dir.path(), {"-c", "'" + tool + "' app.bin > /dev/full"}, "/bin/sh");
    EXPECT_EQ(full.exit_status, 2);
    EXPECT_EQ(full.err, "velm_dump: write error: No space left on device\n");
}
