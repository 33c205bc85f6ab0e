#include "keyboard/modifier_chords.h"

#include <map>

#include <gtest/gtest.h>

#include "keyboard/held_keys.h"
#include "tests/unit/key_scenario.h"

namespace {

using modifier_chords_test = core_test;

TEST_F(modifier_chords_test, KeyModifierBitOfEveryCode) {
    const std::map<uint16_t, uint32_t> modifier_keys = {
        {17, 1}, {162, 1}, {163, 1}, {18, 2}, {164, 2}, {165, 2}, {16, 4}, {160, 4}, {161, 4}, {91, 8}, {92, 8},
    };
    for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
        const auto code = static_cast<uint16_t>(vk);
        const auto found = modifier_keys.find(code);
        const uint32_t expected = found == modifier_keys.end() ? 0 : found->second;
        ASSERT_EQ(key_modifier_bit(code), expected) << "vk " << vk;
    }
}

struct press_row {
    uint32_t mask;
    bool down;
    codes held_before;
    lines records;
    codes held_after;
};

TEST_F(modifier_chords_test, PressModifiersSendsTheGenericKeysInFixedOrder) {
    const press_row rows[] = {
        {5, true, {}, {dn(17), dn(16)}, {17, 16}},
        {15, true, {}, {dn(17), dn(18), dn(16), dnx(91)}, {17, 18, 16, 91}},
        {15, false, {}, {up(17), up(18), up(16), upx(91)}, {}},
        {15, false, {65, 16, 17}, {up(17), up(18), up(16), upx(91)}, {65}},
        {8, true, {}, {dnx(91)}, {91}},
        {1, true, {17}, {dn(17)}, {17}},
        {0, true, {}, {}, {}},
        {0, false, {17}, {}, {17}},
        {16, true, {}, {}, {}},
        {16, false, {16}, {}, {16}},
        {0xFFFFFFF0u, true, {}, {}, {}},
        {0xFFFFFFFFu, false, {91}, {up(17), up(18), up(16), upx(91)}, {}},
    };
    for (const press_row& row : rows) {
        SCOPED_TRACE(testing::Message() << "mask " << row.mask << (row.down ? " down" : " up"));
        reset_core_state();
        for (uint16_t vk : row.held_before) add_held_key(vk);
        chord_modifiers = 0x20;
        held_modifiers = 0x40;
        press_modifiers(row.mask, row.down);
        EXPECT_EQ(recorded_trace(), row.records);
        EXPECT_EQ(held_key_list(), row.held_after);
        EXPECT_EQ(chord_modifiers, 0x20u); // the callers keep the masks
        EXPECT_EQ(held_modifiers, 0x40u);
    }
}

TEST_F(modifier_chords_test, PressIntoAFullRegistryIsSentButNotRecorded) {
    for (int i = 0; i < 256; ++i) add_held_key(static_cast<uint16_t>(1000 + i));
    press_modifiers(MODIFIER_CTRL, true);
    EXPECT_EQ(recorded_trace(), lines{dn(17)});
    EXPECT_EQ(held_key_count, 256);
    EXPECT_EQ(held_keys[255], 1255);
}

