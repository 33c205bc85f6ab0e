#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// SIGKILL cannot be caught, so a second process watches the program: forked
// at start-up, it shares a pipe and a record of the keys and buttons held.
// When the pipe reaches its end (the program has gone) without a clean-exit
// mark, it releases what the record holds and undoes the program's bindings
// through its own connection. It keeps none of the controller's streams open,
// ignores the signals a terminal sends to the whole group, writes nothing and
// exits by itself.

/// Forks the watchdog; after x11_leftovers_start, before the ready line.
void x11_watchdog_start();

/// Notes a press before it is sent, a release after.
void x11_watchdog_note_key(uint8_t keycode, bool down);
void x11_watchdog_note_button(unsigned int button, bool down);

/// Notes the group the user had locked, and the group last locked for a
/// press, so that a run ended between the two puts the user's back.
void x11_watchdog_note_home_group(int group);
void x11_watchdog_note_locked_group(int group);

/// Records on the server what the record holds (x11_leftovers_note_down).
void x11_watchdog_publish_down();

/// Releases every key and button of the record that the server shows down,
/// and puts the user's group back if a press left another locked.
void x11_watchdog_release_recorded(Display* display);

/// The program has undone everything itself: the watchdog leaves it be.
void x11_watchdog_done();
