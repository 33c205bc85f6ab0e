#include "platform/vk_keysyms.h"

#include <set>

#include <gtest/gtest.h>

// After the test framework: Xlib's macros (None, Bool) would clash with it.
#include <X11/Xlib.h>

namespace {

TEST(X11Keysyms, EveryNameIsTheKeysymXKnows) {
    size_t count = 0;
    const vk_keysym* table = vk_keysym_table(&count);
    ASSERT_GT(count, 140u); // the table is whole, not cut short
    std::set<uint16_t> seen;
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(table[i].name);
        EXPECT_NE(table[i].keysym, 0u);
        EXPECT_EQ(XStringToKeysym(table[i].name), table[i].keysym);
        EXPECT_TRUE(seen.insert(table[i].vk).second) << "vk " << table[i].vk << " twice";
        EXPECT_EQ(vk_to_keysym(table[i].vk), table[i].keysym);
    }
}

TEST(X11Keysyms, WhatTheKeysTypeOnAUsLayout) {
    const struct {
        uint16_t vk;
        const char* name;
    } rows[] = {
        {8, "BackSpace"},
        {9, "Tab"},
        {13, "Return"},
        {16, "Shift_L"},
        {17, "Control_L"},
        {18, "Alt_L"},
        {19, "Pause"},
        {20, "Caps_Lock"},
        {27, "Escape"},
        {32, "space"},
        {33, "Prior"},
        {34, "Next"},
        {35, "End"},
        {36, "Home"},
        {37, "Left"},
        {38, "Up"},
        {39, "Right"},
        {40, "Down"},
        {44, "Print"},
        {45, "Insert"},
        {46, "Delete"},
        {48, "0"},
        {57, "9"},
        {65, "a"},
        {90, "z"},
        {91, "Super_L"},
        {92, "Super_R"},
        {93, "Menu"},
        {96, "KP_0"},
        {105, "KP_9"},
        {106, "KP_Multiply"},
        {107, "KP_Add"},
        {108, "KP_Separator"},
        {109, "KP_Subtract"},
        {110, "KP_Decimal"},
        {111, "KP_Divide"},
        {112, "F1"},
        {123, "F12"},
        {135, "F24"},
        {144, "Num_Lock"},
        {145, "Scroll_Lock"},
        {160, "Shift_L"},
        {161, "Shift_R"},
        {162, "Control_L"},
        {163, "Control_R"},
        {164, "Alt_L"},
        {165, "Alt_R"},
        {166, "XF86Back"},
        {172, "XF86HomePage"},
        {173, "XF86AudioMute"},
        {174, "XF86AudioLowerVolume"},
        {175, "XF86AudioRaiseVolume"},
        {179, "XF86AudioPlay"},
        {180, "XF86Mail"},
        {186, "semicolon"},
        {187, "equal"},
        {188, "comma"},
        {189, "minus"},
        {190, "period"},
        {191, "slash"},
        {192, "grave"},
        {219, "bracketleft"},
        {220, "backslash"},
        {221, "bracketright"},
        {222, "apostrophe"},
        {226, "backslash"},
        {95, "XF86Sleep"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(vk_to_keysym(row.vk), XStringToKeysym(row.name)) << "vk " << row.vk;
    }
}

TEST(X11Keysyms, CodesWithoutAnXMeaning) {
    for (const uint16_t vk : {0,  1,   2,   4,   5,   6,   7,   10,  11,  14,  15,  21,  25,  28,  58,   64,
                              94, 136, 143, 146, 159, 184, 185, 193, 215, 223, 227, 255, 256, 300, 65535}) {
        EXPECT_EQ(vk_to_keysym(vk), 0u) << "vk " << vk;
    }
}

} // namespace
