// velm_dump --json read by a real JSON parser (python3's json module, strict).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump/image.h"
#include "dump/image_reader.h"
#include "dump_test_support.h"

using namespace velm_dump_test;

namespace {

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
    const bool binary = image.encoding == Encoding::binary;
    std::string out = file_ascii + (binary ? " BINARY\n" : " TEXT\n");
    for (uint32_t i = 0; i < image.records.size(); ++i) {
        const Record& r = image.records[i];
        bool end = kind_of(r) == RecordKind::end;
        uint64_t pos = position_of(r);
        out += std::to_string(i + 1) + " " + kind_name(kind_of(r)) + " " +
               std::to_string(tag_of(kind_of(r))) + " " + std::to_string(r.address) + " " +
               std::to_string(r.length) + " " +
               (end || r.length == 0 ? "None" : std::to_string(last_address(r))) + " " +
               std::to_string(data_words_of(r)) + " " + (end ? "None" : std::to_string(r.crc32)) +
               " " + (binary ? std::to_string(pos) : "line " + std::to_string(pos)) + "\n";
    }
    Summary s = summarize(image);
    out += std::to_string(s.records) + " " + std::to_string(s.section_records) + " " +
           std::to_string(s.cinit_records) + " " + std::to_string(s.bytes) + " " +
           (s.has_range ? std::to_string(s.lowest) : "None") + " " +
           (s.has_range ? std::to_string(s.highest) : "None") + "\n";
    return out;
}

}  // namespace

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
