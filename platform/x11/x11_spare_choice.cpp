#include "platform/x11/x11_spare_choice.h"

namespace {

bool pinned(const spare_level& level, uint64_t sent) { return level.last_event > sent; }

// The first group's two levels: all a binding of both levels touches.
uint32_t first_group_last_used(const spare_slot& slot) {
    const uint32_t plain = slot.level[SPARE_PLAIN].last_used;
    const uint32_t shifted = slot.level[SPARE_SHIFTED].last_used;
    return plain > shifted ? plain : shifted;
}

bool first_group_is_free(const spare_slot& slot) {
    return slot.level[SPARE_PLAIN].keysym == 0 && slot.level[SPARE_SHIFTED].keysym == 0;
}

bool first_group_pinned(const spare_slot& slot, uint64_t sent) {
    return pinned(slot.level[SPARE_PLAIN], sent) || pinned(slot.level[SPARE_SHIFTED], sent);
}

uint32_t key_last_used(const spare_slot& slot, int levels) {
    uint32_t newest = 0;
    for (int level = 0; level < levels; ++level) {
        if (slot.level[level].last_used > newest) newest = slot.level[level].last_used;
    }
    return newest;
}

// A key that is up beats one held down; among equals the older use wins.
bool better(bool down, uint32_t used, bool best_down, uint32_t best_used) {
    return (best_down && !down) || (best_down == down && used < best_used);
}

// The server's binding a pending change replaces, if it has an event.
bool replaces(const spare_slot& slot, int level) {
    return slot.level[level].keysym != slot.server[level] && slot.server[level] != 0 && slot.replaced_event[level] != 0;
}

// What a search over the levels of the keys up may take.
enum class take : uint8_t { free_level, confirmed_level, any_level };

struct search {
    const spare_slot* slots;
    int count;
    const bool* keycode_down;
    uint64_t confirmed;
    uint64_t sent;
    int levels;
};

// The first free level, or the least recently used one allowed, of the keys
// up (only those whose change is planned when planned_only).
spare_pick find_level(const search& in, take what, bool planned_only) {
    spare_pick best{-1, SPARE_PLAIN};
    uint32_t best_used = 0;
    for (int i = 0; i < in.count; ++i) {
        const spare_slot& slot = in.slots[i];
        if (in.keycode_down[slot.keycode] || (planned_only && !spare_pending(slot))) continue;
        for (int level = 0; level < in.levels; ++level) {
            const spare_level& bound = slot.level[level];
            if (pinned(bound, in.sent)) continue;
            if (what == take::free_level) {
                if (spare_level_is_free(slot, level)) return {i, level};
                continue;
            }
            if (what == take::confirmed_level && bound.last_event > in.confirmed) continue;
            if (best.slot < 0 || bound.last_used < best_used) {
                best = {i, level};
                best_used = bound.last_used;
            }
        }
    }
    return best;
}

// The key whose newest use is the oldest, with a level not pinned: its least
// recently used such level.
spare_pick oldest_key(const search& in, uint32_t* newest_use) {
    int best = -1;
    bool best_down = true;
    uint32_t best_used = 0;
    for (int i = 0; i < in.count; ++i) {
        bool open = false;
        for (int level = 0; level < in.levels; ++level) open = open || !pinned(in.slots[i].level[level], in.sent);
        if (!open) continue;
        const bool down = in.keycode_down[in.slots[i].keycode];
        const uint32_t used = key_last_used(in.slots[i], in.levels);
        if (best < 0 || better(down, used, best_down, best_used)) {
            best = i;
            best_down = down;
            best_used = used;
        }
    }
    if (best < 0) return {-1, SPARE_PLAIN};
    *newest_use = best_used;
    int pick = -1;
    for (int level = 0; level < in.levels; ++level) {
        const spare_level& bound = in.slots[best].level[level];
        if (pinned(bound, in.sent)) continue;
        if (pick < 0 || bound.last_used < in.slots[best].level[pick].last_used) pick = level;
    }
    return {best, pick};
}

} // namespace

