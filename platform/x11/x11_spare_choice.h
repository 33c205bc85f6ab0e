#pragma once
#include <cstdint>

// Where a keysym that no key carries is bound. A spare keycode (one the
// keymap leaves empty) carries up to eight bindings: plain and shifted in each
// of four groups (the server makes core columns 1-2, 3-4, 5-6 and 7-8 of a key
// its groups 1 to 4). One keymap change binds a whole key, so a text fills a
// key before it takes the next; it reuses its bindings, the least recently
// used going first, instead of remapping the keyboard once per character.
//
// Events are numbered in the order made. A binding may be replaced once the
// reader has handled its last event (that number is confirmed); events still
// held back, waiting for the bindings they need, pin theirs until they leave.

/// A level is group * 2 + (shifted ? 1 : 0); SPARE_PLAIN and SPARE_SHIFTED
/// are those of the first group, the one a key shows with no group selected.
constexpr int SPARE_PLAIN = 0;
constexpr int SPARE_SHIFTED = 1;
constexpr int SPARE_GROUPS = 4;
constexpr int SPARE_LEVELS = 2 * SPARE_GROUPS;

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

/// With such a reader, a change waits until the reader should have got to the
/// first press after the last change, and this long more: Xlib fetches the
/// keys a change names only when it reads a press on them, and under load Tk
/// read a whole key's characters with its bindings from before a change that
/// came right after the last one. Fewer such losses, not none: a bound.
constexpr uint64_t SPARE_REFETCH_US = 40000;

struct spare_level {
    uint32_t keysym;        // bound at this level once the pending change is made; 0 for none
    uint32_t last_used;     // a use counter of its presses; 0 for never
    uint64_t last_event;    // the number of the last event read at this level; 0 for never
    uint64_t last_event_us; // when a reader that cannot answer should have handled it
};

struct spare_slot {
    uint8_t keycode;
    spare_level level[SPARE_LEVELS];
    uint32_t server[SPARE_LEVELS];            // what the server's keymap has on each level now
    uint64_t replaced_event[SPARE_LEVELS];    // the last event of the server's binding a pending change replaces
    uint64_t replaced_event_us[SPARE_LEVELS]; // (the same for that event)
};

struct spare_pick {
    int slot;  // -1 when none can be had before the held events leave
    int level; // 0 to SPARE_LEVELS - 1
};

/// Where to bind a keysym on one of the first `levels` levels (2 without a
/// way to select a group, else SPARE_LEVELS), never on one pinned by a held
/// event: a free level (spare_level_is_free) of a key whose change is already
/// planned; else a free level of a key up; else the least recently used level
/// of a planned key the reader is done with; else the least recently used one
/// of any key the reader is done with; else the least recently used level of
/// a planned key, if it is no newer than every level of the key to go next;
/// else the least recently used level of the key whose newest use is the
/// oldest. So the change a text needs anyway binds as much as it can, and the
/// key replaced is the one the reader is done with soonest. A key held down
/// is taken only when every key is; the caller releases it.
spare_pick choose_spare_level(const spare_slot* slots, int count, const bool* keycode_down, uint64_t confirmed,
                              uint64_t sent, int levels);

/// Keys one batch of changes covers: once that many have a change planned,
/// the changes are made and their characters sent before another key is
/// planned, so a reader that cannot answer starts on them, and their holds
/// run, while the next batch is bound. One key takes eight characters in one
/// change; each batch costs SPARE_SETTLE_US and SPARE_REFETCH_US, so a few
/// keys share them, and more would only have each key wait for the last.
constexpr int SPARE_BATCH_KEYS = 3;

/// True when the pending changes should be made before pick: pick is on a
/// key with no change planned, and SPARE_BATCH_KEYS keys have one.
bool spare_commit_before(const spare_slot* slots, int count, spare_pick pick);

struct spare_binding {
    uint32_t plain;
    uint32_t shifted;
};

/// What the group of level carries once keysym is bound on level. A shifted
/// level with nothing of its own repeats the plain keysym: the key then types
/// the same with Shift or Caps Lock, where an empty shifted level would let the
/// server give a letter its capital there.
spare_binding spare_level_binding(const spare_slot& slot, int level, uint32_t keysym);

/// True when level carries nothing of its own: no keysym, or a shifted
/// level repeating the plain one of its group.
bool spare_level_is_free(const spare_slot& slot, int level);

/// The level of slot that carries keysym, or -1.
int spare_level_of(const spare_slot& slot, uint32_t keysym);

/// Which key to bind on both levels of the first group (the other groups
/// stay): one with nothing there, else the one whose first group was least
/// recently used, a key up before one held down; -1 when every key is pinned
/// there by a held event.
int choose_spare_slot(const spare_slot* slots, int count, const bool* keycode_down, uint64_t sent);

/// Makes the group of the slot carry plain and shifted once the pending
/// changes are made, remembering the last event of each server binding it
/// replaces.
void spare_plan_group(spare_slot& slot, int group, uint32_t plain, uint32_t shifted, uint32_t use);

/// spare_plan_group on the first group.
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
