#include "platform/x11/x11_spare_choice.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t A = 0x1000410; // keysyms of the characters bound
constexpr uint32_t B = 0x1000411;
constexpr uint32_t C = 0x1004e00;
constexpr uint32_t D = 0x1004e01;

constexpr uint64_t SENT = 10; // events 11 and 12 are held back and pin their levels
constexpr uint64_t DONE = 10; // the reader has handled every event sent
constexpr uint64_t BEHIND = 5;

struct use {
    uint32_t keysym; // 0 for none
    uint32_t used;   // last use
    uint64_t event;  // last event, sent at event * 1000 us
};

// A key whose bindings are on the server already.
spare_slot key(uint8_t keycode, use plain, use shifted) {
    spare_slot slot{};
    slot.keycode = keycode;
    slot.level[SPARE_PLAIN] = {plain.keysym, plain.used, plain.event, plain.event * 1000};
    slot.level[SPARE_SHIFTED] = {shifted.keysym, shifted.used, shifted.event, shifted.event * 1000};
    slot.server[SPARE_PLAIN] = plain.keysym;
    slot.server[SPARE_SHIFTED] = shifted.keysym;
    return slot;
}

// A key with all eight levels bound on the server, used in order from first:
// level i has keysym base + i, last use first + i, last event first + i.
spare_slot full_key(uint8_t keycode, uint32_t base, uint32_t first) {
    spare_slot slot{};
    slot.keycode = keycode;
    for (int level = 0; level < SPARE_LEVELS; ++level) {
        const uint32_t n = first + static_cast<uint32_t>(level);
        slot.level[level] = {base + static_cast<uint32_t>(level), n, n, n * 1000ULL};
        slot.server[level] = slot.level[level].keysym;
    }
    return slot;
}

constexpr uint64_t SENT_MANY = 100; // for full keys: events past it are held back
constexpr uint64_t HELD = SENT_MANY + 1;

// The same key with level planned to carry a new keysym (a change pending),
// pressed in a held event, as a text does right after planning it.
spare_slot planned(spare_slot slot, int level, uint32_t use) {
    spare_plan_group(slot, level / 2, level % 2 == 0 ? 0x1005000 : slot.level[level - 1].keysym,
                     level % 2 == 1 ? 0x1005000 : slot.level[level + 1].keysym, use);
    slot.level[level].last_event = HELD;
    return slot;
}

spare_slot with_use(spare_slot slot, int level, uint32_t used, uint64_t event) {
    slot.level[level].last_used = used;
    slot.level[level].last_event = event;
    return slot;
}

// The levels of mask (bit i: level i) pinned by held events.
spare_slot pin(spare_slot slot, unsigned mask) {
    for (int level = 0; level < SPARE_LEVELS; ++level) {
        if ((mask & (1U << level)) != 0) slot.level[level].last_event = HELD;
    }
    return slot;
}

struct level_row {
    const char* name;
    spare_slot slots[2]; // keycode 0 ends the list
    unsigned down;       // bit i: the key of slots[i] is held down
    uint64_t confirmed;
    int levels;
    spare_pick pick;
};

constexpr uint32_t LATIN = 0x1000100; // keysyms of full keys
constexpr uint32_t GREEK = 0x1000390;
constexpr uint64_t ALL_READ = SENT_MANY;
constexpr uint64_t NOTHING_READ = 0; // a reader that cannot answer

// How many of a row's two slots are set, with the keys of the mask's bits down.
int slots_with_keys_down(const spare_slot* slots, unsigned mask, bool* down) {
    int count = 0;
    while (count < 2 && slots[count].keycode != 0) {
        if (mask & (1u << count)) down[slots[count].keycode] = true;
        ++count;
    }
    return count;
}

