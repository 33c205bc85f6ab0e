#pragma once
#include <cstddef>
#include <cstdint>

// Which X keysym each virtual-key code stands for: what the key types on a US
// Windows layout, named as X names it. Letters are their lower-case keysym, so
// the key that carries "a" on the current keymap is the one pressed for A.

struct vk_keysym {
    uint16_t vk;
    uint32_t keysym;
    const char* name; // the keysym's X name, so a test can check the two agree
};

/// The keysym of a virtual-key code, or 0 for a code with no X meaning.
uint32_t vk_to_keysym(uint16_t vk);

/// Every row of the table, for the tests.
const vk_keysym* vk_keysym_table(size_t* count);
