#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// The program's one connection to the X server: opened and checked before the
// ready line, watched beside standard input, and fatal to the run when lost.

/// What is called with each event the server sends (keymap changes).
using x11_event_handler = void (*)(XEvent* event);

/// Opens $DISPLAY, checks for XTest and asks for the keyboard extension's
/// keymap changes, which go to handle_event with the core ones. On failure
/// writes one line on standard error, naming the display and what is missing,
/// and exits with code 1.
void x11_connect(x11_event_handler handle_event);

/// The open connection; valid after x11_connect.
Display* x11_display();

/// The type of the keyboard extension's events, or -1 when they are not watched.
int x11_xkb_event_base();

/// Handles the events Xlib has already read, without waiting.
void x11_handle_queued_events();

/// Sends what is buffered, then waits until fd has input, handling the
/// server's events meanwhile. A lost server ends the process.
void x11_wait_for_input(int fd);

/// Sends what is buffered, then handles the server's events until done()
/// says so or timeout_us has passed; returns done(). A lost server ends the
/// process.
bool x11_wait_until(bool (*done)(), uint64_t timeout_us);

/// A round trip: when it returns the server has processed every request sent.
void x11_round_trip();
