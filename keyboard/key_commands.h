#pragma once
#include <cstdint>

// The three key commands. vk and ch count by their low 16 bits; ch names a
// UTF-16 code unit and is used only when vk is 0. mods counts with all 32 bits.

/// Presses and releases one key inside a chord of the modifiers not yet down.
void key_tap(uint32_t vk, uint32_t mods, uint32_t ch);
/// Presses the chord's missing modifiers, then the key, which stays down.
void key_down(uint32_t vk, uint32_t mods, uint32_t ch);
/// Releases the key, then the modifiers of the mask that a chord pressed.
void key_up(uint32_t vk, uint32_t mods, uint32_t ch);