TEST(X11SpareChoice, TheChangeATextNeedsBindsAWholeKeyAndTheKeyReplacedIsTheOneReadLongest) {
    const use none{0, 0, 0};
    const spare_slot fresh = key(11, none, none);
    const level_row rows[] = {
        {"no keys", {}, 0, DONE, SPARE_LEVELS, {-1, 0}},
        {"a planned key's free level before a fresh key",
         {planned(key(10, none, none), 0, 3), fresh},
         0,
         NOTHING_READ,
         SPARE_LEVELS,
         {0, SPARE_SHIFTED}},
        {"a free level of a key in use before a fresh key: a group of its own",
         {key(10, {A, 1, 3}, {B, 2, 4}), fresh},
         0,
         NOTHING_READ,
         SPARE_LEVELS,
         {0, 2}},
        {"with the first group only, a fresh key", {key(10, {A, 1, 3}, {B, 2, 4}), fresh}, 0, NOTHING_READ, 2, {1, 0}},
        {"reader behind: the key whose newest use is oldest, not the oldest level",
         {with_use(full_key(10, LATIN, 1), 5, 30, 30), full_key(11, GREEK, 10)},
         0,
         NOTHING_READ,
         SPARE_LEVELS,
         {1, 0}},
        {"reader done with every event: the oldest level, no wait either way",
         {with_use(full_key(10, LATIN, 1), 5, 30, 30), full_key(11, GREEK, 10)},
         0,
         ALL_READ,
         SPARE_LEVELS,
         {0, 0}},
        {"a planned key's levels older than the next key's go first",
         {planned(full_key(10, LATIN, 1), 0, 40), full_key(11, GREEK, 10)},
         0,
         NOTHING_READ,
         SPARE_LEVELS,
         {0, 1}},
        {"a planned key's levels newer than the next key's do not",
         {planned(full_key(10, LATIN, 20), 0, 40), full_key(11, GREEK, 10)},
         0,
         NOTHING_READ,
         SPARE_LEVELS,
         {1, 0}},
        {"pinned levels are passed over, on the planned key and off it",
         {pin(planned(full_key(10, LATIN, 1), 0, 40), 0xFE), pin(full_key(11, GREEK, 10), 0x01)},
         0,
         NOTHING_READ,
         SPARE_LEVELS,
         {1, 1}},
        {"a key held down only when every key is",
         {full_key(10, LATIN, 1), full_key(11, GREEK, 20)},
         1,
         NOTHING_READ,
         SPARE_LEVELS,
         {1, 0}},
        {"every key held down: the oldest",
         {full_key(10, LATIN, 1), full_key(11, GREEK, 20)},
         3,
         NOTHING_READ,
         SPARE_LEVELS,
         {0, 0}},
        {"every level pinned: nothing",
         {pin(full_key(10, LATIN, 1), 0xFF), pin(full_key(11, GREEK, 10), 0xFF)},
         0,
         NOTHING_READ,
         SPARE_LEVELS,
         {-1, 0}},
    };
    for (const level_row& row : rows) {
        SCOPED_TRACE(row.name);
        bool down[256] = {};
        const int count = slots_with_keys_down(row.slots, row.down, down);
        const spare_pick pick = choose_spare_level(row.slots, count, down, row.confirmed, SENT_MANY, row.levels);
        EXPECT_EQ(pick.slot, row.pick.slot);
        if (pick.slot >= 0) EXPECT_EQ(pick.level, row.pick.level);
    }
}

struct key_row {
    const char* name;
    spare_slot slots[2];
    unsigned down;
    int key_slot;
};

TEST(X11SpareChoice, ABindingOfBothLevelsTakesTheKeyWhoseFirstGroupWasLeastRecentlyUsed) {
    const use none{0, 0, 0};
    const key_row rows[] = {
        {"no keys", {}, 0, -1},
        {"a free key", {key(10, {A, 1, 3}, {B, 2, 4}), key(11, none, none)}, 0, 1},
        {"the older first group", {key(10, {A, 5, 8}, {B, 6, 9}), key(11, {C, 3, 7}, none)}, 0, 1},
        {"a key held down is passed over while another is up",
         {key(10, {A, 1, 3}, {B, 2, 4}), key(11, {C, 7, 8}, {D, 8, 9})},
         1,
         1},
        {"a key held down only when every key is",
         {key(10, {A, 5, 8}, {B, 6, 9}), key(11, {C, 3, 7}, {D, 9, 9})},
         3,
         0},
        {"a key pinned on its first group is not taken",
         {key(10, {A, 1, 11}, {B, 2, 4}), key(11, {C, 3, 5}, {D, 4, 6})},
         0,
         1},
        {"every first group pinned: none", {key(10, {A, 1, 11}, {B, 2, 4}), key(11, {C, 3, 5}, {D, 4, 12})}, 0, -1},
    };
    for (const key_row& row : rows) {
        SCOPED_TRACE(row.name);
        bool down[256] = {};
        const int count = slots_with_keys_down(row.slots, row.down, down);
        EXPECT_EQ(choose_spare_slot(row.slots, count, down, SENT), row.key_slot);
    }
}

