#include "keyboard/held_keys.h"

uint16_t held_keys[HELD_KEYS_CAPACITY];
int32_t held_key_count;

namespace {

int32_t slot_of(uint16_t vk) {
    for (int32_t slot = 0; slot < held_key_count; ++slot) {
        if (held_keys[slot] == vk) return slot;
    }
    return -1;
}

} // namespace

void add_held_key(uint16_t vk) {
    if (slot_of(vk) >= 0) return;
    if (held_key_count == HELD_KEYS_CAPACITY) return;
    held_keys[held_key_count] = vk;
    ++held_key_count;
}

void remove_held_key(uint16_t vk) {
    const int32_t slot = slot_of(vk);
    if (slot < 0) return;
    --held_key_count;
    held_keys[slot] = held_keys[held_key_count];
}
