#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "support/tool_runner.h"

namespace velm_test {

namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
    return w;
}

// One argument quoted so that the C runtime's command-line parser gives it back
// unchanged: backslashes count only before a quote, where they are doubled.
void append_quoted(std::wstring* line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        *line += arg;
        return;
    }
    *line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') backslashes = backslashes * 2 + 1;
        line->append(backslashes, L'\\');
        backslashes = 0;
        *line += c;
    }
    line->append(backslashes * 2, L'\\');
    *line += L'"';
}

std::string drain(HANDLE h) {
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    return out;
}

}  // namespace

RunResult run_in(const std::string& dir, const std::vector<std::string>& args,
                 const std::string& program, const std::string& input) {
    std::string exe = program.empty() ? VELM_TOOL_PATH : program;
    std::wstring line;
    append_quoted(&line, wide(exe));
    for (const std::string& a : args) {
        line += L' ';
        append_quoted(&line, wide(a));
    }

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write;
    if (!::CreatePipe(&out_read, &out_write, &inherit, 0) ||
        !::CreatePipe(&err_read, &err_write, &inherit, 0)) {
        throw std::runtime_error("CreatePipe failed");
    }
    ::SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    HANDLE null_in =
        ::CreateFileW(input.empty() ? L"NUL" : wide(input).c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = null_in;
    start.hStdOutput = out_write;
    start.hStdError = err_write;
    PROCESS_INFORMATION proc = {};
    std::wstring exe_w = wide(exe);
    std::wstring dir_w = wide(dir);
    BOOL started = ::CreateProcessW(exe_w.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                    dir_w.c_str(), &start, &proc);
    ::CloseHandle(out_write);
    ::CloseHandle(err_write);
    ::CloseHandle(null_in);
    RunResult r;
    if (!started) {
        // Why, and what a child that died while starting wrote, for the failing test to show.
        DWORD error = ::GetLastError();
        r.err = "CreateProcessW failed, error " + std::to_string(error) + ": " + drain(err_read) +
                drain(out_read);
        std::fprintf(stderr, "%s\n", r.err.c_str());
        ::CloseHandle(out_read);
        ::CloseHandle(err_read);
        r.exit_status = 127;
        return r;
    }
    // Both pipes are drained at once: a child that fills one while the other is read
    // would otherwise wait for ever.
    std::thread err_reader([&] { r.err = drain(err_read); });
    r.out = drain(out_read);
    err_reader.join();
    ::CloseHandle(out_read);
    ::CloseHandle(err_read);
    ::WaitForSingleObject(proc.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(proc.hProcess, &code);
    ::CloseHandle(proc.hProcess);
    ::CloseHandle(proc.hThread);
    // A crash ends the process with an exception code (0xC0000005 and the like).
    r.exit_status = code <= 255 ? static_cast<int>(code) : -1;
    return r;
}

}  // namespace velm_test
