#pragma once
#include <cstdint>

// X applications on the same desktop (through Xwayland) read a key event with
// their own copy of the X keymap, fetched when they get to the event, while
// Xwayland applies each keymap we upload as soon as it arrives. So when the
// focus is an X window, a binding is replaced only once that application has
// read every key sent with it, and a new binding is pressed only once it has
// taken in the keymap: asked as the X11 program asks (a _NET_WM_PING), or by
// a time bound for an application that cannot answer. With the focus on a
// native window, no $DISPLAY or no Xwayland running, none of this waits. The
// connection is opened when first needed, and only to a running Xwayland.

/// A key event sent (for the time bound of readers that cannot answer).
void xwayland_note_key();

/// Before a keymap that replaces a binding pressed since the last
/// confirmation: waits until the focused X application has read every key
/// sent so far. False when the focus is not an X window (nothing waited for).
bool xwayland_confirm_read();

/// After a keymap upload in which character key `keycode` now types
/// `keysym`: waits until Xwayland has applied it and the focused X
/// application has taken it in.
void xwayland_confirm_keymap(uint8_t keycode, uint32_t keysym);
