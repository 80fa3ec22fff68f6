#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "support/tool_runner.h"

namespace velm_test {

namespace {

std::string drain(int fd) {
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

}  // namespace

RunResult run_in(const std::string& dir, const std::vector<std::string>& args,
                 const std::string& program, const std::string& input) {
    std::string exe = program.empty() ? VELM_TOOL_PATH : program;
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        int in = ::open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
        if (in < 0) ::_exit(127);
        ::dup2(in, 0);
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
