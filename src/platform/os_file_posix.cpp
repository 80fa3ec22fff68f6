#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/interrupt.h"
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

InOpen os_duplicate_input(OsFile held, OsFile* file) {
    struct stat st;
    if (::fstat(static_cast<int>(held), &st) != 0 || S_ISDIR(st.st_mode)) return InOpen::not_found;
    if (!S_ISREG(st.st_mode)) return InOpen::not_regular;
    int fd = ::fcntl(static_cast<int>(held), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return InOpen::not_found;
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

namespace {

// The one mapped input. A file that another program shortens while it is mapped raises
// SIGBUS when a page past its new end is touched; a read of those bytes would merely
// have come up short. The handler therefore puts zero-filled pages in the mapping's
// place and notes the loss, the faulting read goes on with zeros, and the run ends with
// a read error (os_map_intact). A SIGBUS anywhere else takes its usual course.
uintptr_t mapped = 0;
size_t mapped_length = 0;
volatile sig_atomic_t map_lost = 0;
struct sigaction bus_before;

void on_bus(int, siginfo_t* info, void*) {
    uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    if (mapped != 0 && at - mapped < mapped_length) {
        // mmap is a plain system call; MAP_FIXED swaps the pages in one step.
        void* zeros = ::mmap(reinterpret_cast<void*>(mapped), mapped_length, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            map_lost = 1;
            return;
        }
    }
    // Back to the action from before; returning repeats the fault under it.
    ::sigaction(SIGBUS, &bus_before, nullptr);
}

}  // namespace

const uint8_t* os_map_input(OsFile file, int64_t length) {
    if (mapped != 0 || length <= 0 || static_cast<uint64_t>(length) > SIZE_MAX) return nullptr;
    size_t n = static_cast<size_t>(length);
    void* p = ::mmap(nullptr, n, PROT_READ, MAP_PRIVATE, static_cast<int>(file), 0);
    if (p == MAP_FAILED) return nullptr;
    struct sigaction guard = {};
    guard.sa_sigaction = on_bus;
    guard.sa_flags = SA_SIGINFO;
    sigemptyset(&guard.sa_mask);
    mapped = reinterpret_cast<uintptr_t>(p);
    mapped_length = n;
    map_lost = 0;
    if (::sigaction(SIGBUS, &guard, &bus_before) != 0) {
        ::munmap(p, n);
        mapped = 0;
        return nullptr;
    }
    return static_cast<const uint8_t*>(p);
}

void os_unmap_input(const uint8_t* base, int64_t length) {
    if (base == nullptr || reinterpret_cast<uintptr_t>(base) != mapped) return;
    ::sigaction(SIGBUS, &bus_before, nullptr);
    ::munmap(const_cast<uint8_t*>(base), static_cast<size_t>(length));
    mapped = 0;
    mapped_length = 0;
}

bool os_map_intact() {
    return map_lost == 0;
}

namespace {

// `path` with the symbolic links of its last component followed, up to the limit the
// system itself applies; a link whose target does not exist yet gives that target.
// Links among the directories need no following: the temporary file is named through
// the same directories, so it lands in the same place.
std::string follow_links(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 256, '\0');
        ssize_t n;
        while ((n = ::readlink(path.c_str(), &link[0], link.size())) >= 0 &&
               static_cast<size_t>(n) == link.size()) {
            link.resize(link.size() * 2);
        }
        if (n <= 0) return path;
        link.resize(static_cast<size_t>(n));
        size_t slash = path.rfind('/');
        path =
            link[0] == '/' || slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
    }
    return path;
}

}  // namespace

OutFound os_find_output(const std::string& path, OsFile guard, OsFile* file, std::string* final) {
    // Opened for writing so that a file the user may not write is refused as before, but
    // neither created nor truncated.
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno != ENOENT) return OutFound::refused;
        *final = follow_links(path);
        return OutFound::none;
    }
    struct stat out_st;
    struct stat in_st;
    bool same = false;
    if (::fstat(fd, &out_st) != 0) {
        same = true;  // cannot tell, so never risk the input
    } else if (guard >= 0 && ::fstat(static_cast<int>(guard), &in_st) == 0) {
        same = in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino;
    }
    if (same) {
        ::close(fd);
        return OutFound::refused;
    }
    *file = fd;
    if (!S_ISREG(out_st.st_mode)) return OutFound::device;
    *final = follow_links(path);
    return OutFound::file;
}

OsFile os_create_temp(const std::string& final, OsFile like, std::string* temp) {
    static unsigned long serial = 0;  // tells apart the runs of one process
    size_t slash = final.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : final.substr(0, slash + 1);
    std::string name = final.substr(dir.size());
    std::string stem = dir + "." + name + ".c6x_velm-" + std::to_string(::getpid()) + "-";
    struct stat st;
    bool keep_mode = like >= 0 && ::fstat(static_cast<int>(like), &st) == 0;
    // A name may be left by a killed process whose id has come round again: count past it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + std::to_string(serial++) + ".tmp";
        int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return kNoFile;
        }
        if (keep_mode && ::fchmod(fd, st.st_mode & 0777) != 0) {
            ::close(fd);
            ::unlink(candidate.c_str());
            return kNoFile;
        }
        *temp = candidate;
        return fd;
    }
    return kNoFile;
}

bool os_truncate(OsFile file) {
    return ::ftruncate(static_cast<int>(file), 0) == 0;
}

OsFile os_create_output(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    return fd < 0 ? kNoFile : fd;
}

bool os_replace(const std::string& temp, const std::string& final, bool) {
    return ::rename(temp.c_str(), final.c_str()) == 0;
}

void os_remove(const std::string& path) {
    ::unlink(path.c_str());
}

bool os_write(OsFile file, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(static_cast<int>(file), p, n);
        if (w < 0) {
            // Only a write blocked on a pipe or terminal is interrupted; after an interrupt
            // the tool is on its way out and does not wait for the reader.
            if (errno == EINTR && !interrupted()) continue;
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
