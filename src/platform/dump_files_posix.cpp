#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/dump_files.h"

namespace velm {

namespace {

std::string error_text(int error) {
    return std::strerror(error);
}

int fd_of(const DumpFile& f) {
    return static_cast<int>(f.handle);
}

}  // namespace

bool dump_open(const std::string& path, DumpFile* file, std::string* reason) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *reason = error_text(errno);
        return false;
    }
    struct stat st;
    int error = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error != 0) {
        *reason = error_text(error);
        ::close(fd);
        return false;
    }
    file->handle = fd;
    file->random = S_ISREG(st.st_mode);
    file->owned = true;
    return true;
}

DumpFile dump_stdin() {
    DumpFile f;
    f.handle = STDIN_FILENO;
    struct stat st;
    // A regular file redirected to standard input is read like any other file.
    f.random = ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode) &&
               ::lseek(STDIN_FILENO, 0, SEEK_CUR) == 0;
    return f;
}

int64_t dump_read(const DumpFile& file, void* dest, size_t n, std::string* reason) {
    for (;;) {
        ssize_t r = ::read(fd_of(file), dest, n);
        if (r >= 0) return r;
        if (errno == EINTR) continue;
        // A process started without standard input reads it as empty.
        if (errno == EBADF && file.handle == STDIN_FILENO) return 0;
        *reason = error_text(errno);
        return -1;
    }
}

int64_t dump_read_at(const DumpFile& file, void* dest, size_t n, uint64_t offset,
                     std::string* reason) {
    char* out = static_cast<char*>(dest);
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd_of(file), out + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0) {
            if (errno == EINTR) continue;
            *reason = error_text(errno);
            return -1;
        }
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(got);
}

int64_t dump_size(const DumpFile& file, std::string* reason) {
    struct stat st;
    if (::fstat(fd_of(file), &st) != 0) {
        *reason = error_text(errno);
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool dump_open_temp(DumpFile* file, std::string* reason) {
    const char* dir = std::getenv("TMPDIR");
    std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {
        // Without O_TMPFILE: a named file, removed at once, so that it goes with the
        // descriptor.
        std::string name = base + "/velm_dump.XXXXXX";
        std::vector<char> buf(name.begin(), name.end());
        buf.push_back('\0');
        fd = ::mkstemp(buf.data());
        if (fd < 0) {
            *reason = error_text(errno);
            return false;
        }
        ::unlink(buf.data());
    }
    file->handle = fd;
    file->random = true;
    file->owned = true;
    return true;
}

bool dump_write(const DumpFile& file, const void* data, size_t n, std::string* reason) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = ::write(fd_of(file), p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            *reason = error_text(w < 0 ? errno : ENOSPC);
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

void dump_close(DumpFile* file) {
    if (file->owned && file->handle >= 0) ::close(fd_of(*file));
    *file = DumpFile();
}

void* dump_memory_alloc(size_t n) {
    constexpr size_t kHugePage = size_t{2} << 20;
    if (n == 0 || n % kHugePage != 0 || n > SIZE_MAX - kHugePage) return nullptr;
    // Mapped one huge page larger, then trimmed to a huge-page boundary.
    void* base =
        ::mmap(nullptr, n + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(base);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) ::munmap(base, aligned - start);
    if (aligned + n < start + n + kHugePage) {
        ::munmap(reinterpret_cast<void*>(aligned + n), start + kHugePage - aligned);
    }
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void*>(aligned), n, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void dump_memory_free(void* p, size_t n) {
    if (p != nullptr) ::munmap(p, n);
}

}  // namespace velm
