#pragma once
#include <cstdint>

// Which spare keycode a keysym that no key carries is bound to: one never
// used first, then the least recently used one that is not held down, so that
// a text reuses its bindings instead of remapping the keyboard per character.

struct spare_slot {
    uint8_t keycode;
    bool bound;         // carries the binding below now
    uint32_t plain;     // the keysym bound, unshifted
    uint32_t shifted;   // and shifted
    uint32_t last_used; // a use counter; 0 for never
};

/// The index of the slot to bind next, or -1 when there is no slot. A slot
/// that is held down is taken only when every slot is; the caller releases it.
int choose_spare_slot(const spare_slot* slots, int count, const bool* keycode_down);
