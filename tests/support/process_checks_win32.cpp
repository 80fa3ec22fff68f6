#include <windows.h>

#include "support/process_checks.h"

namespace velm_check {

int open_descriptors() {
    DWORD n = 0;
    return ::GetProcessHandleCount(::GetCurrentProcess(), &n) ? static_cast<int>(n) : -1;
}

// The tool writes its console text to the standard output handle, so the handle is
// swapped; the C runtime's descriptor 1 (the test's own output) is left alone.
intptr_t stdout_to_file(const std::string& path, bool writable) {
    int size = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring name(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &name[0], size);
    HANDLE file = ::CreateFileW(name.c_str(), writable ? GENERIC_WRITE : GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, file);
    return reinterpret_cast<intptr_t>(saved);
}

void restore_stdout(intptr_t saved) {
    ::CloseHandle(::GetStdHandle(STD_OUTPUT_HANDLE));
    ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(saved));
}

const char* null_device() {
    return "NUL";
}

bool null_device_intact() {
    HANDLE h = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool device = ::GetFileType(h) == FILE_TYPE_CHAR;
    ::CloseHandle(h);
    return device;
}

}  // namespace velm_check
