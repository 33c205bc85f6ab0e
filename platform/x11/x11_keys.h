#pragma once
#include <cstdint>

// Keyboard records become key presses and releases of X keycodes. The backend
// remembers which keycode each press went to, so the release reaches the same
// key even when the keymap has changed in between.

/// One keyboard record: a virtual-key code, or vk 0 with a UTF-16 unit and
/// KEYEVENTF_UNICODE; up for KEYEVENTF_KEYUP.
void x11_key_event(uint16_t vk, uint16_t unit, bool unicode, bool up);

/// Presses and releases the program sent, keycode by keycode.
void x11_press_keycode(uint8_t keycode);
void x11_release_keycode(uint8_t keycode);
bool x11_keycode_is_down(uint8_t keycode);
/// 256 flags, one per keycode.
const bool* x11_keycodes_down();

/// Releases every keycode the program still holds down: what the core's
/// releases cannot name, such as a Unicode character pressed and never let go.
void x11_release_pressed_keys();
