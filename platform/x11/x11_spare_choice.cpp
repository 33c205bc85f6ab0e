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

// A key that is up beats one held down; among equals the older use wins.
bool better(bool down, uint32_t used, bool best_down, uint32_t best_used) {
    return (best_down && !down) || (best_down == down && used < best_used);
}

} // namespace

spare_pick choose_spare_level(const spare_slot* slots, int count, const bool* keycode_down, uint64_t now_us) {
    int plain_lru = -1;
    for (int i = 0; i < count; ++i) {
        if (keycode_down[slots[i].keycode]) continue;
        const spare_level& plain = slots[i].level[SPARE_PLAIN];
        if (plain.keysym == 0) return {i, SPARE_PLAIN};
        if (plain_lru < 0 || plain.last_used < slots[plain_lru].level[SPARE_PLAIN].last_used) plain_lru = i;
    }
    // A plain level that can change at once needs no Shift and no wait.
    if (plain_lru >= 0 && now_us >= slots[plain_lru].level[SPARE_PLAIN].last_event_us + SPARE_REBIND_HOLD_US) {
        return {plain_lru, SPARE_PLAIN};
    }
    for (int i = 0; i < count; ++i) {
        if (spare_shifted_is_free(slots[i]) && !keycode_down[slots[i].keycode]) return {i, SPARE_SHIFTED};
    }
    spare_pick best{-1, SPARE_PLAIN};
    bool best_down = true;
    uint32_t best_used = 0;
    for (int i = 0; i < count; ++i) {
        const bool down = keycode_down[slots[i].keycode];
        for (int level = SPARE_PLAIN; level <= SPARE_SHIFTED; ++level) {
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

int choose_spare_slot(const spare_slot* slots, int count, const bool* keycode_down) {
    int best = -1;
    bool best_down = true;
    for (int i = 0; i < count; ++i) {
        const bool down = keycode_down[slots[i].keycode];
        if (key_is_free(slots[i]) && !down) return i;
        if (best < 0 || better(down, key_last_used(slots[i]), best_down, key_last_used(slots[best]))) {
            best = i;
            best_down = down;
        }
    }
    return best;
}

uint64_t spare_change_wait_us(const spare_slot& slot, uint32_t plain, uint32_t shifted, uint64_t now_us) {
    uint64_t wait = 0;
    for (int level = SPARE_PLAIN; level <= SPARE_SHIFTED; ++level) {
        const spare_level& bound = slot.level[level];
        if (bound.keysym == (level == SPARE_PLAIN ? plain : shifted) || bound.last_event_us == 0) continue;
        const uint64_t ready = bound.last_event_us + SPARE_REBIND_HOLD_US;
        if (ready > now_us && ready - now_us > wait) wait = ready - now_us;
    }
    return wait;
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
