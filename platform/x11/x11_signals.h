#pragma once

// SIGTERM, SIGINT and SIGHUP end the run promptly, but never from inside the
// handler: it only notes the signal and wakes the waits, and the program ends
// at its next event or wait, where the connection is in a known state.

/// Installs the handlers; what to call, once, when a signal has come.
void x11_signals_install(void (*end)(int signal_number));

/// A descriptor that becomes readable when a signal has come, for poll.
int x11_signals_fd();

/// Ends the run now (through the installed call) when a signal has come.
void x11_signals_check();

/// Ends the process as the signal's default action would, so the parent sees
/// that it was the signal.
[[noreturn]] void x11_signals_reraise(int signal_number);
