#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/dump_files.h"
#include "platform/win32_wide.h"

namespace velm {

namespace {

HANDLE handle_of(const DumpFile& f) {
    return reinterpret_cast<HANDLE>(f.handle);
}

// The C runtime's text for the nearest errno value, so that messages read as they do on
// POSIX systems and in the C library's own file functions.
std::string error_text(DWORD error) {
    int e = EIO;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_DIRECTORY:
            e = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            e = EACCES;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            e = ENOSPC;
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            e = ENOMEM;
            break;
        case ERROR_FILENAME_EXCED_RANGE:
            e = ENAMETOOLONG;
            break;
        default:
            break;
    }
    return std::strerror(e);
}

// A pipe whose server is someone else's program must not act with the user's rights.
constexpr DWORD kOpenFlags =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS;

}  // namespace

bool dump_open(const std::string& path, DumpFile* file, std::string* reason) {
    std::wstring name = wide(path);
    if (name.empty()) {
        *reason = error_text(ERROR_FILE_NOT_FOUND);
        return false;
    }
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, kOpenFlags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        // Windows refuses to open a directory ("access denied"); say what it is.
        DWORD attributes = ::GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            *reason = std::strerror(EISDIR);
        } else {
            *reason = error_text(error);
        }
        return false;
    }
    file->handle = reinterpret_cast<intptr_t>(h);
    file->random = ::GetFileType(h) == FILE_TYPE_DISK;
    file->owned = true;
    return true;
}

DumpFile dump_stdin() {
    DumpFile f;
    HANDLE h = ::GetStdHandle(STD_INPUT_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return f;  // none: reads as empty
    f.handle = reinterpret_cast<intptr_t>(h);
    LARGE_INTEGER zero = {};
    LARGE_INTEGER at = {};
    // A file redirected to standard input is read like any other file.
    f.random = ::GetFileType(h) == FILE_TYPE_DISK &&
               ::SetFilePointerEx(h, zero, &at, FILE_CURRENT) && at.QuadPart == 0;
    return f;
}

int64_t dump_read(const DumpFile& file, void* dest, size_t n, std::string* reason) {
    if (file.handle == -1) return 0;
    DWORD want = static_cast<DWORD>(n < (size_t{1} << 30) ? n : (size_t{1} << 30));
    DWORD got = 0;
    if (!::ReadFile(handle_of(file), dest, want, &got, nullptr)) {
        DWORD error = ::GetLastError();
        // The writing end of a pipe was closed: the end of the input.
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
        *reason = error_text(error);
        return -1;
    }
    return got;
}

int64_t dump_read_at(const DumpFile& file, void* dest, size_t n, uint64_t offset,
                     std::string* reason) {
    unsigned char* out = static_cast<unsigned char*>(dest);
    size_t got = 0;
    while (got < n) {
        size_t rest = n - got;
        DWORD want = static_cast<DWORD>(rest < (size_t{1} << 30) ? rest : (size_t{1} << 30));
        uint64_t at = offset + got;
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD r = 0;
        if (!::ReadFile(handle_of(file), out + got, want, &r, &where)) {
            DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF) break;
            *reason = error_text(error);
            return -1;
        }
        if (r == 0) break;
        got += r;
    }
    return static_cast<int64_t>(got);
}

int64_t dump_size(const DumpFile& file, std::string* reason) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_of(file), &size)) {
        *reason = error_text(::GetLastError());
        return -1;
    }
    return size.QuadPart;
}

bool dump_open_temp(DumpFile* file, std::string* reason) {
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH || ::GetTempFileNameW(dir, L"vlm", 0, name) == 0) {
        *reason = error_text(::GetLastError());
        return false;
    }
    // Removed by the system when the last handle closes, even if the process is killed.
    HANDLE h = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *reason = error_text(::GetLastError());
        ::DeleteFileW(name);
        return false;
    }
    file->handle = reinterpret_cast<intptr_t>(h);
    file->random = true;
    file->owned = true;
    return true;
}

bool dump_write(const DumpFile& file, const void* data, size_t n, std::string* reason) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        DWORD piece = static_cast<DWORD>(n < (size_t{1} << 30) ? n : (size_t{1} << 30));
        DWORD w = 0;
        if (!::WriteFile(handle_of(file), p, piece, &w, nullptr) || w == 0) {
            *reason = error_text(::GetLastError());
            return false;
        }
        p += w;
        n -= w;
    }
    return true;
}

void dump_close(DumpFile* file) {
    if (file->owned && file->handle != -1) ::CloseHandle(handle_of(*file));
    *file = DumpFile();
}

void* dump_memory_alloc(size_t n) {
    // Committed pages are zero and take memory only when first touched.
    return ::VirtualAlloc(nullptr, n, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void dump_memory_free(void* p, size_t) {
    if (p != nullptr) ::VirtualFree(p, 0, MEM_RELEASE);
}

}  // namespace velm
