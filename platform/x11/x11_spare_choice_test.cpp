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

struct choice_row {
    const char* name;
    spare_slot slots[2]; // keycode 0 ends the list
    unsigned down;       // bit i: the key of slots[i] is held down
    uint64_t confirmed;
    int level_slot; // choose_spare_level
    int level;
    int key_slot; // choose_spare_slot
};

TEST(X11SpareChoice, PlainLevelsFirstThenFreeShiftedThenLeastRecentlyUsedNeverAPinnedOne) {
    const use none{0, 0, 0};
    const choice_row rows[] = {
        {"no keys", {}, 0, DONE, -1, SPARE_PLAIN, -1},
        {"a free key: its plain level, and the key for a pair",
         {key(10, {A, 1, 3}, {B, 2, 4}), key(11, none, none)},
         0,
         DONE,
         1,
         SPARE_PLAIN,
         1},
        {"plain levels unconfirmed: a free shifted level first; a pair takes the older key",
         {key(10, {A, 5, 8}, {B, 6, 9}), key(11, {C, 3, 7}, none)},
         0,
         BEHIND,
         1,
         SPARE_SHIFTED,
         1},
        {"plain levels confirmed: the least recently used one, no Shift needed",
         {key(10, {A, 5, 8}, {B, 6, 9}), key(11, {C, 3, 7}, none)},
         0,
         DONE,
         1,
         SPARE_PLAIN,
         1},
        {"confirmed up to exactly its last event",
         {key(10, {A, 5, 8}, {B, 6, 9}), key(11, {C, 3, 7}, none)},
         0,
         7,
         1,
         SPARE_PLAIN,
         1},
        {"a shifted level repeating the plain keysym is free",
         {key(10, {A, 5, 8}, {B, 6, 9}), key(11, {C, 3, 7}, {C, 3, 7})},
         0,
         BEHIND,
         1,
         SPARE_SHIFTED,
         1},
        {"all bound and unconfirmed: the least recently used level, shifted or plain",
         {key(10, {A, 5, 8}, {B, 2, 6}), key(11, {C, 3, 7}, {D, 4, 9})},
         0,
         BEHIND,
         0,
         SPARE_SHIFTED,
         1},
        {"a free level of a key held down is not taken",
         {key(10, {A, 5, 8}, none), key(11, {C, 3, 7}, {D, 4, 9})},
         1,
         BEHIND,
         1,
         SPARE_PLAIN,
         1},
        {"a key held down is passed over while another is up",
         {key(10, {A, 1, 3}, {B, 2, 4}), key(11, {C, 7, 8}, {D, 8, 9})},
         1,
         DONE,
         1,
         SPARE_PLAIN,
         1},
        {"a key held down only when every key is",
         {key(10, {A, 5, 8}, {B, 6, 9}), key(11, {C, 3, 7}, {D, 9, 9})},
         3,
         BEHIND,
         1,
         SPARE_PLAIN,
         0},
        {"a pinned plain level is not the least recently used one",
         {key(10, {A, 1, 11}, {B, 2, 4}), key(11, {C, 3, 5}, {D, 4, 6})},
         0,
         5,
         1,
         SPARE_PLAIN,
         1},
        {"a pinned shifted level is not free",
         {key(10, {A, 5, 4}, {A, 6, 12}), key(11, {C, 3, 9}, {D, 4, 9})},
         0,
         BEHIND,
         1,
         SPARE_PLAIN,
         1},
        {"a pinned level is not the least recently used one",
         {key(10, {A, 5, 8}, {B, 2, 12}), key(11, {C, 3, 7}, {D, 4, 9})},
         0,
         BEHIND,
         1,
         SPARE_PLAIN,
         1},
        {"every key has a pinned level: a level, but no key",
         {key(10, {A, 1, 11}, {B, 2, 4}), key(11, {C, 3, 5}, {D, 4, 12})},
         0,
         5,
         1,
         SPARE_PLAIN,
         -1},
        {"every level pinned: nothing", {key(10, {A, 1, 11}, {B, 2, 12})}, 0, 5, -1, SPARE_PLAIN, -1},
    };
    for (const choice_row& row : rows) {
        SCOPED_TRACE(row.name);
        bool down[256] = {};
        int count = 0;
        while (count < 2 && row.slots[count].keycode != 0) {
            if (row.down & (1u << count)) down[row.slots[count].keycode] = true;
            ++count;
        }
        const spare_pick pick = choose_spare_level(row.slots, count, down, row.confirmed, SENT);
        EXPECT_EQ(pick.slot, row.level_slot);
        if (pick.slot >= 0) EXPECT_EQ(pick.level, row.level);
        EXPECT_EQ(choose_spare_slot(row.slots, count, down, SENT), row.key_slot);
    }
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
    };
    for (const binding_row& row : rows) {
        SCOPED_TRACE(row.name);
        const spare_binding after = spare_level_binding(key(10, {row.plain, 1, 0}, {row.shifted, 1, 0}), row.level, K);
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

} // namespace
