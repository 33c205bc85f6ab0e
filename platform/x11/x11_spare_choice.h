#pragma once
#include <cstdint>

// Where a keysym that no key carries is bound. A spare keycode (one the
// keymap leaves empty) carries up to two bindings, plain and shifted; a text
// reuses its bindings, the least recently used going first, instead of
// remapping the keyboard once per character.
//
// Events are numbered in the order made. A binding may be replaced once the
// reader has handled its last event (that number is confirmed); events still
// held back, waiting for the bindings they need, pin theirs until they leave.

constexpr int SPARE_PLAIN = 0;
constexpr int SPARE_SHIFTED = 1;

/// With a reader that cannot tell what it has handled, a binding is replaced
/// only this long after the reader should have handled its last event,
/// counting SPARE_FALLBACK_EVENT_US for each event and
/// SPARE_FALLBACK_CHANGE_US for each keymap change sent before it.
constexpr uint64_t SPARE_FALLBACK_HOLD_US = 400000;
constexpr uint64_t SPARE_FALLBACK_EVENT_US = 200;
constexpr uint64_t SPARE_FALLBACK_CHANGE_US = 10000;

/// With a reader that cannot tell when it has taken in a change of the
/// keymap, the first press on a new binding waits this long after it.
constexpr uint64_t SPARE_SETTLE_US = 10000;

struct spare_level {
    uint32_t keysym;        // bound at this level once the pending change is made; 0 for none
    uint32_t last_used;     // a use counter of its presses; 0 for never
    uint64_t last_event;    // the number of the last event read at this level; 0 for never
    uint64_t last_event_us; // when a reader that cannot answer should have handled it
};

struct spare_slot {
    uint8_t keycode;
    spare_level level[2];          // SPARE_PLAIN, SPARE_SHIFTED
    uint32_t server[2];            // what the server's keymap has on each level now
    uint64_t replaced_event[2];    // the last event of the server's binding a pending change replaces
    uint64_t replaced_event_us[2]; // (the same for that event)
};

struct spare_pick {
    int slot;  // -1 when none can be had before the held events leave
    int level; // SPARE_PLAIN or SPARE_SHIFTED
};

/// Where to bind a keysym on one level: a free plain level; else the least
/// recently used plain level if its events are all confirmed; else a free
/// shifted level (spare_shifted_is_free); else the least recently used level
/// not pinned by a held event. Plain levels come first as they need no Shift
/// around the press. A key held down is taken only when every key is; the
/// caller releases it.
spare_pick choose_spare_level(const spare_slot* slots, int count, const bool* keycode_down, uint64_t confirmed,
                              uint64_t sent);

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
/// levels were least recently used, a key up before one held down; -1 when
/// every key is pinned by a held event.
int choose_spare_slot(const spare_slot* slots, int count, const bool* keycode_down, uint64_t sent);

/// Makes the slot carry plain and shifted once the pending changes are made,
/// remembering the last event of each server binding it replaces.
void spare_plan(spare_slot& slot, uint32_t plain, uint32_t shifted, uint32_t use);

/// True when the slot's pending change replaces a binding with an event the
/// reader has not been confirmed to have handled.
bool spare_replaces_unconfirmed(const spare_slot& slot, uint64_t confirmed);

/// With no word from the reader: how long to wait, at now_us, before the
/// slot's pending change, so that every unconfirmed event of a binding it
/// replaces is SPARE_FALLBACK_HOLD_US old.
uint64_t spare_fallback_wait_us(const spare_slot& slot, uint64_t confirmed, uint64_t now_us);

/// True when the slot's binding differs from the server's.
bool spare_pending(const spare_slot& slot);
