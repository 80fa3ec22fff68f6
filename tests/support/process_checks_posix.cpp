#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/process_checks.h"

namespace velm_check {

int open_descriptors() {
    DIR* d = ::opendir("/proc/self/fd");
    if (d == nullptr) return -1;
    int n = 0;
    while (struct dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.') ++n;
    }
    ::closedir(d);
    return n - 1;  // the directory handle used to count them
}

intptr_t stdout_to_file(const std::string& path, bool writable) {
    int saved = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    int fd =
        ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (saved < 0 || fd < 0) {
        if (saved >= 0) ::close(saved);
        if (fd >= 0) ::close(fd);
        return -1;
    }
    ::dup2(fd, 1);
    ::close(fd);
    return saved;
}

void restore_stdout(intptr_t saved) {
    ::dup2(static_cast<int>(saved), 1);
    ::close(static_cast<int>(saved));
}

const char* null_device() {
    return "/dev/null";
}

bool null_device_intact() {
    struct stat st;
    return ::stat(null_device(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace velm_check
