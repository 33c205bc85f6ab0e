#pragma once
#include <cstdint>

// Keysyms that no keycode carries are bound, for as long as the run lasts or
// until a newer one needs the place, to keycodes that carry nothing.

/// Brings the spare keycodes in line with a freshly fetched keymap: bindings
/// the server lost are forgotten, newly empty keycodes join.
void x11_spare_keycodes_refresh();

/// A keycode that now carries plain (and shifted), confirmed by the server
/// before this returns, or 0 when none can be had.
uint8_t x11_spare_bind(uint32_t plain, uint32_t shifted);

/// Notes a use of a keycode, so a spare one in use is the last to go.
void x11_spare_touch(uint8_t keycode);

/// Releases every spare keycode still down and undoes every binding.
void x11_spare_unbind_all();
