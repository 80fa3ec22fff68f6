#include <windows.h>

#include <atomic>

#include "platform/interrupt.h"

namespace velm {

namespace {

std::atomic<bool> note{false};
std::atomic<bool> released{true};
bool active = false;

// Runs on a thread of its own. Ctrl-C and Ctrl-Break are only noted. After a close (the
// console window, or the system shutting down) the system ends the process as soon as
// the handler returns, and at the latest after about five seconds: the handler waits,
// up to four, for the main thread to remove its file and release the handlers.
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            note = true;
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            note = true;
            for (int waited = 0; !released && waited < 4000; waited += 10) ::Sleep(10);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void interrupt_catch() {
    if (active) return;
    active = true;
    note = false;
    released = false;
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

void interrupt_release() {
    if (!active) return;
    released = true;
    ::SetConsoleCtrlHandler(on_console_event, FALSE);
    active = false;
}

bool interrupted() {
    return note;
}

}  // namespace velm
