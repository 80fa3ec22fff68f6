#include "support/tool_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velm_test {

namespace {

void remove_tree(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* d = ::opendir(path.c_str())) {
            while (struct dirent* e = ::readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") remove_tree(path + "/" + name);
            }
            ::closedir(d);
        }
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

std::string drain(int fd) {
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

}  // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/c6x_velm_test.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    remove_tree(path_);
}

void TempDir::write(const std::string& name, const Bytes& bytes) const {
    std::ofstream f(file(name), std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void TempDir::write(const std::string& name, const std::string& text) const {
    std::ofstream f(file(name), std::ios::binary);
    f << text;
}

std::string TempDir::read(const std::string& name) const {
    return read_file(file(name));
}

bool TempDir::exists(const std::string& name) const {
    struct stat st;
    return ::lstat(file(name).c_str(), &st) == 0;
}

std::map<std::string, std::string> TempDir::snapshot() const {
    std::map<std::string, std::string> files;
    if (DIR* d = ::opendir(path_.c_str())) {
        while (struct dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            struct stat st;
            ::lstat(file(name).c_str(), &st);
            // Only regular files are read: a FIFO or a link to a device could block.
            if (S_ISREG(st.st_mode)) {
                files[name] = read(name);
            } else if (S_ISLNK(st.st_mode)) {
                char target[4096];
                ssize_t n = ::readlink(file(name).c_str(), target, sizeof target);
                files[name] = "<link>" + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
            } else {
                files[name] = S_ISDIR(st.st_mode) ? "<dir>" : "<special>";
            }
        }
        ::closedir(d);
    }
    return files;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

RunResult run_in(const std::string& dir, const std::vector<std::string>& args,
                 const std::string& program) {
    std::string exe = program.empty() ? VELM_TOOL_PATH : program;
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        int null_in = ::open("/dev/null", O_RDONLY);
        ::dup2(null_in, 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(exe.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    RunResult r;
    // Standard error is tiny or empty; read stdout first, then stderr.
    r.out = drain(out_pipe[0]);
    r.err = drain(err_pipe[0]);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace velm_test
