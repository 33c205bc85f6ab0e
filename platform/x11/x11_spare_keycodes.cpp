#include "platform/x11/x11_spare_keycodes.h"

#include <X11/Xlib.h>
#include <ctime>
#include <initializer_list>

#include "platform/x11/x11_auto_repeat.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_device_events.h"
#include "platform/x11/x11_keymap.h"
#include "platform/x11/x11_reader.h"
#include "platform/x11/x11_signals.h"
#include "platform/x11/x11_spare_choice.h"

namespace {

constexpr int MAX_SPARES = 64;

spare_slot slots[MAX_SPARES];
int pressed_level[MAX_SPARES]; // the level the key's last press was read at
int slot_count;
uint32_t use_clock;
uint64_t confirmed;       // the reader has handled every event up to this number
uint64_t flushed;         // the last event known sent from the request buffer
uint64_t reader_clock_us; // when a reader that cannot answer should be done with all sent so far
uint64_t refreshed_us;    // when it should have fetched the keys of the last change
bool reader_answered;     // the reader answered after the last change
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
        x11_signals_check();
    }
}

// A reader that cannot answer is assumed to take this long per key event
// and per keymap change (one toolkit fetches the whole keymap again for each),
// never less: the fallback holds count from when it should have got there, so
// a text that keeps it busy is paced to it rather than run ahead of it.
uint64_t reader_clock_after(uint64_t cost_us) {
    const uint64_t now = now_us();
    reader_clock_us = (reader_clock_us > now ? reader_clock_us : now) + cost_us;
    return reader_clock_us;
}

int slot_of(uint8_t keycode) {
    for (int i = 0; i < slot_count; ++i) {
        if (slots[i].keycode == keycode) return i;
    }
    return -1;
}

// Sends what is buffered. An event queued since the last known flush leaves
// only now, so its hold counts from now at the earliest. (By number: a time
// already counts the reader's backlog, and may lie ahead.)
void flush_events() {
    XFlush(x11_display());
    const uint64_t now = now_us();
    for (int i = 0; i < slot_count; ++i) {
        spare_slot& slot = slots[i];
        for (int level = 0; level < SPARE_LEVELS; ++level) {
            uint64_t& event_us = slot.level[level].last_event_us;
            if (slot.level[level].last_event > flushed && event_us < now) event_us = now;
            uint64_t& replaced_us = slot.replaced_event_us[level];
            if (slot.replaced_event[level] > flushed && replaced_us < now) replaced_us = now;
        }
    }
    flushed = x11_device_sent();
}

// Groups past the last one bound are left out: the server then gives the key
// only the groups it needs.
void change_mapping(const spare_slot& slot) {
    KeySym keysyms[SPARE_LEVELS] = {};
    int columns = 2;
    for (int level = 0; level < SPARE_LEVELS; ++level) {
        keysyms[level] = slot.level[level].keysym;
        if (keysyms[level] != 0 && level >= columns) columns = level - level % 2 + 2;
    }
    XChangeKeyboardMapping(x11_display(), slot.keycode, columns, keysyms, 1);
}

bool any_pending() {
    for (int i = 0; i < slot_count; ++i) {
        if (spare_pending(slots[i])) return true;
    }
    return false;
}

// Waits until the reader has handled every event sent so far: by its answer,
// or, from a reader that cannot tell, by the fallback hold of the bindings
// about to be replaced.
void wait_for_reader() {
    flush_events();
    const uint64_t sent = x11_device_sent();
    if (x11_reader_sync()) {
        if (sent > confirmed) confirmed = sent;
        return;
    }
    uint64_t wait = 0;
    const uint64_t now = now_us();
    for (int i = 0; i < slot_count; ++i) {
        const uint64_t slot_wait = spare_fallback_wait_us(slots[i], confirmed, now);
        if (slot_wait > wait) wait = slot_wait;
    }
    if (wait > 0) sleep_us(wait);
}

