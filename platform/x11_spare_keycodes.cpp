#include "platform/x11_spare_keycodes.h"

#include <X11/Xlib.h>

#include "platform/x11_connection.h"
#include "platform/x11_keymap.h"
#include "platform/x11_keys.h"
#include "platform/x11_spare_choice.h"

namespace {

constexpr int MAX_SPARES = 64;

spare_slot slots[MAX_SPARES];
int slot_count;
uint32_t use_clock;

int slot_of(uint8_t keycode) {
    for (int i = 0; i < slot_count; ++i) {
        if (slots[i].keycode == keycode) return i;
    }
    return -1;
}

void change_mapping(uint8_t keycode, uint32_t plain, uint32_t shifted) {
    KeySym keysyms[2] = {plain, shifted};
    XChangeKeyboardMapping(x11_display(), keycode, 2, keysyms, 1);
}

// Reads the keycode back: the reply comes after the change has been applied,
// so it tells whether the server made it. Returns the plain keysym found.
uint32_t read_back(uint8_t keycode) {
    int per_keycode = 0;
    KeySym* keysyms = XGetKeyboardMapping(x11_display(), keycode, 1, &per_keycode);
    uint32_t plain = 0;
    uint32_t shifted = 0;
    if (keysyms != nullptr) {
        plain = per_keycode > 0 ? static_cast<uint32_t>(keysyms[0]) : 0;
        shifted = per_keycode > 1 ? static_cast<uint32_t>(keysyms[1]) : 0;
        XFree(keysyms);
    }
    x11_keymap_store(keycode, plain, shifted);
    return plain;
}

} // namespace

void x11_spare_keycodes_refresh() {
    int kept = 0;
    for (int i = 0; i < slot_count; ++i) {
        spare_slot slot = slots[i];
        if (slot.bound && x11_keymap_keysym(slot.keycode, KEYMAP_PLAIN) != slot.plain) slot.bound = false;
        // A keycode the new keymap uses is no longer ours, unless we hold it down.
        if (!slot.bound && !x11_keymap_is_empty(slot.keycode) && !x11_keycode_is_down(slot.keycode)) continue;
        slots[kept++] = slot;
    }
    slot_count = kept;
    for (int keycode = 1; keycode < 256 && slot_count < MAX_SPARES; ++keycode) {
        const auto code = static_cast<uint8_t>(keycode);
        if (x11_keymap_is_empty(code) && slot_of(code) < 0) slots[slot_count++] = {code, false, 0, 0, 0};
    }
}

uint8_t x11_spare_bind(uint32_t plain, uint32_t shifted) {
    x11_keymap_update();
    const int index = choose_spare_slot(slots, slot_count, x11_keycodes_down());
    if (index < 0) return 0;
    spare_slot& slot = slots[index];
    if (x11_keycode_is_down(slot.keycode)) x11_release_keycode(slot.keycode); // never unbound while down
    change_mapping(slot.keycode, plain, shifted);
    slot.bound = read_back(slot.keycode) == plain;
    if (!slot.bound) return 0;
    slot.plain = plain;
    slot.shifted = shifted;
    slot.last_used = ++use_clock;
    return slot.keycode;
}

void x11_spare_touch(uint8_t keycode) {
    const int index = slot_of(keycode);
    if (index >= 0) slots[index].last_used = ++use_clock;
}

void x11_spare_unbind_all() {
    x11_keymap_update();
    for (int i = 0; i < slot_count; ++i) {
        spare_slot& slot = slots[i];
        if (x11_keycode_is_down(slot.keycode)) x11_release_keycode(slot.keycode);
        if (!slot.bound) continue;
        change_mapping(slot.keycode, 0, 0);
        slot.bound = false;
    }
    x11_round_trip();
}
