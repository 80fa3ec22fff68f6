// Fault injection for the platform layer's I/O operations.
//
// The normal build compiles every hook to `false`. The test-only build
// (VELM_FAULT_INJECTION) counts each operation and fails the N-th one of a kind on
// request, so tests can walk a failure over every I/O call of a run.
#ifndef C6X_VELM_PLATFORM_IO_HOOKS_H
#define C6X_VELM_PLATFORM_IO_HOOKS_H

namespace velm {

// in_map: mapping the input (a failure falls back to reading it); out_open: finding the
// output (the -2030 checks); out_temp: making the temporary file (a failure falls back to
// writing in place); out_rename: putting it in the output's place.
enum class IoOp {
    in_open,
    in_read,
    in_seek,
    in_map,
    out_open,
    out_temp,
    out_write,
    out_close,
    out_rename,
    count
};

#ifdef VELM_FAULT_INJECTION
// Counts one call of `op`; true when this call is the one armed to fail.
bool io_fail_now(IoOp op);
// Arms the n-th call (from 1) of `op` to fail; 0 disarms. Resets all counters. Given
// `instead`, the n-th call runs it and then goes ahead without failing: a test raises an
// interrupt at an exact point of a run this way.
void io_fail_arm(IoOp op, long n, void (*instead)() = nullptr);
// Calls of `op` counted since the last arm.
long io_count(IoOp op);
#else
inline bool io_fail_now(IoOp) {
    return false;
}
#endif

}  // namespace velm

#endif
