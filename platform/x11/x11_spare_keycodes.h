#pragma once
#include <cstdint>

// Keysyms that no keycode carries are bound, for as long as the run lasts or
// until a newer one needs the place, to keycodes that carry nothing.

/// The keys the program holds down (256 flags, one per keycode) and how it
/// lets one go: a spare keycode is never rebound while down. Set before any
/// other call.
void x11_spare_use_keys(const bool* down, void (*release)(uint8_t keycode));

/// Brings the spare keycodes in line with a freshly fetched keymap: bindings
/// the server lost are forgotten, newly empty keycodes join.
void x11_spare_keycodes_refresh();

/// A keycode that now carries plain and shifted, confirmed by the server
/// before this returns, or 0 when none can be had.
uint8_t x11_spare_bind(uint32_t plain, uint32_t shifted);

/// A keycode that now carries keysym on *level (KEYMAP_PLAIN or
/// KEYMAP_SHIFTED; a character of its own on the other level stays),
/// confirmed by the server before this returns, or 0 when none can be had.
uint8_t x11_spare_bind_level(uint32_t keysym, int* level);

/// Notes a press or release sent on a keycode, with or without Shift held: a
/// spare binding pressed is the last to go, and is replaced only once its
/// last event has had time to be handled.
void x11_spare_note_event(uint8_t keycode, bool press, bool shift);

/// Notes that every request so far has been sent: after each flush or round
/// trip of the connection.
void x11_spare_note_flush();

/// Releases every spare keycode still down and undoes every binding.
void x11_spare_unbind_all();
