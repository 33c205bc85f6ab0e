#include "keyboard/key_commands.h"
#include "keyboard/key_record.h"
#include "keyboard/modifier_chords.h"

void key_down(uint32_t vk, uint32_t mods, uint32_t ch) {
    const auto key = static_cast<uint16_t>(vk);
    const uint32_t own = key_modifier_bit(key);
    const uint32_t chord = mods & ~(chord_modifiers | held_modifiers) & ~own;
    if (chord != 0) {
        press_modifiers(chord, true);
        chord_modifiers |= chord;
    }
    if (own != 0) {
        // Pressed as a key in its own right, the modifier is no longer the
        // chord's to release.
        held_modifiers |= own;
        chord_modifiers &= ~own;
    }
    send_key_record(key, static_cast<uint16_t>(ch), false);
}

void key_up(uint32_t vk, uint32_t mods, uint32_t ch) {
    const auto key = static_cast<uint16_t>(vk);
    const uint32_t own = key_modifier_bit(key);
    const uint32_t named = mods & ~own;
    send_key_record(key, static_cast<uint16_t>(ch), true);
    if (own != 0) {
        held_modifiers &= ~own;
        chord_modifiers &= ~own;
    }
    // Only what a chord pressed goes up; a modifier held as a key stays down.
    const uint32_t release = named & chord_modifiers & ~held_modifiers;
    if (release != 0) {
        press_modifiers(release, false);
        chord_modifiers &= ~release;
    }
}