TEST(X11SpareChoice, PendingChangesAreMadeBeforeAnotherKeyIsPlannedOnceABatchIsFull) {
    static_assert(SPARE_BATCH_KEYS < 8, "the table below has room for a full batch and two more keys");
    const use none{0, 0, 0};
    spare_slot slots[SPARE_BATCH_KEYS + 2];
    for (int i = 0; i < SPARE_BATCH_KEYS + 2; ++i) {
        slots[i] = full_key(static_cast<uint8_t>(10 + i), LATIN + 16 * static_cast<uint32_t>(i), 1);
    }
    slots[SPARE_BATCH_KEYS + 1] = key(static_cast<uint8_t>(10 + SPARE_BATCH_KEYS + 1), none, none);
    const int bound = SPARE_BATCH_KEYS;     // a key with no change planned
    const int fresh = SPARE_BATCH_KEYS + 1; // a key with nothing bound
    for (int i = 0; i < SPARE_BATCH_KEYS - 1; ++i) slots[i] = planned(slots[i], 0, 40);
    EXPECT_FALSE(spare_commit_before(slots, SPARE_BATCH_KEYS + 2, {bound, 0})) << "the batch has room";
    slots[SPARE_BATCH_KEYS - 1] = planned(slots[SPARE_BATCH_KEYS - 1], 0, 41);
    EXPECT_TRUE(spare_commit_before(slots, SPARE_BATCH_KEYS + 2, {bound, 0})) << "full: another key, bound";
    EXPECT_TRUE(spare_commit_before(slots, SPARE_BATCH_KEYS + 2, {fresh, 0})) << "full: another key, free";
    EXPECT_FALSE(spare_commit_before(slots, SPARE_BATCH_KEYS + 2, {0, 3})) << "a planned key itself";
    EXPECT_FALSE(spare_commit_before(slots, SPARE_BATCH_KEYS + 2, {-1, 0})) << "no pick";
}

struct binding_row {
    const char* name;
    uint32_t plain; // the key before
    uint32_t shifted;
    int level; // where K is bound
    spare_binding after;
};

TEST(X11SpareChoice, ABindingOnOneLevelKeepsTheOtherAndFillsAnEmptyShiftedOne) {
    constexpr uint32_t K = 0x1000436;
    const binding_row rows[] = {
        {"plain on a free key: both levels", 0, 0, SPARE_PLAIN, {K, K}},
        {"plain where the shifted level repeats the old plain: both follow", A, A, SPARE_PLAIN, {K, K}},
        {"plain beside a shifted character of its own: that one stays", A, B, SPARE_PLAIN, {K, B}},
        {"shifted beside a plain one: the plain one stays", A, A, SPARE_SHIFTED, {A, K}},
        {"shifted on a key bound nowhere: both levels", 0, 0, SPARE_SHIFTED, {K, K}},
        {"plain of the third group, free: both of its levels", 0, 0, 4, {K, K}},
        {"shifted of the fourth group beside its plain", A, A, 7, {A, K}},
        {"plain of the second group beside its own shifted", A, B, 2, {K, B}},
    };
    for (const binding_row& row : rows) {
        SCOPED_TRACE(row.name);
        spare_slot slot{};
        const int plain_level = row.level - row.level % 2;
        slot.level[plain_level] = {row.plain, 1, 0, 0};
        slot.level[plain_level + 1] = {row.shifted, 1, 0, 0};
        slot.level[plain_level == 0 ? 2 : 0] = {C, 1, 0, 0}; // another group's binding changes nothing
        const spare_binding after = spare_level_binding(slot, row.level, K);
        EXPECT_EQ(after.plain, row.after.plain);
        EXPECT_EQ(after.shifted, row.after.shifted);
    }
}

struct plan_row {
    const char* name;
    spare_binding first;
    bool twice; // then second, in the same batch
    spare_binding second;
    use after[2];
    uint64_t replaced_event[2];
    bool pending;
    bool ask_reader; // with nothing confirmed
};

