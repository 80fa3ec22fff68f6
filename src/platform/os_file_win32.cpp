#include <windows.h>

#include <climits>
#include <cstring>

#include "platform/os_file.h"

namespace velm {

namespace {

HANDLE as_handle(OsFile file) {
    return reinterpret_cast<HANDLE>(file);
}

OsFile as_file(HANDLE h) {
    return reinterpret_cast<OsFile>(h);
}

// The arguments arrive in the process's ANSI code page, which the application manifest
// makes UTF-8 (from Windows 10 version 1903 on). Converting back with that same code page
// finds the file the user named on older versions too. "" when it cannot be converted,
// which no file is named.
std::wstring wide(const std::string& path) {
    if (path.empty() || path.size() > INT_MAX) return std::wstring();
    int size = static_cast<int>(path.size());
    int n = ::MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.data(), size, &w[0], n);
    return w;
}

// A path may name a pipe whose server is someone else's program: this keeps that server
// from acting with the user's rights while the tool has it open. Ignored for files.
constexpr DWORD kOpenFlags = FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS;

// The file's identity: volume serial number and file identifier. The 128-bit identifier
// is unique on every file system (ReFS's 64-bit index is not); the 64-bit one is what
// older systems offer. False when the system can tell neither.
bool file_identity(HANDLE h, FILE_ID_INFO* id) {
    if (::GetFileInformationByHandleEx(h, FileIdInfo, id, sizeof *id)) return true;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info)) return false;
    std::memset(id, 0, sizeof *id);
    id->VolumeSerialNumber = info.dwVolumeSerialNumber;
    uint64_t index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    std::memcpy(id->FileId.Identifier, &index, sizeof index);
    return true;
}

}  // namespace

InOpen os_open_input(const std::string& path, OsFile* file) {
    std::wstring name = wide(path);
    if (name.empty()) return InOpen::not_found;
    // Shared for reading, writing and deletion: the tool must not stop a build step from
    // replacing the file it reads. Opening a device or pipe returns at once; the type is
    // then checked before any read, so the tool never waits on one.
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, kOpenFlags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A pipe whose every instance is in use still exists; it is just not a file.
        return ::GetLastError() == ERROR_PIPE_BUSY ? InOpen::not_regular : InOpen::not_found;
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return InOpen::not_regular;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::CloseHandle(h);
        return InOpen::not_found;
    }
    *file = as_file(h);
    return InOpen::ok;
}

int64_t os_file_size(OsFile file) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(as_handle(file), &size)) return -1;
    return size.QuadPart;
}

int64_t os_read_at(OsFile file, void* dest, int64_t n, int64_t offset) {
    unsigned char* out = static_cast<unsigned char*>(dest);
    int64_t got = 0;
    while (got < n) {
        int64_t rest = n - got;
        DWORD want = static_cast<DWORD>(rest < (int64_t{1} << 30) ? rest : (int64_t{1} << 30));
        uint64_t at = static_cast<uint64_t>(offset + got);
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD r = 0;
        if (!::ReadFile(as_handle(file), out + got, want, &r, &where)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) break;
            return -1;
        }
        if (r == 0) break;
        got += r;
    }
    return got;
}

void os_close(OsFile file) {
    ::CloseHandle(as_handle(file));
}

OsFile os_open_output(const std::string& path, OsFile guard, bool* regular) {
    std::wstring name = wide(path);
    if (name.empty()) return kNoFile;
    // DELETE access lets a failed output be removed through its own handle, so the tool
    // can never remove a file that replaced it at the same path. A device refuses it.
    // Nothing is truncated yet (OPEN_ALWAYS): the same-file check comes first. Shared
    // for reading only, so the open input (the same file, at worst) does not stop it.
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                             OPEN_ALWAYS, kOpenFlags, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
        h = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          kOpenFlags, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) return kNoFile;
    *regular = ::GetFileType(h) == FILE_TYPE_DISK;
    if (!*regular) return as_file(h);  // a device or pipe: never the input, never truncated
    FILE_ID_INFO out_id;
    FILE_ID_INFO in_id;
    bool same = !file_identity(h, &out_id);  // cannot tell: never risk the input
    if (!same && guard != kNoFile && file_identity(as_handle(guard), &in_id)) {
        same = std::memcmp(&out_id, &in_id, sizeof out_id) == 0;
    }
    if (same || !::SetEndOfFile(h)) {
        ::CloseHandle(h);
        return kNoFile;
    }
    return as_file(h);
}

bool os_write(OsFile file, const char* p, size_t n) {
    while (n > 0) {
        DWORD piece = static_cast<DWORD>(n < (size_t{1} << 30) ? n : (size_t{1} << 30));
        DWORD w = 0;
        if (!::WriteFile(as_handle(file), p, piece, &w, nullptr) || w == 0) return false;
        p += w;
        n -= w;
    }
    return true;
}

bool os_close_output(OsFile file, const std::string& path, bool regular, bool discard) {
    HANDLE h = as_handle(file);
    bool removed = false;
    if (regular && discard) {
        // Removed when the handle closes; a device is never marked.
        FILE_DISPOSITION_INFO disposition = {};
        disposition.DeleteFile = TRUE;
        removed = ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition,
                                               sizeof disposition) != 0;
    }
    bool closed = ::CloseHandle(h) != 0;
    // Without DELETE access (or when the close failed) only the name is left to go by.
    if (regular && (discard || !closed) && !removed) ::DeleteFileW(wide(path).c_str());
    return closed;
}

OsFile os_stdout() {
    return as_file(::GetStdHandle(STD_OUTPUT_HANDLE));
}

}  // namespace velm
