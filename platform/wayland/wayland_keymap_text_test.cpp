#include "platform/wayland/wayland_keymap_text.h"

#include <set>
#include <xkbcommon/xkbcommon.h>

#include <gtest/gtest.h>

#include "platform/vk_keysyms.h"

namespace {

char text[32768];

struct compiled {
    xkb_context* context;
    xkb_keymap* keymap;
    xkb_state* state;
    explicit compiled(const uint32_t* keysyms) {
        context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
        const size_t length = keymap_write_text(text, sizeof text, keysyms);
        keymap = length == 0 ? nullptr
                             : xkb_keymap_new_from_string(context, text, XKB_KEYMAP_FORMAT_TEXT_V1,
                                                          XKB_KEYMAP_COMPILE_NO_FLAGS);
        state = keymap == nullptr ? nullptr : xkb_state_new(keymap);
    }
    ~compiled() {
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }
    compiled(const compiled&) = delete;
    compiled& operator=(const compiled&) = delete;
};

TEST(WaylandKeymap, EveryVirtualKeyTypesItsKeysymAndNeverRepeats) {
    const uint32_t none[CHARACTER_KEY_COUNT] = {};
    compiled map(none);
    ASSERT_NE(map.state, nullptr) << text;
    size_t count = 0;
    const vk_keysym* table = vk_keysym_table(&count);
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(table[i].name);
        const uint8_t keycode = keymap_vk_keycode(table[i].vk);
        ASSERT_NE(keycode, 0);
        EXPECT_EQ(xkb_state_key_get_one_sym(map.state, keycode), table[i].keysym);
        EXPECT_EQ(xkb_keymap_key_repeats(map.keymap, keycode), 0);
    }
}

TEST(WaylandKeymap, ModifierKeysSetTheModifiersClientsKnow) {
    const uint32_t none[CHARACTER_KEY_COUNT] = {};
    compiled map(none);
    ASSERT_NE(map.state, nullptr);
    const struct {
        uint16_t vk;
        const char* modifier;
    } rows[] = {{160, XKB_MOD_NAME_SHIFT}, {161, XKB_MOD_NAME_SHIFT}, {162, XKB_MOD_NAME_CTRL},
                {163, XKB_MOD_NAME_CTRL},  {164, XKB_MOD_NAME_ALT},   {165, XKB_MOD_NAME_ALT},
                {91, XKB_MOD_NAME_LOGO},   {92, XKB_MOD_NAME_LOGO}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.vk);
        const uint8_t keycode = keymap_vk_keycode(row.vk);
        xkb_state_update_key(map.state, keycode, XKB_KEY_DOWN);
        EXPECT_EQ(xkb_state_mod_name_is_active(map.state, row.modifier, XKB_STATE_MODS_DEPRESSED), 1);
        xkb_state_update_key(map.state, keycode, XKB_KEY_UP);
        EXPECT_EQ(xkb_state_serialize_mods(map.state, XKB_STATE_MODS_EFFECTIVE), 0u);
    }
    // Shift gives the US layout's second level.
    xkb_state_update_key(map.state, keymap_vk_keycode(16), XKB_KEY_DOWN);
    EXPECT_EQ(xkb_state_key_get_utf32(map.state, keymap_vk_keycode(49)), static_cast<uint32_t>('!'));
    EXPECT_EQ(xkb_state_key_get_utf32(map.state, keymap_vk_keycode(65)), static_cast<uint32_t>('A'));
}

TEST(WaylandKeymap, CharacterKeysTypeTheirCharacterWhateverTheModifiers) {
    uint32_t keysyms[CHARACTER_KEY_COUNT] = {};
    for (size_t slot = 0; slot < CHARACTER_KEY_COUNT; ++slot) keysyms[slot] = 0x01000000u + 0x4E00u + slot;
    keysyms[1] = 0xE9; // a Latin-1 keysym, written by name
    compiled map(keysyms);
    ASSERT_NE(map.state, nullptr) << text;
    xkb_state_update_key(map.state, keymap_vk_keycode(16), XKB_KEY_DOWN);
    for (size_t slot = 0; slot < CHARACTER_KEY_COUNT; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(xkb_state_key_get_one_sym(map.state, keymap_character_keycode(slot)), keysyms[slot]);
        EXPECT_EQ(xkb_keymap_key_repeats(map.keymap, keymap_character_keycode(slot)), 0);
    }
}

