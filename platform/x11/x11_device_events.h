#pragma once
#include <cstdint>

// The device events the program sends through XTest, numbered in the order
// made. They go out at once, except while held: then they wait, in order,
// until the bindings they need have been made and have reached the reader.

/// Presses or releases a keycode; returns the event's number.
uint64_t x11_device_key(uint8_t keycode, bool press);
void x11_device_button(unsigned int button, bool press);
void x11_device_motion(int x, int y);
/// Locks the keyboard's group (0 to 3): the keys that follow are read in it.
void x11_device_lock_group(unsigned int group);

/// Holds every event from now on, until x11_device_send_held.
void x11_device_hold();
bool x11_device_holding();

/// Sends the held events in order, but the key events of dropped keycodes
/// (bindings the server did not make), and stops holding.
void x11_device_send_held(const bool* dropped_keycodes);

/// The number of the last event sent to the connection (0 for none): every
/// event up to it is ahead of any request made from now on.
uint64_t x11_device_sent();

/// Called when the held events fill their store: it must send them.
void x11_device_on_full(void (*full)());
