#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// A copy of the server's keyboard mapping (the first two columns: the plain
// and the shifted keysym). The keycodes the server announces as changed are
// fetched again when next needed, never kept across a change.

constexpr int KEYMAP_PLAIN = 0;
constexpr int KEYMAP_SHIFTED = 1;

/// Notes the changes an event from the server announces (the connection's
/// event handler).
void x11_keymap_handle_event(XEvent* event);

/// What is called after each fetch, once the copy is up to date.
void x11_keymap_on_fetch(void (*fetched)());

/// Drops the copy; the next look-up fetches the whole mapping again.
void x11_keymap_invalidate();

/// Drops the copy of count keycodes from first on; the next look-up fetches them.
void x11_keymap_invalidate_range(int first, int count);

/// Handles the changes announced so far and fetches what is stale.
void x11_keymap_update();

/// The first keycode whose column carries keysym, or 0; updates the copy first.
uint8_t x11_keymap_find(uint32_t keysym, int column);

/// The keysym in a keycode's column (0 for none), as of the last update.
uint32_t x11_keymap_keysym(uint8_t keycode, int column);

/// True when a keycode carries no keysym in any column, as of the last update.
bool x11_keymap_is_empty(uint8_t keycode);

/// Records a change the program has just made and read back itself.
void x11_keymap_store(uint8_t keycode, uint32_t plain, uint32_t shifted);

/// Handles the announcements queued now, those of changes within first..last
/// excepted: they came before the read-back of those keycodes just stored, so
/// it covers them.
void x11_keymap_covered(int first, int last);
