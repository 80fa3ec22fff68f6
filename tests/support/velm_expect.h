// Expected console text and VELM output for the end-to-end tests, built from the
// published format rules alone (printf-style formatting, no code of the tool), so a
// fault in the tool's formatter cannot hide in the expectation.
//
// TEXT record, line feeds shown as \n (the file stores each as CR LF):
//   \n// section '<name>':  addr=<%.8x>H  len=<%.8x>H  attrib='<attrib>'\n
//        0x<tag>,  0x<address>,  0x<length>,\n
//        then per whole word "0x%.8X,  ", a break "\n     " after word index 3 mod 4
//        and after the last whole word when no partial word follows;
//        a partial word as "0x%.8X,\n     ".
#ifndef C6X_VELM_TESTS_SUPPORT_VELM_EXPECT_H
#define C6X_VELM_TESTS_SUPPORT_VELM_EXPECT_H

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/compiler.h"
#include "support/coff_builder.h"
#include "support/console_text.h"
#include "support/tool_runner.h"

namespace velm_test {

constexpr uint32_t kSectionTag = 0x90003B09;
constexpr uint32_t kCinitTag = 0x90013B09;
constexpr uint32_t kEndTag = 0xFFFF3B09;

VELM_PRINTF_LIKE(1, 2) inline std::string fmt(const char* format, ...);
inline std::string fmt(const char* format, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    return buf;
}

inline std::string as_text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// A section with the usual defaults: run address = load address, contents stored.
inline Section sec(const std::string& name, uint32_t flags, uint32_t vaddr, Bytes data) {
    return velm_test::stored_section(name, vaddr, flags, std::move(data));
}

// A section with a size but no contents in the file (s_scnptr 0).
inline Section sized(const std::string& name, uint32_t flags, uint32_t vaddr, uint32_t size) {
    Section s = sec(name, flags, vaddr, {});
    s.size = size;
    return s;
}

// One record as the converter must write it. `data` holds the bytes taken from the
// input (for a cinit record the rounded byte count, rounding bytes included).
struct Record {
    std::string name;
    std::string attrib;
    uint32_t tag = kSectionTag;
    uint32_t address = 0;
    uint32_t length = 0;
    Bytes data;
};

inline Record section_record(const std::string& name, const std::string& attrib, uint32_t address,
                             const Bytes& data) {
    return Record{name, attrib, kSectionTag, address, static_cast<uint32_t>(data.size()), data};
}

inline Record cinit_record(const std::string& attrib, uint32_t address, uint32_t length,
                           const Bytes& data) {
    return Record{".cinit", attrib, kCinitTag, address, length, data};
}

inline uint32_t le32_at(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// --- TEXT encoding (line feeds as "\n"; text_file() turns them into CR LF) ---

inline std::string text_prologue(const std::string& in_path, unsigned nscns,
                                 std::optional<uint32_t> entry,
                                 const std::string& format = "COFF2") {
    std::string t =
        "// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. v.1.2W\n"
        "// Copyright (C) Kestrane Systems Ltd.\n"
        "// \n"
        "// source C6xxx COFF file: " +
        in_path + "\n// source file  format   : " + format + "\n" +
        fmt("// total sections        : %u\n", nscns);
    if (entry) t += fmt("// entry point           : 0x%X\n", *entry);
    t += "// \n// \n// 32-bit UNSIGNED data array derived from source C6xxx COFF file\n\n"
         "unsigned int C6XXX_VELM_DATA[] = \n{";
    return t;
}

inline std::string text_record(const Record& r) {
    std::string t = "\n// section '" + r.name +
                    "':  " + fmt("addr=%.8xH  len=%.8xH  ", r.address, r.length) + "attrib='" +
                    r.attrib + "'\n" +
                    fmt("     0x%.8X,  0x%.8X,  0x%.8X,\n     ", r.tag, r.address, r.length);
    const size_t whole = r.data.size() / 4;
    const size_t rest = r.data.size() % 4;
    for (size_t i = 0; i < whole; ++i) {
        t += fmt("0x%.8X,  ", le32_at(r.data, 4 * i));
        if (i % 4 == 3 || (i + 1 == whole && rest == 0)) t += "\n     ";
    }
    if (rest != 0) {
        uint32_t w = 0;
        for (size_t k = 0; k < rest; ++k)
            w |= static_cast<uint32_t>(r.data[4 * whole + k]) << (8 * k);
        t += fmt("0x%.8X,\n     ", w);
    }
    return t;
}

inline std::string text_end() {
    return "\n// VELM32 termination section\n"
           "     0xFFFF3B09,  0x00000000,  0x00000000\n"
           "};\n";
}

inline std::string text_file(const std::string& in_path, unsigned nscns,
                             std::optional<uint32_t> entry, const std::vector<Record>& records,
                             const std::string& format = "COFF2") {
    std::string t = text_prologue(in_path, nscns, entry, format);
    for (const Record& r : records) t += text_record(r);
    return crlf(t + text_end());
}

// --- BINARY encoding ---

inline Bytes binary_file(const std::vector<Record>& records) {
    Bytes b;
    for (const Record& r : records) {
        put_le32(&b, r.tag);
        put_le32(&b, r.address);
        put_le32(&b, r.length);
        b.insert(b.end(), r.data.begin(), r.data.end());
        while (b.size() % 4 != 0) b.push_back(0);
    }
    put_le32(&b, kEndTag);
    put_le32(&b, 0);
    put_le32(&b, 0);
    return b;
}

// --- console ---

// The progress text of sections 1 to n, each redrawing the same line.
inline std::string progress(unsigned n) {
    std::string t;
    for (unsigned i = 1; i <= n; ++i) t += fmt("\rsection #%u ...", i);
    return t;
}

inline std::string summary(const std::string& in_path, const std::string& out_path, bool binary,
                           unsigned nscns, unsigned valid, std::optional<uint32_t> entry,
                           const std::string& format = "COFF2") {
    std::string t = "COFF file        : " + in_path + "\nCOFF file format : " + format + "\n" +
                    "VELM file        : " + out_path + "\n" +
                    "VELM file format : " + (binary ? "BINARY" : "TEXT") + "\n" +
                    fmt("sections         : %u  (valid sections: %u)\n", nscns, valid);
    t += entry ? fmt("entry point      : 0x%X\n\n", *entry) : std::string("\n");
    return crlf(t);
}

// Whole standard output of a successful conversion of `nscns` sections.
inline std::string converted(unsigned nscns, const std::string& summary_text) {
    return banner() + progress(nscns) + erase() + summary_text;
}

// Whole standard output of a conversion that failed while handling section `shown`.
inline std::string failed(unsigned shown, const std::string& message) {
    return banner() + progress(shown) + failure(message);
}

// --- whole runs ---

inline unsigned section_count(const Coff& coff) {
    return coff.nscns.value_or(static_cast<uint16_t>(coff.sections.size()));
}

inline std::optional<uint32_t> printed_entry(const Coff& coff) {
    if (!coff.has_opt_header) return std::nullopt;
    return coff.entry;
}

// Converts `coff`, stored as app.out, with "app app.c" (TEXT) and "app app.bin -b"
// (BINARY) and checks the whole console text, the exit status, the empty standard error
// and the output file byte for byte.
inline void expect_converts(const Coff& coff, const std::vector<Record>& records, unsigned valid) {
    const unsigned n = section_count(coff);
    const std::optional<uint32_t> entry = printed_entry(coff);
    TempDir dir;
    dir.write("app.out", build_coff(coff));

    RunResult t = run_in(dir.path(), {"app", "app.c"});
    EXPECT_EQ(t.exit_status, 0);
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.out, converted(n, summary("APP.OUT", "APP.C", false, n, valid, entry)));
    EXPECT_EQ(dir.read("app.c"), text_file("APP.OUT", n, entry, records));

    RunResult b = run_in(dir.path(), {"app", "app.bin", "-b"});
    EXPECT_EQ(b.exit_status, 0);
    EXPECT_EQ(b.err, "");
    EXPECT_EQ(b.out, converted(n, summary("APP.OUT", "APP.BIN", true, n, valid, entry)));
    EXPECT_EQ(dir.read("app.bin"), as_text(binary_file(records)));
}

// Converts `coff` in TEXT into a new file and in BINARY over an existing one, each in a
// fresh directory, and expects the run to fail with `message` while handling section
// `shown`, leaving every file as it was: no new file, the existing one unchanged.
inline void expect_fails(const Coff& coff, unsigned shown, const std::string& message) {
    const Bytes input = build_coff(coff);
    const std::vector<std::vector<std::string>> runs = {{"app", "app.c"}, {"app", "app.bin", "-b"}};
    for (const std::vector<std::string>& args : runs) {
        SCOPED_TRACE(args[1]);
        TempDir dir;
        dir.write("app.out", input);
        if (args.size() == 3) dir.write("app.bin", std::string("an older image"));
        const std::map<std::string, std::string> before = dir.snapshot();
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, failed(shown, message));
        EXPECT_EQ(dir.snapshot(), before);
    }
}

