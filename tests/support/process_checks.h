// The operating-system side of the in-process checks: how many files this process holds
// open, and standard output pointed at a file for one run of the tool.
#ifndef C6X_VELM_TESTS_SUPPORT_PROCESS_CHECKS_H
#define C6X_VELM_TESTS_SUPPORT_PROCESS_CHECKS_H

#include <cstdint>
#include <string>

namespace velm_check {

// Descriptors open in this process (Windows: handles, since Wine's own descriptors
// would be counted too). Only differences between two counts mean anything.
int open_descriptors();

// Points standard output at a new file at `path`, opened for reading only when
// `writable` is false (every write to standard output then fails). Returns what
// restore_stdout needs, or -1 when it could not.
intptr_t stdout_to_file(const std::string& path, bool writable = true);
void restore_stdout(intptr_t saved);

// The device that swallows all writes: /dev/null, NUL.
const char* null_device();
// True while the null device is still there and still a device.
bool null_device_intact();

}  // namespace velm_check

#endif
