// Runs the built tool in a scratch directory and captures what it leaves behind.
#ifndef C6X_VELM_TESTS_SUPPORT_TOOL_RUNNER_H
#define C6X_VELM_TESTS_SUPPORT_TOOL_RUNNER_H

#include <map>
#include <string>
#include <vector>

#include "support/coff_builder.h"
#include "support/console_text.h"

namespace velm_test {

// A fresh directory in the system's place for temporary files ($TMPDIR or /tmp; Windows:
// %TEMP%), removed with everything in it. Names are UTF-8.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    void write(const std::string& name, const Bytes& bytes) const;
    void write(const std::string& name, const std::string& text) const;
    std::string read(const std::string& name) const;  // whole file; "" when missing
    bool exists(const std::string& name) const;
    // Entries directly inside, sorted: regular files with their contents, directories,
    // links (with their targets) and other files marked, never read.
    std::map<std::string, std::string> snapshot() const;

  private:
    std::string path_;
};

struct RunResult {
    int exit_status = -1;  // -1 when the tool did not exit normally (a crash)
    std::string out;       // everything written to standard output
    std::string err;       // everything written to standard error (must stay empty)
};

// Runs `program` (default: the built c6x_velm) with `args` in `dir`. Standard input is
// the file `input`, or empty.
RunResult run_in(const std::string& dir, const std::vector<std::string>& args,
                 const std::string& program = "", const std::string& input = "");

// Reads a whole file; "" when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace velm_test

#endif
