#include "keyboard/held_keys.h"

#include <gtest/gtest.h>

#include "keyboard/key_commands.h"
#include "keyboard/key_record.h"
#include "keyboard/modifier_chords.h"
#include "reset/release_all.h"
#include "tests/support/core_state.h"
#include "tests/support/recorded_trace.h"

namespace {

using held_keys_test = core_test;

// Records the codes first .. first + count - 1 straight into the registry.
void fill_registry(uint16_t first, int count) {
    for (int i = 0; i < count; ++i) add_held_key(static_cast<uint16_t>(first + i));
}

TEST_F(held_keys_test, AdditionsGoToTheEndInOrder) {
    for (uint16_t vk : {65, 66, 67, 68}) add_held_key(vk);
    EXPECT_EQ(held_key_list(), (codes{65, 66, 67, 68}));
}

TEST_F(held_keys_test, RemovalMovesTheLastCodeIntoTheFreedSlot) {
    for (uint16_t vk : {65, 66, 67, 68}) add_held_key(vk);
    remove_held_key(66);
    EXPECT_EQ(held_key_list(), (codes{65, 68, 67}));
    remove_held_key(99);
    EXPECT_EQ(held_key_list(), (codes{65, 68, 67}));
    remove_held_key(67); // the last slot: simply given up
    EXPECT_EQ(held_key_list(), (codes{65, 68}));
    remove_held_key(65);
    EXPECT_EQ(held_key_list(), (codes{68}));
    remove_held_key(68);
    EXPECT_EQ(held_key_count, 0);
    remove_held_key(68);
    EXPECT_EQ(held_key_count, 0);
}

TEST_F(held_keys_test, ADuplicateIsRecordedOnceAndOneRemovalForgetsIt) {
    add_held_key(65);
    add_held_key(66);
    add_held_key(65);
    EXPECT_EQ(held_key_list(), (codes{65, 66}));
    remove_held_key(65);
    EXPECT_EQ(held_key_list(), (codes{66}));
}

TEST_F(held_keys_test, KeyCommandsFillAndEmptyTheSlots) {
    for (uint32_t vk : {65u, 66u, 67u, 68u}) key_down(vk, 0, 0);
    EXPECT_EQ(held_key_list(), (codes{65, 66, 67, 68}));
    key_up(66, 0, 0);
    EXPECT_EQ(held_key_list(), (codes{65, 68, 67}));
    clear_recorded_trace();
    key_up(99, 0, 0);
    EXPECT_EQ(held_key_list(), (codes{65, 68, 67}));
    EXPECT_EQ(recorded_trace(), (std::vector<std::string>{key_line(99, 2)}));
}

TEST_F(held_keys_test, AFullRegistryTakesNoFurtherCodeUntilOneIsRemoved) {
    fill_registry(1, 256);
    ASSERT_EQ(held_key_count, 256);
    add_held_key(300);
    EXPECT_EQ(held_key_count, 256);
    for (uint16_t vk : held_key_list()) EXPECT_NE(vk, 300);

    remove_held_key(10);
    EXPECT_EQ(held_key_count, 255);
    EXPECT_EQ(held_keys[9], 256); // the last code moved into the freed slot
    add_held_key(300);
    EXPECT_EQ(held_key_count, 256);
    EXPECT_EQ(held_keys[255], 300);
    add_held_key(10);
    EXPECT_EQ(held_key_count, 256);
}

TEST_F(held_keys_test, AKeyDownIntoAFullRegistryIsInjectedButNotRecorded) {
    fill_registry(1000, 256);
    const codes before = held_key_list();
    key_down(65, 0, 0);
    EXPECT_EQ(recorded_trace(), (std::vector<std::string>{key_line(65, 0)}));
    EXPECT_EQ(held_key_list(), before);
}

TEST_F(held_keys_test, WithRoomForOneTheChordModifierTakesTheLastSlot) {
    fill_registry(1000, 255);
    key_down(65, MODIFIER_CTRL, 0);
    EXPECT_EQ(recorded_trace(), (std::vector<std::string>{key_line(17, 0), key_line(65, 0)}));
    ASSERT_EQ(held_key_count, 256);
    EXPECT_EQ(held_keys[255], 17);
    for (uint16_t vk : held_key_list()) EXPECT_NE(vk, 65);
}

TEST_F(held_keys_test, TheReleaseWalkGoesFromTheLastSlotToTheFirst) {
    fill_registry(1, 256);
    release_all_keys();
    const std::vector<std::string> trace = recorded_trace();
    ASSERT_EQ(trace.size(), 256u + 4u);
    EXPECT_EQ(trace.front(), key_line(256, 2));
    EXPECT_EQ(trace[1], key_line(255, 2));
    EXPECT_EQ(trace[255], key_line(1, 2));
    EXPECT_EQ(held_key_count, 0);
}

TEST_F(held_keys_test, LeftAndRightVariantsAreSeparateEntries) {
    key_down(160, 0, 0);
    key_up(16, 0, 0);
    EXPECT_EQ(held_key_list(), (codes{160}));
}

TEST_F(held_keys_test, UnicodeAndEmptyRecordsLeaveTheRegistryAlone) {
    add_held_key(65);
    send_key_record(0, 233, false);
    send_key_record(0, 233, true);
    send_key_record(0, 0, false);
    send_key_record(0, 0, true);
    EXPECT_EQ(held_key_list(), (codes{65}));
    EXPECT_EQ(recorded_trace().size(), 4u);
}

} // namespace
