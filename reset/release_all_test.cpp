#include "reset/release_all.h"

#include <gtest/gtest.h>

#include "control/dispatch.h"
#include "keyboard/held_keys.h"
#include "keyboard/key_commands.h"
#include "keyboard/modifier_chords.h"
#include "pointer/pointer_commands.h"
#include "tests/support/core_state.h"
#include "tests/support/recorded_trace.h"

namespace {

using release_all_test = core_test;

TEST_F(release_all_test, WithNothingHeldOnlyTheFourModifiersGoUp) {
    release_all_keys();
    EXPECT_EQ(recorded_trace(), modifier_release_lines());
    clear_recorded_trace();
    release_all_input();
    EXPECT_EQ(recorded_trace(), modifier_release_lines());
}

TEST_F(release_all_test, ResetReleasesButtonsThenKeysThenReplies) {
    button_down(5, 6, 0);
    button_down(5, 6, 2);
    key_down(65, MODIFIER_CTRL, 0);
    clear_recorded_trace();
    EXPECT_TRUE(dispatch_line("RESET"));
    EXPECT_EQ(recorded_trace(),
              (lines{"mouse flags=0x0004 data=0", "mouse flags=0x0010 data=0", "key vk=65 scan=30 flags=2",
                     "key vk=17 scan=29 flags=2", "key vk=17 scan=29 flags=2", "key vk=18 scan=56 flags=2",
                     "key vk=16 scan=42 flags=2", "key vk=91 scan=91 flags=3", "reply RESET_OK"}));
    EXPECT_FALSE(left_button_down);
    EXPECT_FALSE(right_button_down);
    EXPECT_EQ(held_key_count, 0);
    EXPECT_EQ(chord_modifiers, 0u);
}

TEST_F(release_all_test, ButtonsGoUpLeftMiddleRightAndThePointerStays) {
    button_down(1, 1, 2);
    button_down(1, 1, 1);
    button_down(1, 1, 0);
    clear_recorded_trace();
    release_all_input();
    EXPECT_EQ(recorded_trace(),
              joined({mouse_line(0x0004, 0), mouse_line(0x0040, 0), mouse_line(0x0010, 0)}, modifier_release_lines()));
    EXPECT_FALSE(left_button_down || middle_button_down || right_button_down);
}

TEST_F(release_all_test, ResetKeysLeavesTheButtons) {
    button_down(3, 4, 0);
    clear_recorded_trace();
    EXPECT_TRUE(dispatch_line("RESET_KEYS"));
    EXPECT_EQ(recorded_trace(), joined(modifier_release_lines(), {"reply RESET_KEYS_OK"}));
    EXPECT_TRUE(left_button_down);
    clear_recorded_trace();
    dispatch_line("RESET");
    EXPECT_EQ(recorded_trace(), joined(joined({mouse_line(0x0004, 0)}, modifier_release_lines()), {"reply RESET_OK"}));
}

TEST_F(release_all_test, HeldKeysGoUpFromTheLastSlot) {
    for (uint32_t vk : {65u, 66u, 67u}) key_down(vk, 0, 0);
    clear_recorded_trace();
    release_all_keys();
    EXPECT_EQ(recorded_trace(), joined({key_line(67, 2), key_line(66, 2), key_line(65, 2)}, modifier_release_lines()));
}

TEST_F(release_all_test, SlotOrderNotPressOrderAfterARemoval) {
    for (uint32_t vk : {65u, 66u, 67u, 68u}) key_down(vk, 0, 0);
    key_up(66, 0, 0); // slots now 65, 68, 67
    clear_recorded_trace();
    release_all_keys();
    EXPECT_EQ(recorded_trace(), joined({key_line(67, 2), key_line(68, 2), key_line(65, 2)}, modifier_release_lines()));
}

TEST_F(release_all_test, ExtendedHeldKeysGoUpWithTheirFlag) {
    key_down(37, 0, 0);
    key_down(163, 0, 0);
    key_down(162, 0, 0);
    clear_recorded_trace();
    release_all_keys();
    EXPECT_EQ(recorded_trace(),
              joined({key_line(162, 2), key_line(163, 3), key_line(37, 3)}, modifier_release_lines()));
    EXPECT_EQ(held_modifiers, 0u);
}

TEST_F(release_all_test, EveryModifierCodeInTheRegistryGetsTwoReleases) {
    key_down(91, 0, 0);
    key_down(65, 7, 0);
    clear_recorded_trace();
    release_all_keys();
    // Slots: 91, 17, 18, 16, 65.
    EXPECT_EQ(recorded_trace(),
              joined({key_line(65, 2), key_line(16, 2), key_line(18, 2), key_line(17, 2), key_line(91, 3)},
                     modifier_release_lines()));
    EXPECT_EQ(held_key_count, 0);
    EXPECT_EQ(chord_modifiers, 0u);
    EXPECT_EQ(held_modifiers, 0u);
}

TEST_F(release_all_test, BothMasksAreClearedWhateverTheyHeld) {
    chord_modifiers = 0xFFFFFFF0u;
    held_modifiers = 0x5u;
    release_all_keys();
    EXPECT_EQ(chord_modifiers, 0u);
    EXPECT_EQ(held_modifiers, 0u);
    EXPECT_EQ(recorded_trace(), modifier_release_lines());
}

TEST_F(release_all_test, AKeyNotRecordedInAFullRegistryIsNotReleased) {
    for (int i = 0; i < 256; ++i) add_held_key(static_cast<uint16_t>(1000 + i));
    key_down(65, MODIFIER_CTRL, 0); // neither 17 nor 65 fits
    clear_recorded_trace();
    release_all_keys();
    const lines trace = recorded_trace();
    ASSERT_EQ(trace.size(), 260u);
    EXPECT_EQ(trace.front(), key_line(1255, 2));
    EXPECT_EQ(trace[255], key_line(1000, 2));
    EXPECT_EQ(lines(trace.begin() + 256, trace.end()), modifier_release_lines());
}

TEST_F(release_all_test, QuitReleasesOnceAndStops) {
    key_down(65, 0, 0);
    clear_recorded_trace();
    EXPECT_FALSE(dispatch_line("QUIT"));
    EXPECT_EQ(recorded_trace(), joined({key_line(65, 2)}, modifier_release_lines()));
}

} // namespace
