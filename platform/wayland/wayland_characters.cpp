#include "platform/wayland/wayland_characters.h"

namespace {

uint32_t slot_keysym[CHARACTER_KEY_COUNT];
uint64_t slot_used[CHARACTER_KEY_COUNT]; // the use counter when last bound or pressed
int slot_down[CHARACTER_KEY_COUNT];
uint64_t use_counter;

// A free slot first, else the least recently used one that is up and was last
// used before `before`.
int choose_slot(uint64_t before) {
    int best = -1;
    for (int slot = 0; slot < static_cast<int>(CHARACTER_KEY_COUNT); ++slot) {
        if (slot_keysym[slot] == 0) return slot;
        if (slot_down[slot] > 0 || slot_used[slot] >= before) continue;
        if (best < 0 || slot_used[slot] < slot_used[best]) best = slot;
    }
    return best;
}

} // namespace

int characters_find(uint32_t keysym) {
    if (keysym == 0) return -1;
    for (int slot = 0; slot < static_cast<int>(CHARACTER_KEY_COUNT); ++slot) {
        if (slot_keysym[slot] == keysym) return slot;
    }
    return -1;
}

int characters_bind(uint32_t keysym, bool* changed) {
    *changed = false;
    int slot = characters_find(keysym);
    if (slot < 0) {
        slot = choose_slot(++use_counter);
        if (slot < 0) return -1;
        slot_keysym[slot] = keysym;
        *changed = true;
    }
    slot_used[slot] = ++use_counter;
    return slot;
}

bool characters_bind_all(const uint32_t* keysyms, size_t count) {
    // Everything this batch names is marked used first, so no binding of the
    // batch takes a slot another one of it is already on.
    const uint64_t batch = use_counter + 1;
    for (size_t i = 0; i < count; ++i) {
        const int slot = characters_find(keysyms[i]);
        if (slot >= 0) slot_used[slot] = ++use_counter;
    }
    bool changed = false;
    for (size_t i = 0; i < count; ++i) {
        if (keysyms[i] == 0 || characters_find(keysyms[i]) >= 0) continue;
        const int slot = choose_slot(batch);
        if (slot < 0) break; // the rest are bound when they are typed
        slot_keysym[slot] = keysyms[i];
        slot_used[slot] = ++use_counter;
        changed = true;
    }
    return changed;
}

void characters_note_down(int slot, bool down) {
    if (slot < 0 || slot >= static_cast<int>(CHARACTER_KEY_COUNT)) return;
    if (down) {
        ++slot_down[slot];
        slot_used[slot] = ++use_counter;
    } else if (slot_down[slot] > 0) {
        --slot_down[slot];
    }
}

const uint32_t* characters_keysyms() { return slot_keysym; }

void characters_reset() {
    for (size_t slot = 0; slot < CHARACTER_KEY_COUNT; ++slot) {
        slot_keysym[slot] = 0;
        slot_used[slot] = 0;
        slot_down[slot] = 0;
    }
    use_counter = 0;
}
