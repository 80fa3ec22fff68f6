#include "support/tool_runner.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace velm_test {

namespace fs = std::filesystem;

namespace {

// Test names are UTF-8 on every system (Windows narrow strings would be the ANSI code
// page).
fs::path native(const std::string& path) {
    return fs::u8path(path);
}

}  // namespace

TempDir::TempDir() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::random_device seed;
    std::mt19937_64 pick(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("c6x_velm_test." + std::to_string(pick() % 1000000000));
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.generic_u8string();
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(native(path_), ec);
}

void TempDir::write(const std::string& name, const Bytes& bytes) const {
    std::ofstream f(native(file(name)), std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void TempDir::write(const std::string& name, const std::string& text) const {
    std::ofstream f(native(file(name)), std::ios::binary);
    f << text;
}

std::string TempDir::read(const std::string& name) const {
    return read_file(file(name));
}

bool TempDir::exists(const std::string& name) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(native(file(name)), ec));
}

std::map<std::string, std::string> TempDir::snapshot() const {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(native(path_), ec)) {
        std::string name = e.path().filename().u8string();
        fs::file_status st = e.symlink_status(ec);
        // Only regular files are read: a FIFO or a link to a device could block.
        if (fs::is_regular_file(st)) {
            files[name] = read(name);
        } else if (fs::is_symlink(st)) {
            files[name] = "<link>" + fs::read_symlink(e.path(), ec).u8string();
        } else {
            files[name] = fs::is_directory(st) ? "<dir>" : "<special>";
        }
    }
    return files;
}

std::string read_file(const std::string& path) {
    std::ifstream f(native(path), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

}  // namespace velm_test