// Toolkits that read the evdev code (e.g. 14 as BackSpace) must not act on a
// character key: none is on the PC keyboard's codes or on a key of the table.
TEST(WaylandKeymap, CharacterKeysAreOnCodesOfNoNamedKey) {
    std::set<uint8_t> named;
    size_t count = 0;
    const vk_keysym* table = vk_keysym_table(&count);
    for (size_t i = 0; i < count; ++i) named.insert(keymap_vk_keycode(table[i].vk));
    std::set<uint8_t> characters;
    for (size_t slot = 0; slot < CHARACTER_KEY_COUNT; ++slot) {
        const uint8_t keycode = keymap_character_keycode(slot);
        SCOPED_TRACE(keycode);
        EXPECT_GE(keycode, 84 + XKB_KEYCODE_OFFSET);
        EXPECT_EQ(named.count(keycode), 0u);
        EXPECT_TRUE(characters.insert(keycode).second);
    }
    EXPECT_EQ(keymap_character_keycode(CHARACTER_KEY_COUNT), 0);
}

// An X server (Xwayland) updates its indicators through the keymap's own at
// every modifier change, and X clients look up the virtual modifiers a
// standard layout has: both must be there, Caps and Num Lock lighting theirs.
TEST(WaylandKeymap, HasTheIndicatorsAndVirtualModifiersOfAStandardLayout) {
    const uint32_t none[CHARACTER_KEY_COUNT] = {};
    compiled map(none);
    ASSERT_NE(map.state, nullptr) << text;
    for (const char* name :
         {"Caps Lock", "Num Lock", "Scroll Lock", "Shift Lock", "Group 2", "Mouse Keys", "Compose", "Kana"}) {
        EXPECT_NE(xkb_keymap_led_get_index(map.keymap, name), XKB_LED_INVALID) << name;
    }
    for (const char* name : {"NumLock", "Alt", "Meta", "Super", "Hyper", "LevelThree", "ScrollLock", "AltGr"}) {
        EXPECT_NE(xkb_keymap_mod_get_index(map.keymap, name), XKB_MOD_INVALID) << name;
    }
    const struct {
        uint16_t vk;
        const char* led;
    } locks[] = {{20, XKB_LED_NAME_CAPS}, {144, XKB_LED_NAME_NUM}};
    for (const auto& lock : locks) {
        SCOPED_TRACE(lock.led);
        const uint8_t keycode = keymap_vk_keycode(lock.vk);
        xkb_state_update_key(map.state, keycode, XKB_KEY_DOWN);
        xkb_state_update_key(map.state, keycode, XKB_KEY_UP);
        EXPECT_EQ(xkb_state_led_name_is_active(map.state, lock.led), 1);
        xkb_state_update_key(map.state, keycode, XKB_KEY_DOWN);
        xkb_state_update_key(map.state, keycode, XKB_KEY_UP);
        EXPECT_EQ(xkb_state_led_name_is_active(map.state, lock.led), 0);
    }
    // The core protocol's keycodes: 8 to 255.
    EXPECT_GE(xkb_keymap_min_keycode(map.keymap), 8u);
    EXPECT_LE(xkb_keymap_max_keycode(map.keymap), 255u);
}

TEST(WaylandKeymap, TooSmallABufferWritesNothing) {
    const uint32_t none[CHARACTER_KEY_COUNT] = {};
    char small[256];
    EXPECT_EQ(keymap_write_text(small, sizeof small, none), 0u);
}

} // namespace
