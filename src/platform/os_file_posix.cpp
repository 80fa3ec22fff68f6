#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os_file.h"

namespace velm {

InOpen os_open_input(const std::string& path, OsFile* file) {
    // The type is checked before opening: opening a FIFO for reading would block.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return InOpen::not_found;
    if (!S_ISREG(st.st_mode)) return InOpen::not_regular;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return InOpen::not_found;
    // The name may have been replaced between the two looks: the open file decides.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        bool dir = S_ISDIR(st.st_mode);
        ::close(fd);
        return dir ? InOpen::not_found : InOpen::not_regular;
    }
    *file = fd;
    return InOpen::ok;
}

int64_t os_file_size(OsFile file) {
    struct stat st;
    if (::fstat(static_cast<int>(file), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t os_read_at(OsFile file, void* dest, int64_t n, int64_t offset) {
    unsigned char* out = static_cast<unsigned char*>(dest);
    int64_t got = 0;
    while (got < n) {
        ssize_t r =
            ::pread(static_cast<int>(file), out + got, static_cast<size_t>(n - got), offset + got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += r;
    }
    return got;
}

void os_close(OsFile file) {
    ::close(static_cast<int>(file));
}

OsFile os_open_output(const std::string& path, OsFile guard, bool* regular) {
    // Opened without O_TRUNC: the same-file check must come before anything is lost.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return kNoFile;
    struct stat out_st;
    struct stat in_st;
    bool same = false;
    if (::fstat(fd, &out_st) != 0) {
        same = true;  // cannot tell, so never risk the input
    } else if (guard >= 0 && ::fstat(static_cast<int>(guard), &in_st) == 0) {
        same = in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino;
    }
    *regular = !same && S_ISREG(out_st.st_mode);
    if (same || (*regular && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return kNoFile;
    }
    return fd;
}

bool os_write(OsFile file, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(static_cast<int>(file), p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (w == 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool os_close_output(OsFile file, const std::string& path, bool regular, bool discard) {
    bool closed = ::close(static_cast<int>(file)) == 0;
    if (regular && (discard || !closed)) ::unlink(path.c_str());
    return closed;
}

OsFile os_stdout() {
    return STDOUT_FILENO;
}

}  // namespace velm
