#pragma once
#include <cstddef>
#include <cstdint>

// Keyboard records become key events of the program's own keymap: virtual-key
// codes on their US keys, characters on the US key that types them or on a
// character key bound to them. Modifiers go to the compositor as the keymap's
// state says after each event.

/// Uploads the first keymap; before the ready line.
void wayland_keys_start();

/// One keyboard record: a virtual-key code, or vk 0 with a UTF-16 unit and
/// KEYEVENTF_UNICODE; up for KEYEVENTF_KEYUP.
void wayland_key_event(uint16_t vk, uint16_t unit, bool unicode, bool up);

/// Binds, in one keymap, the characters that the Unicode key lines of a chunk
/// of input will type, so that a text needs few uploads.
void wayland_keys_prepare(const char* chunk, size_t length);

/// Releases every key the program still holds down: what the core's releases
/// cannot name, such as a Unicode character pressed and never let go.
void wayland_release_pressed_keys();
