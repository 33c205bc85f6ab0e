#include "platform/wayland/wayland_characters.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t CHARACTER = 0x01004E00;

int bind(uint32_t keysym) {
    bool changed = false;
    return characters_bind(keysym, &changed);
}

TEST(WaylandCharacters, FreeKeysFirstThenTheLeastRecentlyUsedOneThatIsUp) {
    characters_reset();
    for (uint32_t i = 0; i < CHARACTER_KEY_COUNT; ++i) EXPECT_EQ(bind(CHARACTER + i), static_cast<int>(i));
    bool changed = true;
    EXPECT_EQ(characters_bind(CHARACTER + 3, &changed), 3); // kept for reuse
    EXPECT_FALSE(changed);
    characters_note_down(0, true); // the oldest, but down
    EXPECT_EQ(bind(CHARACTER + 100), 1);
    EXPECT_EQ(characters_find(CHARACTER + 1), -1);
    characters_note_down(0, false);
    EXPECT_EQ(bind(CHARACTER + 101), 2); // its press made slot 0 recent
    EXPECT_EQ(characters_find(CHARACTER + 0), 0);
}

TEST(WaylandCharacters, EveryKeyDownLeavesNoneToBind) {
    characters_reset();
    for (uint32_t i = 0; i < CHARACTER_KEY_COUNT; ++i) characters_note_down(bind(CHARACTER + i), true);
    EXPECT_EQ(bind(CHARACTER + 500), -1);
}

TEST(WaylandCharacters, ABatchKeepsItsOwnAndTakesTheOldest) {
    characters_reset();
    for (uint32_t i = 0; i < CHARACTER_KEY_COUNT; ++i) bind(CHARACTER + i);
    // Two already bound (kept), then more new ones than there are keys.
    uint32_t batch[CHARACTER_KEY_COUNT + 5];
    batch[0] = CHARACTER + 0;
    batch[1] = CHARACTER + 1;
    for (uint32_t i = 2; i < CHARACTER_KEY_COUNT + 5; ++i) batch[i] = CHARACTER + 1000 + i;
    EXPECT_TRUE(characters_bind_all(batch, CHARACTER_KEY_COUNT + 5));
    EXPECT_EQ(characters_find(CHARACTER + 0), 0);
    EXPECT_EQ(characters_find(CHARACTER + 1), 1);
    for (uint32_t i = 2; i < CHARACTER_KEY_COUNT; ++i) EXPECT_GE(characters_find(batch[i]), 2) << i;
    for (uint32_t i = CHARACTER_KEY_COUNT; i < CHARACTER_KEY_COUNT + 5; ++i) EXPECT_EQ(characters_find(batch[i]), -1);
    EXPECT_FALSE(characters_bind_all(batch, 4)); // all there already
}

} // namespace
