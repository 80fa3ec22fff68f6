// In-process runs of the tool and the properties every run must keep, whatever its
// input: shared by the fuzz target and the replay and fault-injection tests.
//
// The tool writes its console text to standard output through a buffered stream and
// flushes it before run_tool() returns, so a run is captured by pointing standard output
// at a scratch file for its duration.
//
// What a run must show, in every mode:
//   - exit status 0 or 1, and the banner first on the console;
//   - status 1: after the banner only progress texts, then the erase sequence, exactly
//     one message line of the code table and an empty line; no output file;
//   - status 0 after a conversion: the summary, and an output file that velm_dump reads
//     as one sound VELM stream closed by the end record (TEXT besides: CR LF lines laid
//     out exactly as the tool writes them, holding the words of the BINARY stream);
//   - status 0 after a listing: the listing, closed by the erase sequence; no file.
// And across the three modes of one input: the same failure (or success) in TEXT and
// BINARY, a listing that fails exactly when loading fails, no file in the directory but
// the input and the output (a temporary file left behind is a fault), and no descriptor
// left open.
#ifndef C6X_VELM_TESTS_SUPPORT_RUN_CHECKS_H
#define C6X_VELM_TESTS_SUPPORT_RUN_CHECKS_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "core/byte_order.h"
#include "driver/run.h"
#include "dump/image.h"
#include "dump/image_reader.h"
#include "support/console_text.h"
#include "support/process_checks.h"

