#pragma once
#include <cstdint>

// A program killed by SIGKILL cannot release what it holds. sway lets go of
// the keys of a keyboard whose client is gone, but not of a pointer's
// buttons: its button-down grab stays, and later clicks go to the window of
// the first press. A watchdog process, forked before the connection, waits
// for the program to end and, if a button was then down, connects and
// releases it.

/// Forks the watchdog; before the connection and the ready line. It holds
/// none of the controller's pipes, is in a session of its own (so a Ctrl+C
/// to the program's group does not reach it), writes nothing and exits by
/// itself once the program has ended.
void wayland_watchdog_start();

/// The buttons now down (a bit for each evdev code from BTN_LEFT), as the
/// watchdog would release them.
void wayland_watchdog_note_buttons(uint32_t mask);
