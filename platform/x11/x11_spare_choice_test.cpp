#include "platform/x11/x11_spare_choice.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t A = 0x1000410; // keysyms of the characters bound
constexpr uint32_t B = 0x1000411;
constexpr uint32_t C = 0x1004e00;
constexpr uint32_t D = 0x1004e01;

constexpr uint64_t T = 1000000;                     // when each level's last event was sent
constexpr uint64_t HOT = T;                         // the clock just then
constexpr uint64_t COLD = T + SPARE_REBIND_HOLD_US; // and once a binding may change at once

// A key with a binding (or none) on each level: {keysym, last use}.
spare_slot key(uint8_t keycode, uint32_t plain, uint32_t plain_used, uint32_t shifted, uint32_t shifted_used) {
    return spare_slot{keycode, {{plain, plain_used, T}, {shifted, shifted_used, T}}};
}

struct choice_row {
    const char* name;
    spare_slot slots[3];
    int count;
    uint8_t down[2]; // keycodes held down, 0 for none
    uint64_t now_us;
    spare_pick level_pick;
    int key_pick;
};

TEST(X11SpareChoice, PlainLevelsFirstThenFreeShiftedThenLeastRecentlyUsed) {
    const choice_row rows[] = {
        {"no keys", {}, 0, {0, 0}, HOT, {-1, SPARE_PLAIN}, -1},
        {"a free key: its plain level, and the key for a pair",
         {key(10, A, 1, B, 2), key(11, 0, 0, 0, 0), key(12, C, 3, 0, 0)},
         3,
         {0, 0},
         HOT,
         {1, SPARE_PLAIN},
         1},
        {"plain levels just used: a free shifted level before any wait; a pair evicts the older key",
         {key(10, A, 5, B, 6), key(11, C, 3, 0, 0)},
         2,
         {0, 0},
         HOT,
         {1, SPARE_SHIFTED},
         1},
        {"plain levels old enough: the least recently used one, no Shift needed",
         {key(10, A, 5, B, 6), key(11, C, 3, 0, 0)},
         2,
         {0, 0},
         COLD,
         {1, SPARE_PLAIN},
         1},
        {"a shifted level repeating the plain keysym is free",
         {key(10, A, 5, B, 6), key(11, C, 3, C, 3)},
         2,
         {0, 0},
         HOT,
         {1, SPARE_SHIFTED},
         1},
        {"all bound and just used: the least recently used level, shifted or plain",
         {key(10, A, 5, B, 2), key(11, C, 3, D, 4)},
         2,
         {0, 0},
         HOT,
         {0, SPARE_SHIFTED},
         1},
        {"a free level of a key held down is not taken",
         {key(10, A, 5, 0, 0), key(11, C, 3, D, 4)},
         2,
         {10, 0},
         HOT,
         {1, SPARE_PLAIN},
         1},
        {"a key held down is passed over while another is up",
         {key(10, A, 1, B, 2), key(11, C, 7, D, 8)},
         2,
         {10, 0},
         COLD,
         {1, SPARE_PLAIN},
         1},
        {"a key held down only when every key is",
         {key(10, A, 5, B, 6), key(11, C, 3, D, 9)},
         2,
         {10, 11},
         HOT,
         {1, SPARE_PLAIN},
         0},
    };
    for (const choice_row& row : rows) {
        SCOPED_TRACE(row.name);
        bool down[256] = {};
        for (const uint8_t keycode : row.down) {
            if (keycode != 0) down[keycode] = true;
        }
        const spare_pick pick = choose_spare_level(row.slots, row.count, down, row.now_us);
        EXPECT_EQ(pick.slot, row.level_pick.slot);
        if (pick.slot >= 0) EXPECT_EQ(pick.level, row.level_pick.level);
        EXPECT_EQ(choose_spare_slot(row.slots, row.count, down), row.key_pick);
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
        const spare_binding after = spare_level_binding(key(10, row.plain, 1, row.shifted, 1), row.level, K);
        EXPECT_EQ(after.plain, row.after.plain);
        EXPECT_EQ(after.shifted, row.after.shifted);
    }
}

struct wait_row {
    const char* name;
    uint64_t plain_event_us; // 0 for never
    uint64_t shifted_event_us;
    uint32_t plain;   // the binding asked for
    uint32_t shifted; // (the key carries A plain and B shifted)
    uint64_t now_us;
    uint64_t wait_us;
};

TEST(X11SparePacing, ABindingIsReplacedOnlyOnceItsLastEventIsOldEnough) {
    const uint64_t hold = SPARE_REBIND_HOLD_US;
    const wait_row rows[] = {
        {"never used: no wait", 0, 0, C, D, 1000, 0},
        {"just used: the whole hold", 1000, 0, C, B, 1000, hold},
        {"partly waited", 1000, 0, C, B, 1000 + hold / 4, hold - hold / 4},
        {"exactly old enough", 1000, 0, C, B, 1000 + hold, 0},
        {"long ago", 1000, 0, C, B, 1000 + 10 * hold, 0},
        {"the level kept needs no wait", 1000, 0, A, C, 1000, 0},
        {"the changed level waits, the kept one does not", 1000, 5000, A, C, 6000, hold - 1000},
        {"both change: the later event decides", 5000, 1000, C, D, 6000, hold - 1000},
        {"unbinding waits as rebinding does", 900, 1000, 0, 0, 1000, hold},
    };
    for (const wait_row& row : rows) {
        SCOPED_TRACE(row.name);
        spare_slot slot = key(10, A, 1, B, 2);
        slot.level[SPARE_PLAIN].last_event_us = row.plain_event_us;
        slot.level[SPARE_SHIFTED].last_event_us = row.shifted_event_us;
        EXPECT_EQ(spare_change_wait_us(slot, row.plain, row.shifted, row.now_us), row.wait_us);
    }
}

} // namespace