spare_pick choose_spare_level(const spare_slot* slots, int count, const bool* keycode_down, uint64_t confirmed,
                              uint64_t sent, int levels) {
    const search in{slots, count, keycode_down, confirmed, sent, levels};
    spare_pick pick = find_level(in, take::free_level, true);
    if (pick.slot < 0) pick = find_level(in, take::free_level, false);
    if (pick.slot < 0) pick = find_level(in, take::confirmed_level, true);
    if (pick.slot < 0) pick = find_level(in, take::confirmed_level, false);
    if (pick.slot >= 0) return pick;
    uint32_t newest_use = 0;
    const spare_pick oldest = oldest_key(in, &newest_use);
    // A level of a planned key costs no change of its own, but may cost a
    // longer wait than the key to go next would.
    pick = find_level(in, take::any_level, true);
    if (pick.slot >= 0 && slots[pick.slot].level[pick.level].last_used <= newest_use) return pick;
    return oldest;
}

int choose_spare_slot(const spare_slot* slots, int count, const bool* keycode_down, uint64_t sent) {
    int best = -1;
    bool best_down = true;
    for (int i = 0; i < count; ++i) {
        if (first_group_pinned(slots[i], sent)) continue;
        const bool down = keycode_down[slots[i].keycode];
        if (first_group_is_free(slots[i]) && !down) return i;
        if (best < 0 || better(down, first_group_last_used(slots[i]), best_down, first_group_last_used(slots[best]))) {
            best = i;
            best_down = down;
        }
    }
    return best;
}

void spare_plan_group(spare_slot& slot, int group, uint32_t plain, uint32_t shifted, uint32_t use) {
    const uint32_t wanted[2] = {plain, shifted};
    for (int shift = 0; shift < 2; ++shift) {
        const int level = 2 * group + shift;
        spare_level& bound = slot.level[level];
        if (bound.keysym == wanted[shift]) continue;
        if (bound.keysym == slot.server[level]) {
            slot.replaced_event[level] = bound.last_event;
            slot.replaced_event_us[level] = bound.last_event_us;
        }
        bound = spare_level{wanted[shift], wanted[shift] != 0 ? use : 0, 0, 0}; // new, so not the next to go
    }
}

void spare_plan(spare_slot& slot, uint32_t plain, uint32_t shifted, uint32_t use) {
    spare_plan_group(slot, 0, plain, shifted, use);
}

bool spare_replaces_unconfirmed(const spare_slot& slot, uint64_t confirmed) {
    for (int level = 0; level < SPARE_LEVELS; ++level) {
        if (replaces(slot, level) && slot.replaced_event[level] > confirmed) return true;
    }
    return false;
}

uint64_t spare_fallback_wait_us(const spare_slot& slot, uint64_t confirmed, uint64_t now_us) {
    uint64_t wait = 0;
    for (int level = 0; level < SPARE_LEVELS; ++level) {
        if (!replaces(slot, level) || slot.replaced_event[level] <= confirmed) continue;
        const uint64_t ready = slot.replaced_event_us[level] + SPARE_FALLBACK_HOLD_US;
        if (ready > now_us && ready - now_us > wait) wait = ready - now_us;
    }
    return wait;
}

bool spare_pending(const spare_slot& slot) {
    for (int level = 0; level < SPARE_LEVELS; ++level) {
        if (slot.level[level].keysym != slot.server[level]) return true;
    }
    return false;
}

bool spare_level_is_free(const spare_slot& slot, int level) {
    const uint32_t keysym = slot.level[level].keysym;
    if (level % 2 == 0) return keysym == 0;
    return keysym == 0 || keysym == slot.level[level - 1].keysym;
}

int spare_level_of(const spare_slot& slot, uint32_t keysym) {
    for (int level = 0; level < SPARE_LEVELS; ++level) {
        if (keysym != 0 && slot.level[level].keysym == keysym) return level;
    }
    return -1;
}

spare_binding spare_level_binding(const spare_slot& slot, int level, uint32_t keysym) {
    const int plain_level = level - level % 2;
    const uint32_t plain = slot.level[plain_level].keysym;
    const uint32_t shifted = slot.level[plain_level + 1].keysym;
    if (level == plain_level) return {keysym, spare_level_is_free(slot, plain_level + 1) ? keysym : shifted};
    return {plain != 0 ? plain : keysym, keysym};
}

bool spare_commit_before(const spare_slot* slots, int count, spare_pick pick) {
    if (pick.slot < 0) return false;
    const spare_slot& slot = slots[pick.slot];
    if (spare_pending(slot)) return false;
    int planned = 0;
    for (int i = 0; i < count; ++i) {
        if (spare_pending(slots[i])) ++planned;
    }
    return planned >= SPARE_BATCH_KEYS;
}