// Makes every pending change with one read-back for all: the reply comes after
// the changes have been applied, so it tells which the server made, and it
// covers the change notifications that came before it. A key the server did
// not bind is dropped from the held events. A shifted level asked empty may
// come back filled with the capital of the plain keysym, as the server's
// keyboard extension completes a letter, and a group asked empty below one
// bound comes back as a copy of the first; the slot records what the key shows.
void make_changes(bool* dropped) {
    if (!any_pending()) return;
    // Not while a reader that cannot answer may be fetching the last one.
    const uint64_t now = now_us();
    if (!reader_answered && refreshed_us > now) sleep_us(refreshed_us - now);
    int low = 256;
    int high = -1;
    for (int i = 0; i < slot_count; ++i) {
        spare_slot& slot = slots[i];
        if (!spare_pending(slot)) continue;
        x11_auto_repeat_stop(slot.keycode);
        change_mapping(slot);
        reader_clock_after(SPARE_FALLBACK_CHANGE_US);
        if (slot.keycode < low) low = slot.keycode;
        if (slot.keycode > high) high = slot.keycode;
    }
    if (high < low) return;
    refreshed_us = reader_clock_us + SPARE_FALLBACK_EVENT_US + SPARE_REFETCH_US; // its first press, and the fetch
    int per_keycode = 0;
    KeySym* keysyms = XGetKeyboardMapping(x11_display(), static_cast<KeyCode>(low), high - low + 1, &per_keycode);
    for (int i = 0; i < slot_count; ++i) {
        spare_slot& slot = slots[i];
        if (!spare_pending(slot)) continue;
        uint32_t read[SPARE_LEVELS] = {};
        if (keysyms != nullptr) {
            const KeySym* row = keysyms + static_cast<ptrdiff_t>(slot.keycode - low) * per_keycode;
            for (int level = 0; level < SPARE_LEVELS && level < per_keycode; ++level) {
                read[level] = static_cast<uint32_t>(row[level]);
            }
        }
        bool made = true;
        for (int level = 0; level < SPARE_LEVELS; ++level) {
            const uint32_t wanted = slot.level[level].keysym;
            if (wanted != 0 && read[level] != wanted) made = false;
            if (level == SPARE_PLAIN && read[level] != wanted) made = false; // unbinding too
        }
        if (!made) dropped[slot.keycode] = true;
        for (int level = 0; level < SPARE_LEVELS; ++level) {
            slot.server[level] = read[level];
            slot.level[level].keysym = made ? read[level] : 0;
            if (!made) slot.server[level] = 0; // forgotten: refresh finds the key as it is
        }
        x11_keymap_store(slot.keycode, read[SPARE_PLAIN], read[SPARE_SHIFTED]);
    }
    if (keysyms != nullptr) XFree(keysyms);
    x11_keymap_covered(low, high);
}

// Makes the pending changes once the reader has handled the events of every
// binding they replace.
void make_changes_once_read(bool* dropped) {
    for (int i = 0; i < slot_count; ++i) {
        if (spare_replaces_unconfirmed(slots[i], confirmed)) {
            wait_for_reader();
            break;
        }
    }
    make_changes(dropped);
}

// The held events leave now: their holds count from here.
void send_held(const bool* dropped) {
    const uint64_t before = x11_device_sent();
    x11_device_send_held(dropped);
    const uint64_t read_by = reader_clock_after(0);
    for (int i = 0; i < slot_count; ++i) {
        for (spare_level& level : slots[i].level) {
            if (level.last_event > before && level.last_event_us < read_by) level.last_event_us = read_by;
        }
    }
}

// Makes the bindings the held events need, then sends them: first the reader
// handles what the replaced bindings typed, then the server changes the keys,
// then the reader takes in the change (one client reads the first press after
// a change with the keysym before it otherwise), then the presses go.
void commit() {
    if (!any_pending()) {
        if (x11_device_holding()) send_held(nullptr);
        return;
    }
    bool dropped[256] = {};
    make_changes_once_read(dropped);
    const uint64_t sent = x11_device_sent();
    reader_answered = x11_reader_sync();
    if (reader_answered) {
        if (sent > confirmed) confirmed = sent;
    } else {
        sleep_us(SPARE_SETTLE_US);
    }
    send_held(dropped);
    // Out at once: their holds run from here while the next batch is planned,
    // not from whenever the next flush comes.
    flush_events();
}

void commit_when_full() { commit(); }

// Plans the group of the key of slot to carry plain and shifted; the events
// that follow are held until the change is made.
uint8_t plan(spare_slot& slot, int group, uint32_t plain, uint32_t shifted) {
    if (keys_down[slot.keycode]) release_key(slot.keycode); // never changed while down
    spare_plan_group(slot, group, plain, shifted, ++use_clock);
    // Later look-ups find it: the first group in the keymap's copy, the others here.
    x11_keymap_store(slot.keycode, slot.level[SPARE_PLAIN].keysym, slot.level[SPARE_SHIFTED].keysym);
    x11_device_hold();
    return slot.keycode;
}

// Levels past the first group need a group selected around the press, which
// takes the keyboard extension.
int usable_levels() { return x11_xkb_event_base() >= 0 ? SPARE_LEVELS : 2; }

bool is_ours(const spare_slot& slot) {
    for (const spare_level& level : slot.level) {
        if (level.keysym != 0) return true;
    }
    return false;
}

} // namespace