TEST(X11SparePlan, APlanRemembersTheServerBindingItReplacesOnce) {
    const plan_row rows[] = {
        {"a new plain binding: a fresh use, no event", {C, B}, false, {}, {{C, 9, 0}, {B, 2, 8}}, {7, 0}, true, true},
        {"twice: the server's event stays", {C, B}, true, {D, B}, {{D, 10, 0}, {B, 2, 8}}, {7, 0}, true, true},
        {"both levels", {C, D}, false, {}, {{C, 9, 0}, {D, 9, 0}}, {7, 8}, true, true},
        {"unbinding: no use", {0, 0}, false, {}, {{0, 0, 0}, {0, 0, 0}}, {7, 8}, true, true},
        {"unchanged: left alone", {A, B}, false, {}, {{A, 1, 7}, {B, 2, 8}}, {0, 0}, false, false},
        {"back to the server's: nothing", {C, B}, true, {A, B}, {{A, 10, 0}, {B, 2, 8}}, {7, 0}, false, false},
    };
    for (const plan_row& row : rows) {
        SCOPED_TRACE(row.name);
        spare_slot slot = key(10, {A, 1, 7}, {B, 2, 8});
        spare_plan(slot, row.first.plain, row.first.shifted, 9);
        if (row.twice) spare_plan(slot, row.second.plain, row.second.shifted, 10);
        for (int level = SPARE_PLAIN; level <= SPARE_SHIFTED; ++level) {
            EXPECT_EQ(slot.level[level].keysym, row.after[level].keysym) << level;
            EXPECT_EQ(slot.level[level].last_used, row.after[level].used) << level;
            EXPECT_EQ(slot.level[level].last_event, row.after[level].event) << level;
            EXPECT_EQ(slot.level[level].last_event_us, row.after[level].event * 1000) << level;
            EXPECT_EQ(slot.replaced_event[level], row.replaced_event[level]) << level;
            EXPECT_EQ(slot.replaced_event_us[level], row.replaced_event[level] * 1000) << level;
        }
        EXPECT_EQ(spare_pending(slot), row.pending);
        EXPECT_EQ(spare_replaces_unconfirmed(slot, 0), row.ask_reader);
    }
}

struct wait_row {
    const char* name;
    uint64_t plain_event; // of A and B, bound on the server; 0 for never
    uint64_t shifted_event;
    spare_binding plan;
    uint64_t confirmed;
    uint64_t now_us;
    bool ask_reader;
    uint64_t wait_us;
};

TEST(X11SparePacing, OnlyAnUnconfirmedEventOfAReplacedBindingHoldsTheChange) {
    const uint64_t hold = SPARE_FALLBACK_HOLD_US;
    const wait_row rows[] = {
        {"never used: nothing", 0, 0, {C, D}, 0, 1000, false, 0},
        {"an event beyond confirmed: ask, or the whole hold", 1, 0, {C, B}, 0, 1000, true, hold},
        {"confirmed: nothing, however recent; only unconfirmed events count", 1, 0, {C, B}, 1, 1000, false, 0},
        {"part of the hold", 1, 0, {C, B}, 0, 1000 + hold / 4, true, hold - hold / 4},
        {"exactly the hold", 1, 0, {C, B}, 0, 1000 + hold, true, 0},
        {"long ago", 1, 0, {C, B}, 0, 1000 + 10 * hold, true, 0},
        {"a level whose keysym stays: nothing", 1, 0, {A, C}, 0, 1000, false, 0},
        {"unbinding counts as replacing", 1, 0, {0, 0}, 0, 1000, true, hold},
        {"the later plain level decides", 5, 1, {C, D}, 0, 6000, true, hold - 1000},
        {"the later shifted level decides", 1, 5, {C, D}, 0, 6000, true, hold - 1000},
    };
    for (const wait_row& row : rows) {
        SCOPED_TRACE(row.name);
        spare_slot slot = key(10, {A, 1, row.plain_event}, {B, 2, row.shifted_event});
        spare_plan(slot, row.plan.plain, row.plan.shifted, 9);
        EXPECT_EQ(spare_replaces_unconfirmed(slot, row.confirmed), row.ask_reader);
        EXPECT_EQ(spare_fallback_wait_us(slot, row.confirmed, row.now_us), row.wait_us);
    }
}

TEST(X11SparePacing, AChangeOfAnotherGroupHoldsOnlyForItsOwnEvents) {
    spare_slot slot = full_key(10, LATIN, 1); // level 4's last event is number 5, at 5 ms
    spare_plan_group(slot, 2, C, LATIN + 5, 40);
    EXPECT_TRUE(spare_pending(slot));
    EXPECT_EQ(slot.level[4].keysym, C);
    EXPECT_EQ(slot.level[0].keysym, LATIN) << "the first group stays";
    EXPECT_EQ(slot.replaced_event[4], 5U);
    EXPECT_EQ(slot.replaced_event[0], 0U);
    EXPECT_TRUE(spare_replaces_unconfirmed(slot, 4));
    EXPECT_FALSE(spare_replaces_unconfirmed(slot, 5));
    EXPECT_EQ(spare_fallback_wait_us(slot, 0, 6000), SPARE_FALLBACK_HOLD_US - 1000);
    EXPECT_EQ(spare_level_of(slot, C), 4);
    EXPECT_EQ(spare_level_of(slot, LATIN + 4), -1) << "replaced";
}

} // namespace
