#include "keyboard/key_commands.h"
#include "keyboard/key_record.h"
#include "keyboard/modifier_chords.h"

void key_tap(uint32_t vk, uint32_t mods, uint32_t ch) {
    const auto key = static_cast<uint16_t>(vk);
    const auto unit = static_cast<uint16_t>(ch);
    const uint32_t chord = mods & ~(held_modifiers | chord_modifiers) & ~key_modifier_bit(key);
    if (chord != 0) press_modifiers(chord, true);
    send_key_record(key, unit, false);
    send_key_record(key, unit, true);
    if (chord != 0) press_modifiers(chord, false);
}
