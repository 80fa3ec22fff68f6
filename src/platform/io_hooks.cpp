#include "platform/io_hooks.h"

#ifdef VELM_FAULT_INJECTION

namespace velm {

namespace {
constexpr int kOps = static_cast<int>(IoOp::count);
long counts[kOps];
IoOp armed_op = IoOp::count;
long armed_n = 0;
}  // namespace

bool io_fail_now(IoOp op) {
    long n = ++counts[static_cast<int>(op)];
    return op == armed_op && n == armed_n;
}

void io_fail_arm(IoOp op, long n) {
    for (long& c : counts) c = 0;
    armed_op = n > 0 ? op : IoOp::count;
    armed_n = n;
}

long io_count(IoOp op) {
    return counts[static_cast<int>(op)];
}

}  // namespace velm

#endif