// --- shared cases ---

// One conversion of app.out into app.c, in each encoding.
inline const std::vector<std::vector<std::string>> kBothEncodings = {{"app", "app.c"},
                                                                     {"app", "app.c", "-b"}};

// A small program: code, uninitialised data, initialised data.
inline Coff small_program() {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(sec(".text", 0x20, 0x400, pattern(64, 1)));
    c.sections.push_back(sized(".bss", 0x80, 0x80001000, 0x100));
    c.sections.push_back(sec(".data", 0x40, 0x80000000, pattern(16, 2)));
    return c;
}

// A program that fails after more than a whole output buffer has been written, as a real
// program with one damaged .cinit length word does: the small program, a 300 KiB
// section, and a .cinit table whose second length word has its top bit set. The run
// fails with kMsgCinit at section 5.
inline Coff damaged_cinit_program() {
    Coff c = small_program();
    c.sections.push_back(sec(".far", 0x40, 0x80100000, pattern(300 * 1024, 7)));
    c.sections.push_back(
        sec(".cinit", 0x50, 0,
            cinit_table({{8, 0x1000, words({1, 2})}, {0x80000000, 0x2000, words({3})}})));
    return c;
}

// --- loader checks, as tables of input files ---

// A file that fails to load: `message` and exit status 1 in all three modes, and files
// already at the output paths keep their bytes (the output is opened only after a
// successful load).
struct Rejected {
    const char* what;
    std::function<Bytes()> make;
    const char* message;
};