void x11_spare_use_keys(const bool* down, void (*release)(uint8_t keycode)) {
    keys_down = down;
    release_key = release;
    x11_device_on_full(commit_when_full);
}

void x11_spare_keycodes_refresh() {
    int kept = 0;
    for (int i = 0; i < slot_count; ++i) {
        spare_slot slot = slots[i];
        const int level = pressed_level[i];
        const uint32_t plain = x11_keymap_keysym(slot.keycode, KEYMAP_PLAIN);
        const uint32_t shifted = x11_keymap_keysym(slot.keycode, KEYMAP_SHIFTED);
        if (plain != slot.server[SPARE_PLAIN] || shifted != slot.server[SPARE_SHIFTED]) {
            if (spare_pending(slot)) {
                // Changed by someone else under a change of ours still to come:
                // ours is made as planned, and look-ups find it meanwhile.
                slot.server[SPARE_PLAIN] = plain;
                slot.server[SPARE_SHIFTED] = shifted;
                x11_keymap_store(slot.keycode, slot.level[SPARE_PLAIN].keysym, slot.level[SPARE_SHIFTED].keysym);
            } else {
                // A binding the keymap no longer shows was undone by someone else.
                for (int other = 0; other < SPARE_LEVELS; ++other) {
                    slot.level[other].keysym = 0;
                    slot.server[other] = 0;
                }
            }
        }
        // A keycode the new keymap uses is no longer ours, unless we hold it down.
        if (!is_ours(slot) && !x11_keymap_is_empty(slot.keycode) && !keys_down[slot.keycode]) {
            x11_auto_repeat_restore(slot.keycode);
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
        slots[slot_count++] = spare_slot{code, {}, {}, {}, {}};
    }
}

uint8_t x11_spare_bind(uint32_t plain, uint32_t shifted) {
    x11_keymap_update();
    int index = choose_spare_slot(slots, slot_count, keys_down, x11_device_sent());
    if (index < 0) {
        commit();
        index = choose_spare_slot(slots, slot_count, keys_down, x11_device_sent());
    }
    if (index < 0) return 0;
    return plan(slots[index], 0, plain, shifted);
}

uint8_t x11_spare_bind_level(uint32_t keysym, int* level) {
    x11_keymap_update();
    const int levels = usable_levels();
    for (int i = 0; i < slot_count; ++i) {
        const int found = spare_level_of(slots[i], keysym);
        if (found >= 0 && found < levels) {
            *level = found;
            return slots[i].keycode;
        }
    }
    spare_pick pick = choose_spare_level(slots, slot_count, keys_down, confirmed, x11_device_sent(), levels);
    if (pick.slot < 0 || spare_commit_before(slots, slot_count, pick)) {
        commit();
        pick = choose_spare_level(slots, slot_count, keys_down, confirmed, x11_device_sent(), levels);
    }
    if (pick.slot < 0) return 0;
    spare_slot& slot = slots[pick.slot];
    const spare_binding binding = spare_level_binding(slot, pick.level, keysym);
    *level = pick.level;
    return plan(slot, pick.level / 2, binding.plain, binding.shifted);
}

void x11_spare_note_event(uint8_t keycode, bool press, int level, uint64_t number) {
    const int index = slot_of(keycode);
    if (index < 0 || level < 0 || level >= SPARE_LEVELS) return;
    const uint64_t now = reader_clock_after(SPARE_FALLBACK_EVENT_US);
    spare_slot& slot = slots[index];
    if (press) {
        pressed_level[index] = level;
        slot.level[level].last_used = ++use_clock;
    }
    // A release is read at the level of its own modifiers; its press was read at another, perhaps.
    for (const int read : {level, pressed_level[index]}) {
        slot.level[read].last_event = number;
        slot.level[read].last_event_us = now;
    }
}

void x11_spare_commit() { commit(); }

void x11_spare_note_flush() { flushed = x11_device_sent(); }

void x11_spare_unbind_all() {
    commit();
    x11_keymap_update();
    for (int i = 0; i < slot_count; ++i) {
        if (keys_down[slots[i].keycode]) release_key(slots[i].keycode);
    }
    bool any = false;
    for (int i = 0; i < slot_count; ++i) {
        spare_slot& slot = slots[i];
        bool bound = false;
        for (const uint32_t keysym : slot.server) bound = bound || keysym != 0;
        if (!bound) continue;
        for (int group = 0; group < SPARE_GROUPS; ++group) spare_plan_group(slot, group, 0, 0, 0);
        any = true;
    }
    if (any) {
        bool dropped[256] = {}; // the last characters typed are read with their bindings
        make_changes_once_read(dropped);
    }
    send_held(nullptr);
    x11_auto_repeat_restore_all();
    x11_round_trip();
}
