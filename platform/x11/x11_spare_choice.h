#pragma once
#include <cstdint>

// Where a keysym that no key carries is bound, and when. A spare keycode (one
// the keymap leaves empty) carries up to two bindings, plain and shifted; a
// text reuses its bindings, the least recently used going first, instead of
// remapping the keyboard once per character.
//
// A client reads a key event with the keymap it holds when it gets to the
// event. Changing a binding whose last press or release a client has not yet
// handled makes it read the new keysym, so a binding is replaced only after
// its last event has had SPARE_REBIND_HOLD_US to be handled. The other level
// of the key keeps its keysym across the change, so its recent events stay
// right.

constexpr uint64_t SPARE_REBIND_HOLD_US = 30000;

constexpr int SPARE_PLAIN = 0;
constexpr int SPARE_SHIFTED = 1;

struct spare_level {
    uint32_t keysym;        // bound at this level now; 0 for none
    uint32_t last_used;     // a use counter of its presses; 0 for never
    uint64_t last_event_us; // when an event read at this level was last sent; 0 for never
};

struct spare_slot {
    uint8_t keycode;
    spare_level level[2]; // SPARE_PLAIN, SPARE_SHIFTED
};

struct spare_pick {
    int slot;  // -1 when there is none
    int level; // SPARE_PLAIN or SPARE_SHIFTED
};

/// Where to bind a keysym on one level, at now_us: a free plain level; else
/// the least recently used plain level if it can change at once; else a free
/// shifted level (spare_shifted_is_free); else the least recently used level,
/// which may have to wait.
/// Plain levels come first as they need no Shift around the press. A key held
/// down is taken only when every key is; the caller releases it.
spare_pick choose_spare_level(const spare_slot* slots, int count, const bool* keycode_down, uint64_t now_us);

struct spare_binding {
    uint32_t plain;
    uint32_t shifted;
};

/// What the key of slot carries once keysym is bound on level. A shifted
/// level with nothing of its own repeats the plain keysym: the key then types
/// the same with Shift or Caps Lock, where an empty shifted level would let the
/// server give a letter its capital there.
spare_binding spare_level_binding(const spare_slot& slot, int level, uint32_t keysym);

/// True when the shifted level of slot carries nothing of its own.
bool spare_shifted_is_free(const spare_slot& slot);

/// Which key to bind on both levels: one with no binding, else the one whose
/// levels were least recently used, a key up before one held down.
int choose_spare_slot(const spare_slot* slots, int count, const bool* keycode_down);

/// How long to wait, at now_us, before the key of slot carries plain and
/// shifted: until the last event read at each level whose keysym changes has
/// had SPARE_REBIND_HOLD_US. A level that keeps its keysym needs no wait.
uint64_t spare_change_wait_us(const spare_slot& slot, uint32_t plain, uint32_t shifted, uint64_t now_us);
