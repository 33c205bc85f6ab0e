#include "platform/x11/x11_spare_choice.h"

namespace {

uint32_t key_last_used(const spare_slot& slot) {
    const uint32_t plain = slot.level[SPARE_PLAIN].last_used;
    const uint32_t shifted = slot.level[SPARE_SHIFTED].last_used;
    return plain > shifted ? plain : shifted;
}

bool key_is_free(const spare_slot& slot) {
    return slot.level[SPARE_PLAIN].keysym == 0 && slot.level[SPARE_SHIFTED].keysym == 0;
}

bool pinned(const spare_level& level, uint64_t sent) { return level.last_event > sent; }

bool key_pinned(const spare_slot& slot, uint64_t sent) {
    return pinned(slot.level[SPARE_PLAIN], sent) || pinned(slot.level[SPARE_SHIFTED], sent);
}

// A key that is up beats one held down; among equals the older use wins.
bool better(bool down, uint32_t used, bool best_down, uint32_t best_used) {
    return (best_down && !down) || (best_down == down && used < best_used);
}

// The server's binding a pending change replaces, if it has an event.
bool replaces(const spare_slot& slot, int level) {
    return slot.level[level].keysym != slot.server[level] && slot.server[level] != 0 && slot.replaced_event[level] != 0;
}

} // namespace

spare_pick choose_spare_level(const spare_slot* slots, int count, const bool* keycode_down, uint64_t confirmed,
                              uint64_t sent) {
    int plain_lru = -1;
    for (int i = 0; i < count; ++i) {
        const spare_level& plain = slots[i].level[SPARE_PLAIN];
        if (keycode_down[slots[i].keycode] || pinned(plain, sent)) continue;
        if (plain.keysym == 0) return {i, SPARE_PLAIN};
        if (plain_lru < 0 || plain.last_used < slots[plain_lru].level[SPARE_PLAIN].last_used) plain_lru = i;
    }
    // A plain level the reader is done with needs no Shift and no wait.
    if (plain_lru >= 0 && slots[plain_lru].level[SPARE_PLAIN].last_event <= confirmed) return {plain_lru, SPARE_PLAIN};
    for (int i = 0; i < count; ++i) {
        if (spare_shifted_is_free(slots[i]) && !keycode_down[slots[i].keycode] &&
            !pinned(slots[i].level[SPARE_SHIFTED], sent)) {
            return {i, SPARE_SHIFTED};
        }
    }
    spare_pick best{-1, SPARE_PLAIN};
    bool best_down = true;
    uint32_t best_used = 0;
    for (int i = 0; i < count; ++i) {
        const bool down = keycode_down[slots[i].keycode];
        for (int level = SPARE_PLAIN; level <= SPARE_SHIFTED; ++level) {
            if (pinned(slots[i].level[level], sent)) continue;
            const uint32_t used = slots[i].level[level].last_used;
            if (best.slot < 0 || better(down, used, best_down, best_used)) {
                best = {i, level};
                best_down = down;
                best_used = used;
            }
        }
    }
    return best;
}

int choose_spare_slot(const spare_slot* slots, int count, const bool* keycode_down, uint64_t sent) {
    int best = -1;
    bool best_down = true;
    for (int i = 0; i < count; ++i) {
        if (key_pinned(slots[i], sent)) continue;
        const bool down = keycode_down[slots[i].keycode];
        if (key_is_free(slots[i]) && !down) return i;
        if (best < 0 || better(down, key_last_used(slots[i]), best_down, key_last_used(slots[best]))) {
            best = i;
            best_down = down;
        }
    }
    return best;
}

void spare_plan(spare_slot& slot, uint32_t plain, uint32_t shifted, uint32_t use) {
    const uint32_t wanted[2] = {plain, shifted};
    for (int level = SPARE_PLAIN; level <= SPARE_SHIFTED; ++level) {
        spare_level& bound = slot.level[level];
        if (bound.keysym == wanted[level]) continue;
        if (bound.keysym == slot.server[level]) {
            slot.replaced_event[level] = bound.last_event;
            slot.replaced_event_us[level] = bound.last_event_us;
        }
        bound = spare_level{wanted[level], wanted[level] != 0 ? use : 0, 0, 0}; // new, so not the next to go
    }
}

bool spare_replaces_unconfirmed(const spare_slot& slot, uint64_t confirmed) {
    for (int level = SPARE_PLAIN; level <= SPARE_SHIFTED; ++level) {
        if (replaces(slot, level) && slot.replaced_event[level] > confirmed) return true;
    }
    return false;
}

uint64_t spare_fallback_wait_us(const spare_slot& slot, uint64_t confirmed, uint64_t now_us) {
    uint64_t wait = 0;
    for (int level = SPARE_PLAIN; level <= SPARE_SHIFTED; ++level) {
        if (!replaces(slot, level) || slot.replaced_event[level] <= confirmed) continue;
        const uint64_t ready = slot.replaced_event_us[level] + SPARE_FALLBACK_HOLD_US;
        if (ready > now_us && ready - now_us > wait) wait = ready - now_us;
    }
    return wait;
}

bool spare_pending(const spare_slot& slot) {
    return slot.level[SPARE_PLAIN].keysym != slot.server[SPARE_PLAIN] ||
           slot.level[SPARE_SHIFTED].keysym != slot.server[SPARE_SHIFTED];
}

bool spare_shifted_is_free(const spare_slot& slot) {
    const uint32_t shifted = slot.level[SPARE_SHIFTED].keysym;
    return shifted == 0 || shifted == slot.level[SPARE_PLAIN].keysym;
}

spare_binding spare_level_binding(const spare_slot& slot, int level, uint32_t keysym) {
    const uint32_t plain = slot.level[SPARE_PLAIN].keysym;
    const uint32_t shifted = slot.level[SPARE_SHIFTED].keysym;
    if (level == SPARE_PLAIN) return {keysym, spare_shifted_is_free(slot) ? keysym : shifted};
    return {plain != 0 ? plain : keysym, keysym};
}
