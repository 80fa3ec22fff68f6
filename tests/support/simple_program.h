// A one-section program and what the tool prints and writes for it: the fixtures of the
// command-line tests, which are about paths, files and run modes rather than contents.
#ifndef C6X_VELM_TESTS_SUPPORT_SIMPLE_PROGRAM_H
#define C6X_VELM_TESTS_SUPPORT_SIMPLE_PROGRAM_H

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/coff_builder.h"
#include "support/tool_runner.h"
#include "support/velm_expect.h"

namespace velm_test {

using Snapshot = std::map<std::string, std::string>;

// A small executable: one 8-byte code section at `vaddr`, entry point 0x400. Different
// addresses tell apart which of several candidate files the tool found.
inline Bytes simple_coff(uint32_t vaddr = 0x400) {
    Coff c;
    c.entry = 0x400;
    c.sections.push_back(
        {".text", {}, vaddr, vaddr, 0x20, words({0x04030201, 0x08070605}), {}, {}, 0});
    return build_coff(c);
}

inline std::string hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.8x", v);
    return buf;
}

// What `-d` prints for simple_coff(vaddr) read from `in_path`.
inline std::string simple_listing(const std::string& in_path, uint32_t vaddr = 0x400) {
    return banner() +
           crlf("input file    : " + in_path +
                "\n"
                "total sections: 1\n"
                "file format   : COFF2\n"
                "entry point   : 0x400\n"
                "\n            <<<< COFF file directory (non-empty sections only) >>>>\n"
                " ----------------------------------------------------------------------------\n"
                " sect#  -name-      -load_addr/run_addr-     -length-    -attrib-    -status-\n"
                "  001   .text       0x" +
                hex8(vaddr) + " 0x" + hex8(vaddr) + "   0x00000008   exec          LOAD\n") +
           erase();
}

// What a successful conversion of simple_coff() prints.
inline std::string simple_summary(const std::string& in_path, const std::string& out_path,
                                  const std::string& format) {
    return banner() + "\rsection #1 ..." + erase() +
           crlf("COFF file        : " + in_path +
                "\n"
                "COFF file format : COFF2\n"
                "VELM file        : " +
                out_path +
                "\n"
                "VELM file format : " +
                format +
                "\n"
                "sections         : 1  (valid sections: 1)\n"
                "entry point      : 0x400\n\n");
}

// The BINARY image of simple_coff(vaddr): one section record and the end record.
inline std::string simple_binary(uint32_t vaddr = 0x400) {
    return as_text(words({0x90003B09, vaddr, 8, 0x04030201, 0x08070605, 0xFFFF3B09, 0, 0}));
}

// The TEXT image of simple_coff() read from `in_path`.
inline std::string simple_text(const std::string& in_path) {
    return crlf(
        "// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. v.1.2W\n"
        "// Copyright (C) Kestrane Systems Ltd.\n"
        "// \n"
        "// source C6xxx COFF file: " +
        in_path +
        "\n"
        "// source file  format   : COFF2\n"
        "// total sections        : 1\n"
        "// entry point           : 0x400\n"
        "// \n"
        "// \n"
        "// 32-bit UNSIGNED data array derived from source C6xxx COFF file\n\n"
        "unsigned int C6XXX_VELM_DATA[] = \n{"
        "\n// section '.text':  addr=00000400H  len=00000008H  attrib='exec'\n"
        "     0x90003B09,  0x00000400,  0x00000008,\n"
        "     0x04030201,  0x08070605,  \n"
        "     \n"
        "// VELM32 termination section\n"
        "     0xFFFF3B09,  0x00000000,  0x00000000\n"
        "};\n");
}

inline std::string failed(const std::string& message) {
    return banner() + failure(message);
}

inline void make_dir(const TempDir& dir, const std::string& name) {
    ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(dir.file(name)))) << name;
}

inline std::string describe(const std::vector<std::string>& args) {
    std::string s = "args:";
    for (const std::string& a : args) s += " '" + a + "'";
    return s;
}

}  // namespace velm_test

#endif
