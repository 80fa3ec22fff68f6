// Interruption while an output is being written.
//
// Ctrl-C, SIGINT, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the
// console window) would otherwise end the process at once and leave a temporary or
// half-written file behind. While an output stream is open the tool catches them instead:
// the handler only notes the interrupt, and the output stream looks at the note between
// buffers and before it puts the finished file in place, so that the run can remove its
// file and end as "user terminated". Nothing else happens inside a handler.
//
// The handlers are installed for one output and the previous ones put back afterwards:
// tests and the fuzzer run the tool many times in one process. A signal that was ignored
// when the output was opened (nohup, a background job) stays ignored.
#ifndef C6X_VELM_PLATFORM_INTERRUPT_H
#define C6X_VELM_PLATFORM_INTERRUPT_H

namespace velm {

// Clears the note and installs the handlers. A second call before interrupt_release() does
// nothing.
void interrupt_catch();

// Puts the previous handlers back. On Windows it also lets a console-close handler that
// waits for the clean-up return, after which the system ends the process.
void interrupt_release();

// True when an interrupt arrived since the last interrupt_catch(). The note outlives
// interrupt_release(), so that the end of the run can still report it.
bool interrupted();

}  // namespace velm

#endif
