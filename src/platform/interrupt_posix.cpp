#include <signal.h>

#include <cstddef>

#include "platform/interrupt.h"

namespace velm {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kCount = sizeof kSignals / sizeof kSignals[0];

// A console that is a pipe whose reader has gone (`c6x_velm ... | head -1`) would raise
// SIGPIPE at the next progress line and end the process with its temporary file left
// behind. While an output is open, SIGPIPE is ignored instead: the console write fails,
// which the run does not report, and the image is finished and put in place.
struct sigaction saved_pipe;
bool replaced_pipe = false;

volatile sig_atomic_t note = 0;
struct sigaction saved[kCount];
bool replaced[kCount];
bool active = false;

void on_signal(int) {
    note = 1;
}

}  // namespace

void interrupt_catch() {
    if (active) return;
    active = true;
    note = 0;
    struct sigaction act = {};
    act.sa_handler = on_signal;
    sigemptyset(&act.sa_mask);
    // No SA_RESTART: a write blocked on a pipe or a device then returns, and the note is
    // seen.
    act.sa_flags = 0;
    for (size_t i = 0; i < kCount; ++i) {
        replaced[i] = false;
        struct sigaction old;
        if (::sigaction(kSignals[i], nullptr, &old) != 0) continue;
        if ((old.sa_flags & SA_SIGINFO) == 0 && old.sa_handler == SIG_IGN) continue;
        replaced[i] = ::sigaction(kSignals[i], &act, &saved[i]) == 0;
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    replaced_pipe = ::sigaction(SIGPIPE, &ignore, &saved_pipe) == 0;
}

void interrupt_release() {
    if (!active) return;
    for (size_t i = 0; i < kCount; ++i) {
        if (replaced[i]) ::sigaction(kSignals[i], &saved[i], nullptr);
    }
    if (replaced_pipe) ::sigaction(SIGPIPE, &saved_pipe, nullptr);
    active = false;
}

bool interrupted() {
    return note != 0;
}

}  // namespace velm
