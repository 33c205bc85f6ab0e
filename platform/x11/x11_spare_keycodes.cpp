#include "platform/x11/x11_spare_keycodes.h"

#include <X11/Xlib.h>
#include <ctime>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_keymap.h"
#include "platform/x11/x11_spare_choice.h"

namespace {

constexpr int MAX_SPARES = 64;

spare_slot slots[MAX_SPARES];
int pressed_level[MAX_SPARES]; // the level the key's last press was read at
int slot_count;
uint32_t use_clock;
uint64_t flushed_us;  // when the request buffer was last known sent
bool repeat_off[256]; // spare keycodes whose auto-repeat this program turned off
bool repeats_saved;
char saved_repeats[32]; // the server's per-key auto-repeat bits before that
const bool* keys_down;
void (*release_key)(uint8_t keycode);

uint64_t now_us() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000U + static_cast<uint64_t>(now.tv_nsec) / 1000U;
}

void sleep_us(uint64_t duration) {
    timespec wait{static_cast<time_t>(duration / 1000000U), static_cast<long>(duration % 1000000U) * 1000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

int slot_of(uint8_t keycode) {
    for (int i = 0; i < slot_count; ++i) {
        if (slots[i].keycode == keycode) return i;
    }
    return -1;
}

// Sends what is buffered. An event queued since the last known flush leaves
// only now, so its hold counts from now.
void flush_events() {
    XFlush(x11_display());
    const uint64_t now = now_us();
    for (int i = 0; i < slot_count; ++i) {
        for (spare_level& level : slots[i].level) {
            if (level.last_event_us > flushed_us) level.last_event_us = now;
        }
    }
    flushed_us = now;
}

void set_auto_repeat(uint8_t keycode, bool on) {
    XKeyboardControl control{};
    control.key = keycode;
    control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
    XChangeKeyboardControl(x11_display(), KBKey | KBAutoRepeatMode, &control);
}

// A key held down repeats by the server's own auto-repeat, read at the level
// of the modifiers then: a character bound on the shifted level would repeat
// as the plain one, and the Windows program's held key never repeats at all.
// A spare keycode in use therefore does not repeat.
void stop_auto_repeat(uint8_t keycode) {
    if (repeat_off[keycode]) return;
    if (!repeats_saved) {
        XKeyboardState state{};
        XGetKeyboardControl(x11_display(), &state);
        for (int i = 0; i < 32; ++i) saved_repeats[i] = state.auto_repeats[i];
        repeats_saved = true;
    }
    set_auto_repeat(keycode, false);
    repeat_off[keycode] = true;
}

void restore_auto_repeat(uint8_t keycode) {
    if (!repeat_off[keycode]) return;
    set_auto_repeat(keycode, ((static_cast<unsigned>(saved_repeats[keycode / 8]) >> (keycode % 8)) & 1U) != 0);
    repeat_off[keycode] = false;
}

void change_mapping(uint8_t keycode, uint32_t plain, uint32_t shifted) {
    KeySym keysyms[2] = {plain, shifted};
    XChangeKeyboardMapping(x11_display(), keycode, 2, keysyms, 1);
}

// Reads the keycode back: the reply comes after the change has been applied,
// so it tells whether the server made it. The notifications of the change
// that came before the reply are covered by it. A shifted level asked empty
// may come back filled with the capital of the plain keysym, as the server's
// keyboard extension completes a letter; the slot records what the key shows.
bool bind_and_read_back(spare_slot& slot, uint32_t plain, uint32_t shifted) {
    stop_auto_repeat(slot.keycode);
    change_mapping(slot.keycode, plain, shifted);
    int per_keycode = 0;
    KeySym* keysyms = XGetKeyboardMapping(x11_display(), slot.keycode, 1, &per_keycode);
    uint32_t read_plain = 0;
    uint32_t read_shifted = 0;
    if (keysyms != nullptr) {
        read_plain = per_keycode > 0 ? static_cast<uint32_t>(keysyms[0]) : 0;
        read_shifted = per_keycode > 1 ? static_cast<uint32_t>(keysyms[1]) : 0;
        XFree(keysyms);
    }
    flushed_us = now_us();
    x11_keymap_store(slot.keycode, read_plain, read_shifted);
    x11_keymap_covered(slot.keycode);
    const bool made = read_plain == plain && (shifted == 0 || read_shifted == shifted);
    for (int level = SPARE_PLAIN; level <= SPARE_SHIFTED; ++level) {
        spare_level& bound = slot.level[level];
        const uint32_t keysym = !made ? 0 : level == SPARE_PLAIN ? read_plain : read_shifted;
        if (keysym != 0 && bound.keysym != keysym) bound.last_used = ++use_clock; // new, so not the next to go
        bound.keysym = keysym;
    }
    return made;
}

// Makes the key carry plain and shifted; false (and the binding forgotten)
// when the server did not take it.
bool bind(spare_slot& slot, uint32_t plain, uint32_t shifted) {
    if (keys_down[slot.keycode]) release_key(slot.keycode); // never unbound while down
    flush_events();
    const uint64_t wait = spare_change_wait_us(slot, plain, shifted, now_us());
    if (wait > 0) sleep_us(wait);
    return bind_and_read_back(slot, plain, shifted);
}

} // namespace

void x11_spare_use_keys(const bool* down, void (*release)(uint8_t keycode)) {
    keys_down = down;
    release_key = release;
}

void x11_spare_keycodes_refresh() {
    int kept = 0;
    for (int i = 0; i < slot_count; ++i) {
        spare_slot slot = slots[i];
        const int level = pressed_level[i];
        // A binding the keymap no longer shows was undone by someone else.
        if (x11_keymap_keysym(slot.keycode, KEYMAP_PLAIN) != slot.level[SPARE_PLAIN].keysym ||
            x11_keymap_keysym(slot.keycode, KEYMAP_SHIFTED) != slot.level[SPARE_SHIFTED].keysym) {
            slot.level[SPARE_PLAIN].keysym = 0;
            slot.level[SPARE_SHIFTED].keysym = 0;
        }
        // A keycode the new keymap uses is no longer ours, unless we hold it down.
        const bool ours = slot.level[SPARE_PLAIN].keysym != 0 || slot.level[SPARE_SHIFTED].keysym != 0;
        if (!ours && !x11_keymap_is_empty(slot.keycode) && !keys_down[slot.keycode]) {
            restore_auto_repeat(slot.keycode);
            continue;
        }
        pressed_level[kept] = level;
        slots[kept++] = slot;
    }
    slot_count = kept;
    for (int keycode = 1; keycode < 256 && slot_count < MAX_SPARES; ++keycode) {
        const auto code = static_cast<uint8_t>(keycode);
        if (!x11_keymap_is_empty(code) || slot_of(code) >= 0) continue;
        pressed_level[slot_count] = SPARE_PLAIN;
        slots[slot_count++] = spare_slot{code, {}};
    }
}

uint8_t x11_spare_bind(uint32_t plain, uint32_t shifted) {
    x11_keymap_update();
    const int index = choose_spare_slot(slots, slot_count, keys_down);
    if (index < 0) return 0;
    spare_slot& slot = slots[index];
    return bind(slot, plain, shifted) ? slot.keycode : 0;
}

uint8_t x11_spare_bind_level(uint32_t keysym, int* level) {
    x11_keymap_update();
    flush_events(); // the holds count from when the events left
    const spare_pick pick = choose_spare_level(slots, slot_count, keys_down, now_us());
    if (pick.slot < 0) return 0;
    spare_slot& slot = slots[pick.slot];
    const spare_binding binding = spare_level_binding(slot, pick.level, keysym);
    if (!bind(slot, binding.plain, binding.shifted)) return 0;
    *level = pick.level == SPARE_PLAIN ? KEYMAP_PLAIN : KEYMAP_SHIFTED;
    return slot.keycode;
}

void x11_spare_note_event(uint8_t keycode, bool press, bool shift) {
    const int index = slot_of(keycode);
    if (index < 0) return;
    const int level = shift ? SPARE_SHIFTED : SPARE_PLAIN;
    const uint64_t now = now_us();
    if (press) {
        pressed_level[index] = level;
        slots[index].level[level].last_used = ++use_clock;
    }
    // A release is read at the level of its own modifiers; its press was read at another, perhaps.
    slots[index].level[level].last_event_us = now;
    slots[index].level[pressed_level[index]].last_event_us = now;
}

void x11_spare_note_flush() { flushed_us = now_us(); }

void x11_spare_unbind_all() {
    x11_keymap_update();
    for (int i = 0; i < slot_count; ++i) {
        if (keys_down[slots[i].keycode]) release_key(slots[i].keycode);
    }
    flush_events();
    for (int i = 0; i < slot_count; ++i) {
        spare_slot& slot = slots[i];
        if (slot.level[SPARE_PLAIN].keysym == 0 && slot.level[SPARE_SHIFTED].keysym == 0) continue;
        // The last characters typed are read with their bindings.
        const uint64_t wait = spare_change_wait_us(slot, 0, 0, now_us());
        if (wait > 0) sleep_us(wait);
        change_mapping(slot.keycode, 0, 0);
        slot.level[SPARE_PLAIN].keysym = 0;
        slot.level[SPARE_SHIFTED].keysym = 0;
    }
    for (int keycode = 0; keycode < 256; ++keycode) restore_auto_repeat(static_cast<uint8_t>(keycode));
    x11_round_trip();
    flushed_us = now_us();
}