namespace velm_check {

enum class Mode { text, binary, listing };

struct Capture {
    int status = -1;
    std::string console;
};

inline bool read_whole(const std::string& path, std::string* out) {
    out->clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    // Sized once from the file's length: outputs reach megabytes, and the fuzzer reads
    // three of them per input.
    std::error_code ec;
    uintmax_t size = std::filesystem::file_size(path, ec);
    size_t len = 0;
    out->resize(!ec && size > 0 ? static_cast<size_t>(size) + 1 : 4096);
    while (true) {
        if (len == out->size()) out->resize(out->size() * 2);
        size_t n = std::fread(&(*out)[len], 1, out->size() - len, f);
        if (n == 0) break;
        len += n;
    }
    out->resize(len);
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

inline bool write_whole(const std::string& path, const void* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline bool file_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

inline void remove_file(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// Names in `dir`, "." and ".." left out.
inline std::set<std::string> directory_names(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

// Runs the tool with `args` (its own name is supplied) in this process, its console
// captured through the scratch file `capture_path`, which is removed afterwards.
inline Capture run_captured(const std::vector<std::string>& args, const std::string& capture_path) {
    Capture c;
    std::vector<const char*> argv;
    argv.push_back("c6x_velm");
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);

    std::fflush(stdout);
    intptr_t saved = stdout_to_file(capture_path);
    if (saved == -1) return c;
    c.status = velm::run_tool(static_cast<int>(args.size() + 1), argv.data());
    restore_stdout(saved);
    read_whole(capture_path, &c.console);
    remove_file(capture_path);
    return c;
}

inline bool is_message_line(const std::string& line) {
    for (const velm_test::MessageLine& m : velm_test::kMessageLines) {
        if (m.line == line) return true;
    }
    return false;
}

// The message line of a failed run, or "" when the console does not end like one.
inline std::string message_of(const std::string& console) {
    const std::string tail = "\r\n\r\n";
    const std::string erase = velm_test::erase();
    if (console.size() < tail.size() || console.compare(console.size() - 4, 4, tail) != 0) {
        return "";
    }
    size_t at = console.rfind(erase);
    if (at == std::string::npos) return "";
    size_t start = at + erase.size();
    if (start + tail.size() > console.size()) return "";
    return console.substr(start, console.size() - tail.size() - start);
}

inline bool is_hex(char c, bool upper) {
    return (c >= '0' && c <= '9') || (upper ? (c >= 'A' && c <= 'F') : (c >= 'a' && c <= 'f'));
}

inline uint32_t hex_value(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 8; ++i) {
        char c = s[at + i];
        uint32_t d = c <= '9' ? static_cast<uint32_t>(c - '0')
                              : static_cast<uint32_t>((c | 0x20) - 'a' + 10);
        v = (v << 4) | d;
    }
    return v;
}

// velm_dump's verdict on an image holding `words`, "" when sound, and what velm_dump does
// not check: a section record's partial last word holds zero bytes above the data (a
// cinit record's rounding bytes come from the table and may be anything). Overlapping
// records are the input's business, not a fault of the run.
inline std::string check_image(const velm::dump::Image& image, const std::vector<uint32_t>& words) {
    using namespace velm::dump;
    for (const Problem& p : image.problems) {
        if (p.severity == Severity::error) return p.message;
    }
    uint64_t first = 0;  // the records of a sound image tile its words
    for (const Record& r : image.records) {
        if (kind_of(r) == RecordKind::section && r.length % 4 != 0) {
            uint32_t last = words[first + 2 + data_words_of(r)];
            if ((last >> (8 * (r.length % 4))) != 0) return "partial word not zero-filled";
        }
        first += 3 + data_words_of(r);
    }
    return "";
}

inline std::string binary_of(const std::vector<uint32_t>& words) {
    std::string out;
    for (uint32_t w : words) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>(w >> (8 * i));
    }
    return out;
}

// The record structure of a stream of words, as velm_dump decodes it.
inline std::string check_records(const std::vector<uint32_t>& words) {
    return check_image(velm::dump::read_image(binary_of(words)), words);
}

// Parses "0x" and eight upper-case digits at `at`.
inline bool parse_word(const std::string& line, size_t at, uint32_t* value) {
    if (at + 10 > line.size() || line[at] != '0' || line[at + 1] != 'x') return false;
    for (size_t i = 0; i < 8; ++i) {
        if (!is_hex(line[at + 2 + i], true)) return false;
    }
    *value = hex_value(line, at + 2);
    return true;
}

// Reads the TEXT encoding back into its words, checking the line grammar on the way:
// CR LF line ends only; comment and blank lines up to the declaration; then lines of
// five blanks and words, each record announced by a comment line that agrees with its
// header triple; the termination comment; "};".
inline std::string text_words(const std::string& out, std::vector<uint32_t>* words) {
    words->clear();
    words->reserve(out.size() / 12);
    size_t start = 0;
    size_t end = 0;  // of the current line, at its CR
    // Moves to the next line; false at the end of the file or at a bad line end.
    std::string bad_end;
    auto next_line = [&]() {
        if (start >= out.size()) return false;
        size_t cr = out.find('\r', start);
        size_t lf = out.find('\n', start);
        if (cr == std::string::npos || lf != cr + 1) {
            bad_end = "TEXT line not ended by CR LF";
            return false;
        }
        end = cr;
        return true;
    };
    auto advance = [&]() { start = end + 2; };
    auto is = [&](const char* text) {
        size_t n = std::char_traits<char>::length(text);
        return end - start == n && out.compare(start, n, text) == 0;
    };
    auto begins = [&](const char* text) {
        size_t n = std::char_traits<char>::length(text);
        return end - start >= n && out.compare(start, n, text) == 0;
    };

    if (!next_line() || !is("// TMS320C6xxx COFF-to-VELM32 File Conversion Utility. v.1.2W")) {
        return bad_end.empty() ? "TEXT prologue's first line" : bad_end;
    }
    advance();
    while (true) {
        if (!next_line()) return bad_end.empty() ? "TEXT without declaration" : bad_end;
        if (is("unsigned int C6XXX_VELM_DATA[] = ")) break;
        if (end != start && !begins("// ")) return "TEXT prologue line that is not a comment";
        advance();
    }
    advance();
    if (!next_line() || !is("{")) return "TEXT declaration";
    advance();

    bool pending_comment = false;
    uint32_t comment_addr = 0, comment_len = 0;
    bool ended = false;
    for (; next_line(); advance()) {
        if (ended) return "TEXT after the closing brace";
        if (is("};")) {
            ended = true;
            continue;
        }
        if (is("// VELM32 termination section")) {
            pending_comment = false;
            continue;
        }
        if (begins("// section '")) {
            // "// section '<name>':  addr=<8 hex>H  len=<8 hex>H  attrib='<text>'"
            size_t at = out.rfind("':  addr=", end);
            if (at == std::string::npos || at < start + 12 || at + 44 > end ||
                out.compare(at + 17, 7, "H  len=") != 0 ||
                out.compare(at + 32, 11, "H  attrib='") != 0 || out[end - 1] != '\'') {
                return "TEXT section comment line";
            }
            for (size_t i = 0; i < 8; ++i) {
                if (!is_hex(out[at + 9 + i], false) || !is_hex(out[at + 24 + i], false)) {
                    return "TEXT section comment digits";
                }
            }
            comment_addr = hex_value(out, at + 9);
            comment_len = hex_value(out, at + 24);
            pending_comment = true;
            continue;
        }
        if (!begins("     ")) return "TEXT line neither comment nor data";
        size_t at = start + 5;
        size_t first_word = words->size();
        while (at < end) {
            uint32_t v;
            if (at + 10 > end || !parse_word(out, at, &v)) return "TEXT data word";
            words->push_back(v);
            at += 10;
            if (at == end) break;  // only the end record's last word has no comma
            if (out[at] != ',') return "TEXT word separator";
            ++at;
            if (at == end) break;
            if (at + 2 > end || out[at] != ' ' || out[at + 1] != ' ') {
                return "TEXT word separator";
            }
            at += 2;
        }
        if (pending_comment) {
            // The line after a comment is the header triple the comment describes.
            if (words->size() - first_word != 3 || (*words)[first_word + 1] != comment_addr ||
                (*words)[first_word + 2] != comment_len) {
                return "TEXT comment disagrees with its header line";
            }
            pending_comment = false;
        }
    }
    if (!bad_end.empty()) return bad_end;
    if (!ended) return "TEXT without the closing brace";
    return "";
}

// The properties of one run of one mode. `out` is the output file's contents when it
// exists after the run.
inline std::string check_run(Mode mode, const Capture& run, bool out_exists, const std::string& out,
                             std::vector<uint32_t>* words_out = nullptr) {
    if (run.status != 0 && run.status != 1) return "exit status other than 0 and 1";
    const std::string banner = velm_test::banner();
    if (run.console.compare(0, banner.size(), banner) != 0) return "console without banner";
    const std::string erase = velm_test::erase();
    if (run.status == 1) {
        std::string message = message_of(run.console);
        if (!is_message_line(message)) return "failure without a message line of the table";
        // Between the banner and the erase sequence only progress texts may stand.
        size_t at = banner.size();
        size_t end = run.console.size() - message.size() - 4 - erase.size();
        const std::string progress = "\rsection #";
        while (at < end) {
            if (run.console.compare(at, progress.size(), progress) != 0) {
                return "failure console holds more than progress and one message";
            }
            at += progress.size();
            size_t digits = at;
            while (at < end && run.console[at] >= '0' && run.console[at] <= '9') ++at;
            if (at == digits || run.console.compare(at, 4, " ...") != 0) {
                return "malformed progress text";
            }
            at += 4;
        }
        if (at != end) return "malformed failure console";
        if (out_exists) return "failed run left an output file";
        return "";
    }
    if (mode == Mode::listing) {
        if (out_exists) return "listing created a file";
        if (run.console.size() < banner.size() + erase.size() ||
            run.console.compare(run.console.size() - erase.size(), erase.size(), erase) != 0) {
            return "listing not closed by the erase sequence";
        }
        if (run.console.compare(banner.size(), 16, "input file    : ") != 0) {
            return "listing without its description";
        }
        return "";
    }
    size_t summary = run.console.rfind(erase + "COFF file        : ");
    if (summary == std::string::npos) return "successful conversion without summary";
    std::string format = mode == Mode::binary ? "BINARY" : "TEXT";
    if (run.console.find("\r\nVELM file format : " + format + "\r\n", summary) ==
        std::string::npos) {
        return "summary names the wrong encoding";
    }
    if (!out_exists) return "successful conversion without output file";
    std::vector<uint32_t> own;
    std::vector<uint32_t>& words = words_out ? *words_out : own;
    if (mode == Mode::text) {
        std::string why = text_words(out, &words);
        if (!why.empty()) return why;
    }
    // Any byte of a section name or the input path lands in a TEXT comment: the image must
    // still be read in the encoding the run wrote.
    velm::dump::Image image = velm::dump::read_image(out);
    const auto encoding =
        mode == Mode::binary ? velm::dump::Encoding::binary : velm::dump::Encoding::text;
    if (image.encoding != encoding) return "velm_dump reads the image in the other encoding";
    if (mode == Mode::binary) {
        words.clear();
        for (size_t i = 0; i + 4 <= out.size(); i += 4) {
            words.push_back(velm::load_le32(reinterpret_cast<const uint8_t*>(out.data()) + i));
        }
    } else {
        velm::dump::WordStream read;
        std::vector<velm::dump::Problem> problems;
        if (!velm::dump::read_text(reinterpret_cast<const uint8_t*>(out.data()), out.size(), &read,
                                   &problems)) {
            return "velm_dump cannot read the TEXT: " + problems.front().message;
        }
        if (read.words != words) return "velm_dump reads other words from the TEXT";
    }
    return check_image(image, words);
}

struct ModeRun {
    Capture run;
    bool out_exists = false;
    std::string out;
};

struct AllModes {
    ModeRun text, binary, listing;
    std::string trouble;  // a fault of the harness or of what the runs left behind
};

// Runs TEXT, BINARY and listing on the file `input` inside `dir`, a directory that
// holds nothing else; the outputs are read and removed again.
inline AllModes run_all_modes(const std::string& dir, const std::string& input) {
    AllModes r;
    const std::string in = dir + "/" + input;
    const std::string console = dir + "/console.txt";
    const std::set<std::string> before = {input};
    int fds = open_descriptors();
    struct Step {
        ModeRun* into;
        std::vector<std::string> args;
        std::string out;
    };
    Step steps[] = {
        {&r.text, {in, dir + "/out.c"}, "out.c"},
        {&r.binary, {in, dir + "/out.bin", "-b"}, "out.bin"},
        {&r.listing, {in, "-d"}, ""},
    };
    for (Step& s : steps) {
        s.into->run = run_captured(s.args, console);
        std::set<std::string> after = directory_names(dir);
        if (!s.out.empty()) {
            s.into->out_exists = after.erase(s.out) != 0;
            if (s.into->out_exists) {
                read_whole(dir + "/" + s.out, &s.into->out);
                remove_file(dir + "/" + s.out);
            }
        } else if (after != before) {
            s.into->out_exists = true;
            for (const std::string& name : after) {
                if (name != input) remove_file(dir + "/" + name);
            }
            after = before;
        }
        if (after != before) r.trouble = "run left an unexpected file";
    }
    if (open_descriptors() != fds) r.trouble = "runs left a descriptor open";
    return r;
}

// Every property of the three runs of one input. `readable_input` says the input is an
// ordinary readable file in a writable directory, so failures of the file system itself
// (not found, cannot create, write errors) are faults too.
inline std::string check_all(const AllModes& r, bool readable_input = true) {
    if (!r.trouble.empty()) return r.trouble;
    std::vector<uint32_t> text_stream, binary_stream;
    std::string why =
        check_run(Mode::text, r.text.run, r.text.out_exists, r.text.out, &text_stream);
    if (!why.empty()) return "TEXT: " + why;
    why = check_run(Mode::binary, r.binary.run, r.binary.out_exists, r.binary.out, &binary_stream);
    if (!why.empty()) return "BINARY: " + why;
    why = check_run(Mode::listing, r.listing.run, r.listing.out_exists, r.listing.out);
    if (!why.empty()) return "listing: " + why;

    if (r.text.run.status != r.binary.run.status) return "TEXT and BINARY disagree on success";
    if (r.text.run.status == 1) {
        if (r.text.run.console != r.binary.run.console) {
            return "TEXT and BINARY fail differently";
        }
        std::string message = message_of(r.text.run.console);
        if (r.listing.run.status == 1) {
            if (message_of(r.listing.run.console) != message) {
                return "listing and conversion report different load failures";
            }
        } else if (message != velm_test::kMsgCinit && message != velm_test::kMsgLength &&
                   message != velm_test::kMsgRange && message != velm_test::kMsgRead) {
            return "conversion failed with a load status after a successful load";
        }
        if (readable_input &&
            (message == velm_test::kMsgNotFound || message == velm_test::kMsgCreate ||
             message == velm_test::kMsgWrite)) {
            return "file-system failure on an ordinary file";
        }
    } else {
        if (r.listing.run.status != 0) return "listing failed where conversion succeeded";
        if (text_stream != binary_stream) return "TEXT and BINARY streams hold different words";
    }
    return "";
}

}  // namespace velm_check

#endif
