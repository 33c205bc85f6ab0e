#pragma once
#include <X11/Xlib.h>

// The program's one connection to the X server: opened and checked before the
// ready line, watched beside standard input, and fatal to the run when lost.

/// Opens $DISPLAY and checks for XTest; on failure writes one line on standard
/// error, naming the display and what is missing, and exits with code 1.
void x11_connect();

/// The open connection; valid after x11_connect.
Display* x11_display();

/// Handles the events Xlib has already read (keymap changes), without waiting.
void x11_handle_queued_events();

/// Sends what is buffered, then waits until fd has input, handling the
/// server's events meanwhile. A lost server ends the process.
void x11_wait_for_input(int fd);

/// A round trip: when it returns the server has processed every request sent.
void x11_round_trip();
