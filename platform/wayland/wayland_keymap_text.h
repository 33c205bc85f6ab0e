#pragma once
#include <cstddef>
#include <cstdint>

// The XKB keymap the program uploads to its virtual keyboard: a US layout on
// the evdev codes of a PC keyboard for the virtual-key codes, and a set of
// character keys, each of one level, that any character can be bound to.

constexpr uint32_t XKB_KEYCODE_OFFSET = 8; // XKB keycode = evdev code + 8

/// How many character keys the keymap has.
constexpr size_t CHARACTER_KEY_COUNT = 28;

/// The XKB keycode of a virtual-key code's key, or 0 for a code with none.
uint8_t keymap_vk_keycode(uint16_t vk);

/// A key of the US part that types keysym: its XKB keycode (0 for none), and
/// through *shifted whether it does so with Shift.
uint8_t keymap_keysym_keycode(uint32_t keysym, bool* shifted);

/// The XKB keycode of character key `slot` (0 .. CHARACTER_KEY_COUNT - 1).
uint8_t keymap_character_keycode(size_t slot);

/// Writes the keymap text with character key i bound to keysyms[i] (0: no
/// keysym), NUL-terminated; returns its length without the NUL, or 0 when it
/// does not fit.
size_t keymap_write_text(char* buffer, size_t capacity, const uint32_t* keysyms);
