#include "platform/io_hooks.h"

#ifdef VELM_FAULT_INJECTION

namespace velm {

namespace {
constexpr int kOps = static_cast<int>(IoOp::count);
long counts[kOps];
IoOp armed_op = IoOp::count;
long armed_n = 0;
void (*armed_instead)() = nullptr;
}  // namespace

bool io_fail_now(IoOp op) {
    long n = ++counts[static_cast<int>(op)];
    if (op != armed_op || n != armed_n) return false;
    if (armed_instead == nullptr) return true;
    armed_instead();
    return false;
}

void io_fail_arm(IoOp op, long n, void (*instead)()) {
    for (long& c : counts) c = 0;
    armed_op = n > 0 ? op : IoOp::count;
    armed_n = n;
    armed_instead = instead;
}

long io_count(IoOp op) {
    return counts[static_cast<int>(op)];
}

}  // namespace velm

#endif
