#include <windows.h>

#include <climits>
#include <cstring>

#include "platform/os_file.h"
#include "platform/win32_wide.h"

namespace velm {

namespace {

HANDLE as_handle(OsFile file) {
    return reinterpret_cast<HANDLE>(file);
}

OsFile as_file(HANDLE h) {
    return reinterpret_cast<OsFile>(h);
}

// The absolute form of a path, as ReplaceFileW needs it (Wine's finds the directory for
// its own scratch file from the replaced file's path). The path as given when it has none.
std::wstring full_path(const std::wstring& path) {
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    return full;
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

InOpen os_duplicate_input(OsFile held, OsFile* file) {
    HANDLE h = as_handle(held);
    if (::GetFileType(h) != FILE_TYPE_DISK) return InOpen::not_regular;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return InOpen::not_found;
    }
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (!::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        return InOpen::not_found;
    }
    *file = as_file(copy);
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

// No mapping: while a view of a file is mapped, Windows refuses to truncate or overwrite
// that file (ERROR_USER_MAPPED_FILE), and a build step that rewrites the input in place
// must not fail because this tool is reading it. The input is read instead.
const uint8_t* os_map_input(OsFile, int64_t) {
    return nullptr;
}

void os_unmap_input(const uint8_t*, int64_t) {}

bool os_map_intact() {
    return true;
}

namespace {

// The final path of an existing output that is a symbolic link (a reparse point): its
// target, so that replacing the file keeps the link. Any other output, and a target that
// cannot be named in the process's code page, is put back at the path as given: asking
// the system for the final path of an ordinary file could name another of its hard links.
std::string final_path(const std::string& path, HANDLE h) {
    // The name's own attributes: the handle was opened through the link, on its target.
    DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return path;
    }
    DWORD n = ::GetFinalPathNameByHandleW(h, nullptr, 0, FILE_NAME_NORMALIZED);
    if (n == 0 || n > INT_MAX) return path;
    std::wstring w(n, L'\0');
    n = ::GetFinalPathNameByHandleW(h, &w[0], n, FILE_NAME_NORMALIZED);
    if (n == 0 || n >= w.size()) return path;
    w.resize(n);
    int size = ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(n), nullptr, 0, nullptr,
                                     nullptr);
    if (size <= 0) return path;
    std::string narrow(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(n), &narrow[0], size, nullptr,
                          nullptr);
    return wide(narrow) == w ? narrow : path;
}

}  // namespace

OutFound os_find_output(const std::string& path, OsFile guard, OsFile* file, std::string* final) {
    std::wstring name = wide(path);
    if (name.empty()) return OutFound::refused;
    // Opened for writing (OPEN_EXISTING: nothing is created or truncated) so that a file
    // the user may not write, or one another program holds without sharing, is refused as
    // before. DELETE access lets a file written in place be removed through its own
    // handle after a failure, so the tool can never remove a file that replaced it at the
    // same path; a device refuses it. Shared for reading only, so the open input (the
    // same file, at worst) does not stop it.
    constexpr DWORD kAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES;  // the identity check
    HANDLE h = ::CreateFileW(name.c_str(), kAccess | DELETE, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, kOpenFlags, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
        h = ::CreateFileW(name.c_str(), kAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          kOpenFlags, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) {
        // A missing directory on the way is found out when the file is made.
        DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            return OutFound::refused;
        }
        *final = path;
        return OutFound::none;
    }
    *file = as_file(h);
    if (::GetFileType(h) != FILE_TYPE_DISK) return OutFound::device;  // never the input
    FILE_ID_INFO out_id;
    FILE_ID_INFO in_id;
    bool same = !file_identity(h, &out_id);  // cannot tell: never risk the input
    if (!same && guard != kNoFile && file_identity(as_handle(guard), &in_id)) {
        same = std::memcmp(&out_id, &in_id, sizeof out_id) == 0;
    }
    if (same) {
        ::CloseHandle(h);
        *file = kNoFile;
        return OutFound::refused;
    }
    *final = final_path(path, h);
    return OutFound::file;
}

OsFile os_create_temp(const std::string& final, OsFile, std::string* temp) {
    static unsigned long serial = 0;  // tells apart the runs of one process
    size_t cut = final.find_last_of("\\/:");
    std::string dir = cut == std::string::npos ? std::string() : final.substr(0, cut + 1);
    std::string stem = dir + "." + final.substr(dir.size()) + ".c6x_velm-" +
                       std::to_string(::GetCurrentProcessId()) + "-";
    // A name may be left by a killed process whose id has come round again: count past it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + std::to_string(serial++) + ".tmp";
        std::wstring name = wide(candidate);
        if (name.empty()) return kNoFile;
        HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                 CREATE_NEW, kOpenFlags, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS) continue;
            return kNoFile;
        }
        *temp = candidate;
        return as_file(h);
    }
    return kNoFile;
}

bool os_truncate(OsFile file) {
    return ::SetEndOfFile(as_handle(file)) != 0;
}

OsFile os_create_output(const std::string& path) {
    std::wstring name = wide(path);
    if (name.empty()) return kNoFile;
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                             OPEN_ALWAYS, kOpenFlags, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoFile : as_file(h);
}

bool os_replace(const std::string& temp, const std::string& final, bool existed) {
    std::wstring from = full_path(wide(temp));
    std::wstring to = full_path(wide(final));
    // ReplaceFileW gives the new file the replaced one's attributes and security; other
    // hard links of the replaced file keep the old contents, as after a POSIX rename.
    if (existed) {
        if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                           nullptr, nullptr)) {
            return true;
        }
        // Any other failure leaves both files as they were. After this one the replaced
        // file is gone already and only the new one's rename failed: it is tried again
        // below, for the complete image is all that is left.
        DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
            return false;
        }
    }
    // No file there when the output was found, or none any more: a rename.
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void os_remove(const std::string& path) {
    ::DeleteFileW(wide(path).c_str());
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
