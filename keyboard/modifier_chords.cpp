#include "keyboard/modifier_chords.h"

#include "keyboard/key_record.h"

uint32_t chord_modifiers;
uint32_t held_modifiers;

namespace {

struct modifier_key {
    uint32_t bit;
    uint16_t vk;
};

// The order of this table is the order in which chords go down and up.
constexpr modifier_key MODIFIER_KEYS[] = {
    {MODIFIER_CTRL, VK_CONTROL},
    {MODIFIER_ALT, VK_MENU},
    {MODIFIER_SHIFT, VK_SHIFT},
    {MODIFIER_WIN, VK_LWIN},
};

} // namespace

uint32_t key_modifier_bit(uint16_t vk) {
    switch (vk) {
    case 17:
    case 162:
    case 163: return MODIFIER_CTRL;
    case 18:
    case 164:
    case 165: return MODIFIER_ALT;
    case 16:
    case 160:
    case 161: return MODIFIER_SHIFT;
    case 91:
    case 92: return MODIFIER_WIN;
    default: return 0;
    }
}

void press_modifiers(uint32_t mask, bool down) {
    for (const modifier_key& modifier : MODIFIER_KEYS) {
        if ((mask & modifier.bit) != 0) send_key_record(modifier.vk, 0, !down);
    }
}