inline void expect_rejected(const Rejected& c) {
    TempDir dir;
    dir.write("in.out", c.make());
    dir.write("out.c", std::string("precious\r\n"));
    dir.write("out.bin", std::string("\x09\x3B\xFF\xFF", 4));
    const std::map<std::string, std::string> before = dir.snapshot();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"in", "out.c"}, {"in", "out.bin", "-b"}, {"in", "-d"}}) {
        RunResult r = run_in(dir.path(), args);
        EXPECT_EQ(r.exit_status, 1) << c.what << " / " << args[1];
        EXPECT_EQ(r.out, banner() + failure(c.message)) << c.what << " / " << args[1];
        EXPECT_EQ(r.err, "") << c.what;
        EXPECT_EQ(dir.snapshot(), before) << c.what << " / " << args[1];
    }
}

// A file that loads: `in -d` prints `expected` (the whole console text), exits with 0
// and writes nothing.
struct Accepted {
    const char* what;
    std::function<Bytes()> make;
    std::string expected;
};

inline void expect_accepted(const Accepted& c) {
    TempDir dir;
    dir.write("in.out", c.make());
    const std::map<std::string, std::string> before = dir.snapshot();
    RunResult r = run_in(dir.path(), {"in", "-d"});
    EXPECT_EQ(r.exit_status, 0) << c.what;
    EXPECT_EQ(r.out, c.expected) << c.what;
    EXPECT_EQ(r.err, "") << c.what;
    EXPECT_EQ(dir.snapshot(), before) << c.what;
}

// The whole console text of a listing: the file's description lines (each ended by
// "\n"), the title of its format family ("COFF" or "ELF"), the column heads, the
// section lines, then the erase sequence.
inline std::string listing_text(const std::string& description, const char* family,
                                const std::string& lines) {
    return banner() +
           crlf(description + "\n            <<<< " + family +
                " file directory (non-empty sections only) >>>>\n"
                " ----------------------------------------------------------------------------\n"
                " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\n" +
                lines) +
           erase();
}

}  // namespace velm_test

#endif