// The two masks through runs of key commands, including the runs after which
// they no longer agree with the registry.
TEST_F(modifier_chords_test, MasksFollowTheKeyCommands) {
    const key_scenario scenarios[] = {
        {"a chord is not counted per key",
         {{D, 65, 1, 0, {dn(17), dn(65)}, {17, 65}, 1, 0},
          {D, 66, 1, 0, {dn(66)}, {17, 65, 66}, 1, 0},
          {U, 65, 1, 0, {up(65), up(17)}, {66}, 0, 0},
          {U, 66, 1, 0, {up(66)}, {}, 0, 0}}},
        {"a release without the chord bit leaves Control down",
         {{D, 65, 1, 0, {dn(17), dn(65)}, {17, 65}, 1, 0},
          {U, 65, 0, 0, {up(65)}, {17}, 1, 0},
          {U, 66, 1, 0, {up(66), up(17)}, {}, 0, 0}}},
        {"Shift held as a key is no chord's to release",
         {{D, 16, 0, 0, {dn(16)}, {16}, 0, 4},
          {D, 65, 4, 0, {dn(65)}, {16, 65}, 0, 4},
          {U, 65, 4, 0, {up(65)}, {16}, 0, 4},
          {U, 16, 0, 0, {up(16)}, {}, 0, 0}}},
        {"pressing the chord's Shift as a key makes it held",
         {{D, 65, 4, 0, {dn(16), dn(65)}, {16, 65}, 4, 0},
          {D, 16, 0, 0, {dn(16)}, {16, 65}, 0, 4},
          {U, 65, 4, 0, {up(65)}, {16}, 0, 4}}},
        {"releasing a held Control also releases the rest of the chord",
         {{D, 65, 3, 0, {dn(17), dn(18), dn(65)}, {17, 18, 65}, 3, 0},
          {D, 17, 0, 0, {dn(17)}, {17, 18, 65}, 2, 1},
          {U, 17, 3, 0, {up(17), up(18)}, {65}, 0, 0}}},
        {"right Control with its own bit", {{D, 163, 1, 0, {dnx(163)}, {163}, 0, 1}}},
        {"Control with its own bit", {{D, 17, 1, 0, {dn(17)}, {17}, 0, 1}}},
        {"right Shift with its own bit", {{D, 161, 4, 0, {dn(161)}, {161}, 0, 4}}},
        {"left Control up clears the bit that right Control set",
         {{D, 162, 0, 0, {dn(162)}, {162}, 0, 1},
          {D, 163, 0, 0, {dnx(163)}, {162, 163}, 0, 1},
          {U, 162, 0, 0, {up(162)}, {163}, 0, 0}}},
        {"a chord's Control outlives a right Control",
         {{D, 65, 1, 0, {dn(17), dn(65)}, {17, 65}, 1, 0},
          {D, 163, 0, 0, {dnx(163)}, {17, 65, 163}, 0, 1},
          {U, 65, 1, 0, {up(65)}, {17, 163}, 0, 1},
          {U, 163, 0, 0, {upx(163)}, {17}, 0, 0}}},
        {"left Shift up clears the chord's Shift bit, 16 stays down",
         {{D, 65, 4, 0, {dn(16), dn(65)}, {16, 65}, 4, 0}, {U, 160, 0, 0, {up(160)}, {16, 65}, 0, 0}}},
        {"generic Shift up ends the chord",
         {{D, 65, 4, 0, {dn(16), dn(65)}, {16, 65}, 4, 0}, {U, 16, 0, 0, {up(16)}, {65}, 0, 0}}},
        {"generic Shift up leaves left Shift down",
         {{D, 160, 0, 0, {dn(160)}, {160}, 0, 4}, {U, 16, 0, 0, {up(16)}, {160}, 0, 0}}},
        {"Alt moved from chord to held by the left Alt",
         {{D, 65, 2, 0, {dn(18), dn(65)}, {18, 65}, 2, 0},
          {D, 164, 0, 0, {dn(164)}, {18, 65, 164}, 0, 2},
          {U, 65, 2, 0, {up(65)}, {18, 164}, 0, 2},
          {U, 164, 0, 0, {up(164)}, {18}, 0, 0}}},
        {"right Alt held, then a chord naming Alt",
         {{D, 165, 0, 0, {dnx(165)}, {165}, 0, 2},
          {D, 65, 2, 0, {dn(65)}, {165, 65}, 0, 2},
          {U, 65, 2, 0, {up(65)}, {165}, 0, 2}}},
        {"right Windows key held, Windows up clears it",
         {{D, 92, 0, 0, {dnx(92)}, {92}, 0, 8},
          {D, 65, 8, 0, {dn(65)}, {92, 65}, 0, 8},
          {U, 65, 8, 0, {up(65)}, {92}, 0, 8},
          {U, 91, 0, 0, {upx(91)}, {92}, 0, 0}}},
        {"tap of a held Shift, then its release",
         {{D, 16, 0, 0, {dn(16)}, {16}, 0, 4},
          {T, 16, 0, 0, {dn(16), up(16)}, {}, 0, 4},
          {D, 65, 4, 0, {dn(65)}, {65}, 0, 4},
          {U, 16, 0, 0, {up(16)}, {65}, 0, 0}}},
        {"a release naming a chord that is not down",
         {{D, 65, 4, 0, {dn(16), dn(65)}, {16, 65}, 4, 0},
          {D, 66, 4, 0, {dn(66)}, {16, 65, 66}, 4, 0},
          {U, 67, 4, 0, {up(67), up(16)}, {66, 65}, 0, 0}}},
        {"mask bits above the four enter the chord silently",
         {{D, 65, 16, 0, {dn(65)}, {65}, 16, 0}, {U, 65, 16, 0, {up(65)}, {}, 0, 0}}},
        {"every mask bit",
         {{D, 65, 0xFFFFFFFFu, 0, {dn(17), dn(18), dn(16), dnx(91), dn(65)}, {17, 18, 16, 91, 65}, 0xFFFFFFFFu, 0},
          {U, 65, 0x10, 0, {up(65)}, {17, 18, 16, 91}, 0xFFFFFFEFu, 0},
          {U, 66, 5, 0, {up(66), up(17), up(16)}, {91, 18}, 0xFFFFFFEAu, 0}}},
        {"a modifier key's own bit never goes into the chord",
         {{D, 16, 0xFFFFFFFFu, 0, {dn(17), dn(18), dnx(91), dn(16)}, {17, 18, 91, 16}, 0xFFFFFFFBu, 4},
          {U, 16, 0xFFFFFFFFu, 0, {up(16), up(17), up(18), upx(91)}, {}, 0, 0}}},
        {"a tap changes neither mask",
         {{D, 65, 1, 0, {dn(17), dn(65)}, {17, 65}, 1, 0},
          {D, 16, 0, 0, {dn(16)}, {17, 65, 16}, 1, 4},
          {T, 66, 15, 0, {dn(18), dnx(91), dn(66), up(66), up(18), upx(91)}, {17, 65, 16}, 1, 4}}},
    };
    for (const key_scenario& scenario : scenarios) run_key_scenario(scenario);
}

} // namespace
